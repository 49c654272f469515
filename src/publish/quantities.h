#pragma once

#include <cstdint>
#include <string>

namespace morvane::publish {

// Counts as the publisher reads them: "7,000".
std::string grouped(std::uint64_t count);
// Bytes in MiB with one decimal: "1.7 MiB".
std::string inMebibytes(std::uint64_t bytes);

}  // namespace morvane::publish
