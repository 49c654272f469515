#pragma once

#include <string>

namespace morvane::test {

// A path of the build as Windows sees it: Wine runs the tests with the build's
// POSIX paths on drive Z:.
std::string windowsPath(std::string path);

// A program or folder that the build placed beside the tests (the path given
// at build time). The Windows test kit runs the tests on a PC without the
// build folder: there MORVANE_TEST_KIT names the kit's folder, which holds
// every program under its own name.
std::string builtFile(const std::string& builtPath);

}  // namespace morvane::test
