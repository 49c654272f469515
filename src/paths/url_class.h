#pragma once

#include <string>

namespace morvane {

// One URL held as a single UTF-8 text, with its parts as read-write
// properties: the counterpart of PathClass with "://" ending the protocol and
// "/" separating folders. Nothing is parsed beyond that: host, port, query
// and fragment are ordinary text, and nothing is escaped or validated.
//
// Reads of Name, and the writes of Ext and FullExt (which read it), throw
// Failure 5 for a non-empty file name without "." (such as a server-only
// address, http://server) and leave the URL unchanged. Nothing else fails.
class UrlClass {
public:
    // Text before the first "://"; the whole URL when it has none.
    std::string Protocol() const;
    // Adds "://" to a non-empty value, unless it ends in "://" already, and
    // puts it in front of what follows the last "://". An empty value
    // removes the protocol. So FullProtocol read and written back, and
    // "https" and "https://" alike, give the same URL.
    void setProtocol(const std::string& plainProtocol);
    // Protocol followed by "://", also for an empty Protocol.
    std::string FullProtocol() const;
    void setFullProtocol(const std::string& protocol) { setProtocol(protocol); }

    // The folder part, ending in "/" whenever the URL holds one.
    std::string Url() const;
    // Becomes the value, "/" and FullName; the "/" is inserted even when the
    // value ends in one.
    void setUrl(const std::string& folderPath);
    const std::string& FullUrl() const { return fullUrl_; }
    void setFullUrl(const std::string& url) { fullUrl_ = url; }

    // The file name without its last "." and what follows.
    std::string Name() const;
    void setName(const std::string& nameWithoutExt);
    // What follows the last "/"; empty for a URL ending in "/".
    std::string FullName() const;
    void setFullName(const std::string& nameWithExt);
    // What follows the last "." of FullName; FullName itself when it has none.
    std::string Ext() const;
    // Replaces the extension; a "." is put in front unless the value starts
    // with one, so an empty value leaves a trailing ".".
    void setExt(const std::string& extension);
    // "." and Ext.
    std::string FullExt() const;
    void setFullExt(const std::string& extension) { setExt(extension); }

private:
    std::string fullUrl_;
};

}  // namespace morvane
