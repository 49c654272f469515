#pragma once

#include <string>
#include <string_view>

namespace morvane::test {

// Bodies in the content codings a server may send, made with zlib.
std::string gzipped(std::string_view data);
// "deflate" as HTTP means it: a zlib stream.
std::string zlibDeflated(std::string_view data);
// A bare deflate stream, as some servers send for "deflate".
std::string bareDeflated(std::string_view data);

}  // namespace morvane::test
