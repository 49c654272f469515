// The system's text for Windows error codes, as the updater's failures carry it.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/text.h"
#include "platform/win32/os_error.h"

namespace morvane::win32 {
namespace {

void expectOneCleanLine(const std::string& text) {
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '\r');
    EXPECT_NE(text.back(), ' ');
}

TEST(ErrorText, SystemCodeGivesTheSystemText) {
    const std::string text = errorText(ERROR_FILE_NOT_FOUND);
    expectOneCleanLine(text);
    EXPECT_EQ(text.find("Systemfehler"), std::string::npos) << text;
}

TEST(ErrorText, WinInetCodeGivesWinInetsText) {
    // A WinINet code reaches the updater only from a WinINet call, so the
    // library is loaded by then, as here.
    const HMODULE wininet = LoadLibraryW(L"wininet.dll");
    ASSERT_NE(wininet, nullptr);
    const std::string text = errorText(12007);  // ERROR_INTERNET_NAME_NOT_RESOLVED
    FreeLibrary(wininet);
    expectOneCleanLine(text);
    EXPECT_EQ(text.find("Systemfehler"), std::string::npos) << text;
}

TEST(ErrorText, UnknownCodeGivesTheFallbackWithTheNumber) {
    // Bit 29 marks codes defined by applications: the system has no text for it.
    const std::uint32_t code = 0x20001234;
    const std::string text = errorText(code);
    expectOneCleanLine(text);
    EXPECT_NE(text.find(decimal(code)), std::string::npos) << text;
}

TEST(ErrorText, FailureCarriesCodeAndText) {
    const Failure failure = osFailure(ERROR_ACCESS_DENIED);
    EXPECT_EQ(failure.number(), static_cast<int>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(failure.description(), errorText(ERROR_ACCESS_DENIED));
}

}  // namespace
}  // namespace morvane::win32
