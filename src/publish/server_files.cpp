#include "publish/server_files.h"

#include "base/text.h"
#include "release/url_encoding.h"

namespace morvane::publish {
namespace {

struct TooLarge {};

class CollectingSink : public BodySink {
public:
    CollectingSink(std::uint64_t largest, bool keep,
                   const std::function<void(std::uint64_t)>& onBytes)
        : largest_(largest), keep_(keep), onBytes_(onBytes) {}
    void begin(int, std::optional<std::int64_t>) override {}
    void write(const char* data, std::size_t count) override {
        hash_.update(data, count);
        received_ += count;
        if (keep_) {
            if (received_ > largest_) {
                throw TooLarge();
            }
            body_.append(data, count);
        }
        if (onBytes_) {
            onBytes_(count);
        }
    }
    void afterRead() override {}

    std::uint64_t received() const { return received_; }
    std::string& body() { return body_; }
    Sha256Digest digest() { return hash_.finish(); }

private:
    std::uint64_t largest_;
    bool keep_;
    const std::function<void(std::uint64_t)>& onBytes_;
    std::uint64_t received_ = 0;
    std::string body_;
    Sha256 hash_;
};

}  // namespace

bool isUrl(const std::string& text) {
    const std::string folded = foldCase(text.substr(0, 8));
    return folded.rfind("HTTP://", 0) == 0 || folded.rfind("HTTPS://", 0) == 0;
}

Fetched fetch(Http& http, const std::string& url, std::uint64_t largest, bool keep,
              const std::function<void(std::uint64_t)>& onBytes) {
    Fetched result;
    const std::unique_ptr<HttpSession> session = http.openSession();
    if (!session) {
        return result;
    }
    CollectingSink sink(largest, keep, onBytes);
    GetResult got;
    try {
        got = session->get(percentEncoded(url), sink);
    } catch (const TooLarge&) {
        result.tooLarge = true;
        return result;
    }
    result.complete = got.isComplete();
    result.status = got.status;
    result.contentType = got.content.type;
    result.body = std::move(sink.body());
    if (result.complete) {
        result.digest = sink.digest();
        result.size = sink.received();
    }
    return result;
}

}  // namespace morvane::publish
