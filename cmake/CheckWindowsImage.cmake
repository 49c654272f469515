# cmake -DOBJDUMP=<objdump> -DIMAGE=<exe> [-DSUBSYSTEM=console] [-DTSAWARE=ON]
#       [-DWRESTOOL=<wrestool> -DVERSION=<a.b.c.d>] -P CheckWindowsImage.cmake
# Fails unless IMAGE is a Windows GUI program (a console program with
# SUBSYSTEM=console) that imports only DLLs that every Windows installation
# has, so that it runs when copied alone into a folder. TSAWARE: the image is
# marked terminal-server aware.
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

# IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE (0x8000).
if(TSAWARE)
  if(NOT headers MATCHES "DllCharacteristics[\t ]+([0-9a-fA-F]+)")
    message(FATAL_ERROR "${IMAGE} has no DLL characteristics")
  endif()
  math(EXPR aware "0x${CMAKE_MATCH_1} & 0x8000")
  if(aware EQUAL 0)
    message(FATAL_ERROR "${IMAGE} is not terminal-server aware (--tsaware)")
  endif()
endif()

# The release image: stripped, well under 1 MiB, and without a link time stamp,
# so that two builds of one commit are byte-identical.
if(VERSION)
  if(NOT headers MATCHES "symbols stripped" OR NOT headers MATCHES "debugging information removed")
    message(FATAL_ERROR "${IMAGE} is not stripped")
  endif()
  file(SIZE ${IMAGE} image_size)
  message(STATUS "${IMAGE}: ${image_size} bytes")
  if(image_size GREATER 1048576)
    message(FATAL_ERROR "${IMAGE} has ${image_size} bytes: more than 1 MiB")
  endif()
  if(NOT headers MATCHES "Time/Date[\t ]+Thu Jan  1 00:00:00 1970")
    message(FATAL_ERROR "${IMAGE} carries a link time stamp")
  endif()
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

# Resources, as Explorer and the window system read them (WRESTOOL: wrestool
# of icoutils). VERSION: the project's version, as "major.minor.patch.0".
if(NOT WRESTOOL)
  return()
endif()
execute_process(COMMAND ${WRESTOOL} -l ${IMAGE} OUTPUT_VARIABLE resources RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${WRESTOOL} -l ${IMAGE} failed")
endif()
message(STATUS "resources:\n${resources}")
# Icon (3), icon group (14), version (16), manifest (24).
foreach(type 3 14 16 24)
  if(NOT resources MATCHES "--type=${type} ")
    message(FATAL_ERROR "${IMAGE} has no resource of type ${type}")
  endif()
endforeach()
execute_process(COMMAND ${WRESTOOL} -x --raw --type=14 ${IMAGE} OUTPUT_FILE ${IMAGE}.group
)
file(READ ${IMAGE}.group group HEX)
file(REMOVE ${IMAGE}.group)
# The application icon in the sizes Windows asks for. GRPICONDIR: reserved,
# type 1, count; then entries of 14 bytes that start with width and height
# (0 for 256).
foreach(size 16 32 48 256)
  math(EXPR byte "${size} % 256" OUTPUT_FORMAT HEXADECIMAL)
  string(REGEX REPLACE "^0x" "" byte "${byte}")
  string(LENGTH "${byte}" digits)
  if(digits EQUAL 1)
    set(byte "0${byte}")
  endif()
  set(found FALSE)
  string(SUBSTRING "${group}" 8 4 count)
  string(SUBSTRING "${count}" 0 2 count)
  math(EXPR count "0x${count}")
  math(EXPR last "${count} - 1")
  foreach(index RANGE ${last})
    math(EXPR offset "(6 + 14 * ${index}) * 2")
    string(SUBSTRING "${group}" ${offset} 4 dimensions)
    if(dimensions STREQUAL "${byte}${byte}")
      set(found TRUE)
    endif()
  endforeach()
  if(NOT found)
    message(FATAL_ERROR "the icon of ${IMAGE} has no ${size}x${size} image")
  endif()
endforeach()

execute_process(COMMAND ${WRESTOOL} -x --raw --type=24 ${IMAGE} OUTPUT_VARIABLE manifest)
foreach(needed "level=\"asInvoker\"" "<dpiAware[^>]*>true</dpiAware>"
        "<dpiAwareness[^>]*>system</dpiAwareness>" "Microsoft.Windows.Common-Controls"
        "<longPathAware[^>]*>true</longPathAware>"
        "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a" "35138b9a-5d96-4fbd-8e2d-a2440225f93a")
  if(NOT manifest MATCHES "${needed}")
    message(FATAL_ERROR "the manifest of ${IMAGE} lacks ${needed}:\n${manifest}")
  endif()
endforeach()

# The version strings are UTF-16: compared as hexadecimal bytes.
function(utf16_hex text out)
  set(hex "")
  string(LENGTH "${text}" length)
  math(EXPR last "${length} - 1")
  foreach(i RANGE ${last})
    string(SUBSTRING "${text}" ${i} 1 c)
    string(HEX "${c}" h)
    string(APPEND hex "${h}00")
  endforeach()
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()
# The version information in German (language 0407), as its strings are.
if(NOT resources MATCHES "--type=16 [^\n]*--language=1031")
  message(FATAL_ERROR "the version information of ${IMAGE} is not German (language 0407)")
endif()
execute_process(COMMAND ${WRESTOOL} -x --raw --type=16 ${IMAGE} OUTPUT_FILE ${IMAGE}.version)
file(READ ${IMAGE}.version version HEX)
file(REMOVE ${IMAGE}.version)
string(TOLOWER "${version}" version)
foreach(pair "FileVersion=${VERSION}" "ProductVersion=${VERSION}" "ProductName=Morvane Updater"
        "FileDescription=Morvane Updater" "CompanyName=Morvane")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 key)
  list(GET pair 1 value)
  utf16_hex("${key}" key_hex)
  utf16_hex("${value}" value_hex)
  # Key, its terminating zero, padding to 32 bits, then the value and its zero.
  if(NOT version MATCHES "${key_hex}0000(0000)?${value_hex}0000")
    message(FATAL_ERROR "the version information of ${IMAGE} lacks ${key} ${value}")
  endif()
endforeach()
# The strings' block is German in UTF-16 (code page 1200) or Windows-1252, and
# the translation table names that pair: language 0407, then the code page.
set(german_block FALSE)
foreach(block "040704B0" "040704b0" "040704E4" "040704e4")
  utf16_hex("${block}" block_hex)
  if(version MATCHES "${block_hex}0000")
    set(german_block TRUE)
  endif()
endforeach()
utf16_hex("Translation" translation_hex)
if(NOT german_block OR NOT version MATCHES "${translation_hex}0000(0000)?0704(b004|e404)")
  message(FATAL_ERROR "the version information of ${IMAGE} has no German block 040704b0/040704e4")
endif()
# The binary file version (VS_FIXEDFILEINFO, after its signature feef04bd).
string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)
list(GET parts 3 build)
string(REGEX MATCH "bd04effe00000100(........)(........)" fixed "${version}")
if(NOT fixed)
  message(FATAL_ERROR "${IMAGE} has no fixed version information")
endif()
foreach(half "${CMAKE_MATCH_1}:${minor}:${major}" "${CMAKE_MATCH_2}:${build}:${patch}")
  string(REPLACE ":" ";" half "${half}")
  list(GET half 0 hex)
  list(GET half 1 low)
  list(GET half 2 high)
  string(SUBSTRING "${hex}" 0 2 b0)
  string(SUBSTRING "${hex}" 2 2 b1)
  string(SUBSTRING "${hex}" 4 2 b2)
  string(SUBSTRING "${hex}" 6 2 b3)
  math(EXPR got_low "0x${b1}${b0}")
  math(EXPR got_high "0x${b3}${b2}")
  if(NOT got_low EQUAL low OR NOT got_high EQUAL high)
    message(FATAL_ERROR "the file version of ${IMAGE} is not ${VERSION}")
  endif()
endforeach()
