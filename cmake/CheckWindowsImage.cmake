# cmake -DOBJDUMP=<objdump> -DIMAGE=<exe> [-DSUBSYSTEM=console] -P CheckWindowsImage.cmake
# Fails unless IMAGE is a Windows GUI program (a console program with
# SUBSYSTEM=console) that imports only DLLs that every Windows installation
# has, so that it runs when copied alone into a folder.
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...) in script mode
execute_process(COMMAND ${OBJDUMP} -p ${IMAGE}
  OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${IMAGE} failed")
endif()

if(SUBSYSTEM STREQUAL "console")
  if(NOT headers MATCHES "Subsystem[\t ]+00000003")
    message(FATAL_ERROR "${IMAGE} is not a Windows console program")
  endif()
elseif(NOT headers MATCHES "Subsystem[\t ]+00000002")
  message(FATAL_ERROR "${IMAGE} is not a Windows GUI program")
endif()

set(system_dlls
  advapi32 bcrypt comctl32 comdlg32 crypt32 gdi32 gdiplus iphlpapi kernel32 msimg32 msvcrt
  ntdll ole32 oleaut32 secur32 shell32 shlwapi ucrtbase urlmon user32 userenv uxtheme version
  windowscodecs wininet winmm ws2_32)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${headers}")
foreach(line IN LISTS imports)
  string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" name)
  string(REGEX REPLACE "\\.dll$" "" name "${name}")
  message(STATUS "imports ${dll}")
  if(NOT name IN_LIST system_dlls AND NOT name MATCHES "^api-ms-win-")
    message(FATAL_ERROR "${IMAGE} imports ${dll}, which Windows does not ship")
  endif()
endforeach()
