#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "base/crypto.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "release/settings.h"
#include "update/run_context.h"

namespace morvane {

// The publisher's key that the settings ask for. A settings file that asks
// for signed updates in any way needs a usable key: without one the update
// stops rather than silently turning the checks off.
struct PublisherKey {
    bool required = false;
    std::optional<SignatureKey> key;

    bool usable() const { return !required || key.has_value(); }
};
PublisherKey publisherKeyOf(const UpdaterSettings& settings);

// The key's short fingerprint for the log: the first 16 hex digits of the
// SHA-256 of its base64 text as the settings carry it (blanks around are
// trimmed there).
std::string keyFingerprint(std::string_view base64);

// True when the signature at the description's URL + ".sig" signs
// `description`, the bytes that were fetched; otherwise false, after the
// refusal message unless the check ran out of time by `deadline` (the
// server then counts as unreachable).
bool isSignedByPublisher(const RunContext& run, std::string_view description,
                         std::chrono::steady_clock::time_point deadline, Platform& platform,
                         Messages& messages);

}  // namespace morvane
