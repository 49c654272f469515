#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/crypto.h"
#include "platform/http.h"

namespace morvane::publish {

// Whether a text names a file on a server (http:// or https://).
bool isUrl(const std::string& text);

// One GET as the updater makes it (the URL percent-encoded), with what
// arrived.
struct Fetched {
    bool complete = false;
    int status = 0;
    std::string body;         // kept only when asked for
    std::string contentType;  // as the server wrote it; empty when none
    std::optional<Sha256Digest> digest;
    std::optional<std::uint64_t> size;
    bool tooLarge = false;  // a body kept was longer than asked for

    bool succeeded() const { return complete && status >= 200 && status <= 299; }
};

// Keeps up to `largest` bytes of the body when `keep` is set; a longer body
// ends the GET as incomplete and too large. `onBytes` hears of every piece.
Fetched fetch(Http& http, const std::string& url, std::uint64_t largest, bool keep,
              const std::function<void(std::uint64_t)>& onBytes = {});

}  // namespace morvane::publish
