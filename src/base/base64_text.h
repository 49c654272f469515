#pragma once

#include <string_view>

namespace morvane {

// Whether `text` is base64 and nothing else: blanks and tabs around it,
// groups of four characters of the standard alphabet, "=" padding only at
// the end. The decoders of both hosts skip or stop at other characters, so
// a key line with text after its padding would otherwise pass.
bool isPlainBase64(std::string_view text);

}  // namespace morvane
