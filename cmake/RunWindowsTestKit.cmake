# cmake -DKIT=<zip> -DFOLDER=<folder> -DWINE=<wine> -P RunWindowsTestKit.cmake
# Unpacks the Windows test kit into a fresh FOLDER, runs its run-tests.cmd
# through Wine's cmd as a user runs it on a PC, and checks report.txt: the
# facts about the PC, one line for every test, no test failed, every skipped
# test counted, and the measurements. The checks that only Windows judges
# may report "cannot judge" under Wine, never a failure.
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...) in script mode
file(REMOVE_RECURSE ${FOLDER})
file(MAKE_DIRECTORY ${FOLDER})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${KIT} WORKING_DIRECTORY ${FOLDER}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${KIT}")
endif()
foreach(file run-tests.cmd KitProbe.exe Updater.exe Publish.exe e2e_tests.exe platform_tests.exe)
  if(NOT EXISTS ${FOLDER}/${file})
    message(FATAL_ERROR "the kit lacks ${file}")
  endif()
endforeach()

# The measurements at a size that keeps CI quick; the report names the sizes.
execute_process(COMMAND ${CMAKE_COMMAND} -E env MORVANE_KIT_DOWNLOAD_MIB=64
                        MORVANE_KIT_INSTALL_FILES=1000 ${WINE} cmd /c run-tests.cmd
  WORKING_DIRECTORY ${FOLDER}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message(STATUS "run-tests.cmd: exit ${result}\n${output}${errors}")
if(NOT EXISTS ${FOLDER}/report.txt)
  message(FATAL_ERROR "run-tests.cmd wrote no report.txt")
endif()

file(STRINGS ${FOLDER}/report.txt lines)
set(report "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "\r$" "" line "${line}")
  list(APPEND report "${line}")
endforeach()
string(REPLACE ";" "\n" shown "${report}")
message(STATUS "report.txt:\n${shown}")

foreach(fact "Windows: .+" "Host: Wine .+" "ACP: [0-9]+" "DPI: [0-9]+ x [0-9]+"
        "Excel.Application: not registered"
        "download_rate: 64 MiB: Updater.exe run .+ ratio [0-9.]+"
        "install_files: 1000 files of 2 KiB: Updater.exe run .+ per file"
        "Summary: [0-9]+ passed, 0 failed, [0-9]+ cannot judge, [0-9]+ tests skipped")
  set(found FALSE)
  foreach(line IN LISTS report)
    if(line MATCHES "^${fact}$")
      set(found TRUE)
    endif()
  endforeach()
  if(NOT found)
    message(FATAL_ERROR "report.txt has no line \"${fact}\"")
  endif()
endforeach()

# Every test has its line. The checks that only Windows judges may not be
# judged here; a program's skipped tests are counted as its log shows them,
# and the summary adds them up.
set(windows_only box_to_front scanner_holder)
set(skipped_in_logs 0)
foreach(test ${windows_only} publish_signing console_code_page base_tests paths_tests release_tests
        blockfile_tests download_tests install_tests update_tests platform_tests publish_tests e2e_tests)
  set(outcome "")
  foreach(line IN LISTS report)
    if(line MATCHES "^${test}: (.*)$")
      set(outcome "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(skipped 0)
  file(STRINGS ${FOLDER}/logs/${test}.txt skip_lines REGEX "^\\[  SKIPPED \\] [0-9]+ tests?, listed below")
  if(skip_lines MATCHES "SKIPPED \\] ([0-9]+)")
    set(skipped ${CMAKE_MATCH_1})
  endif()
  math(EXPR skipped_in_logs "${skipped_in_logs} + ${skipped}")
  if(test IN_LIST windows_only)
    set(expected "^(pass|cannot judge \\(see logs\\\\${test}\\.txt\\))$")
  elseif(skipped EQUAL 0)
    set(expected "^pass$")
  else()
    set(expected "^pass, ${skipped} skipped$")
  endif()
  if(NOT outcome MATCHES "${expected}")
    message(FATAL_ERROR "report.txt: ${test}: \"${outcome}\" (its log shows ${skipped} skipped)")
  endif()
endforeach()
foreach(line IN LISTS report)
  if(line MATCHES "^Summary: .*, ([0-9]+) tests skipped$")
    if(NOT CMAKE_MATCH_1 EQUAL skipped_in_logs)
      message(FATAL_ERROR "report.txt counts ${CMAKE_MATCH_1} skipped tests, the logs ${skipped_in_logs}")
    endif()
  endif()
endforeach()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "run-tests.cmd ended with ${result}")
endif()
