#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include <atomic>

#include "base/win32/wide.h"
#else
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/posix/path_mapping.h"
#endif

namespace morvane::test {

namespace {

std::filesystem::path nativeOf(const std::string& utf8) {
#ifdef _WIN32
    return std::filesystem::path(win32::wide(utf8));
#else
    return std::filesystem::path(utf8);
#endif
}

}  // namespace

TempFolder::TempFolder() {
#ifdef _WIN32
    wchar_t base[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, base);
    if (length == 0 || length > MAX_PATH) {
        throw std::runtime_error("GetTempPathW failed");
    }
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0;; ++attempt) {
        std::wstring candidate =
            std::wstring(base) + L"morvane-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(counter++) + L"-" + std::to_wstring(GetTickCount64());
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            native_ = std::filesystem::path(candidate);
            break;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS || attempt > 100) {
            throw std::runtime_error("CreateDirectoryW failed: " + std::to_string(error));
        }
    }
    path_ = win32::narrow(native_.wstring());
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "morvane-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        const int error = errno;
        throw std::runtime_error(std::string("mkdtemp failed: ") + std::strerror(error));
    }
    native_ = std::filesystem::path(buffer.data());
    path_ = posix::toWindowsPath(native_.string());
#endif
    while (path_.size() > 3 && path_.back() == '\\') {
        path_.pop_back();
    }
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(native_, ignored);
}

std::string TempFolder::file(const std::string& name) const {
    return path_ + "\\" + name;
}

std::filesystem::path TempFolder::native(const std::string& name) const {
    std::string relative = name;
#ifndef _WIN32
    for (char& c : relative) {
        if (c == '\\') {
            c = '/';
        }
    }
#endif
    return native_ / nativeOf(relative);
}

void TempFolder::write(const std::string& name, const std::string& content) const {
    const std::filesystem::path target = native(name);
    std::error_code ignored;
    std::filesystem::create_directories(target.parent_path(), ignored);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
        ADD_FAILURE() << "cannot write " << file(name);
    }
}

std::string TempFolder::read(const std::string& name) const {
    std::ifstream in(native(name), std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << file(name);
        return {};
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool TempFolder::exists(const std::string& name) const {
    std::error_code ignored;
    return std::filesystem::exists(native(name), ignored);
}

}  // namespace morvane::test
