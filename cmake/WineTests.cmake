# Windows test programs run under Wine in a private prefix inside the build
# folder, so a test run neither needs nor touches the user's ~/.wine.
#
# Every target executable that a test or custom command runs goes through
# CMAKE_CROSSCOMPILING_EMULATOR; it is widened here to set the prefix and to
# silence Wine's debug channels. The prefix itself is made by the ctest
# fixture "wine_prefix" (scripts/wine-prefix); morvane_wine_tests() makes the
# tests of the calling folder require it.
set(MORVANE_WINE_PREFIX "")
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 _morvane_emulator)
  get_filename_component(_morvane_emulator_name "${_morvane_emulator}" NAME)
  if(_morvane_emulator_name MATCHES "^wine")
    set(MORVANE_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
    set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env WINEPREFIX=${MORVANE_WINE_PREFIX} WINEDEBUG=-all
      ${_morvane_emulator})
  endif()
endif()

# Adds the fixture that creates the prefix; call once, in the folder of the tests.
function(morvane_add_wine_prefix_fixture)
  if(NOT MORVANE_WINE_PREFIX)
    return()
  endif()
  add_test(NAME wine_prefix
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-prefix ${MORVANE_WINE_PREFIX})
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 600)
endfunction()

# Makes every test of the calling folder run under Wine's prefix: requires the
# fixture and sets the environment for tests that start Wine programs
# themselves. Call at the end of each CMakeLists.txt that adds tests.
function(morvane_wine_tests)
  if(NOT MORVANE_WINE_PREFIX)
    return()
  endif()
  get_property(tests DIRECTORY PROPERTY TESTS)
  list(REMOVE_ITEM tests wine_prefix)
  if(tests)
    set_property(TEST ${tests} APPEND PROPERTY FIXTURES_REQUIRED wine_prefix)
    set_property(TEST ${tests} APPEND PROPERTY ENVIRONMENT
      WINEPREFIX=${MORVANE_WINE_PREFIX} WINEDEBUG=-all)
  endif()
endfunction()
