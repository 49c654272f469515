# One interface target carries the project's warning and sanitizer settings.
add_library(morvane_options INTERFACE)
target_compile_options(morvane_options INTERFACE
  -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow -Werror)
# GCC 12 at -O2 and above reports std::string concatenation as overlapping
# memcpy (GCC bug 105329), a false alarm that would fail release builds.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(morvane_options INTERFACE -Wno-restrict)
endif()
if(WIN32)
  target_compile_definitions(morvane_options INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()
if(MORVANE_SANITIZE)
  target_compile_options(morvane_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(morvane_options INTERFACE -fsanitize=address,undefined)
endif()
