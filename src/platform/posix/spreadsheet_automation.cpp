#include "platform/posix/spreadsheet_automation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "base/failure.h"
#include "platform/posix/os_error.h"
#include "platform/posix/path_mapping.h"

#ifndef MORVANE_EXCEL_BRIDGE_DIR
#error "MORVANE_EXCEL_BRIDGE_DIR must name the folder holding the EXCEL.EXE launcher"
#endif

namespace morvane::posix {

namespace {

constexpr const char* kCalcNames[] = {"localc", "libreoffice", "soffice"};
constexpr const char* kUsualCalc = "/usr/lib/libreoffice/program/soffice";

bool isExecutableFile(const std::string& file) {
    struct stat status {};
    return ::stat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::access(file.c_str(), X_OK) == 0;
}

class CalcInstance final : public SpreadsheetInstance {
public:
    explicit CalcInstance(std::string folder) : folder_(std::move(folder)) {}
    std::string version() override { return "16.0"; }
    std::string path() override { return folder_; }

private:
    std::string folder_;
};

}  // namespace

std::optional<std::string> findCalcProgram(std::string_view searchPath) {
    for (const char* name : kCalcNames) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t colon = searchPath.find(':', start);
            const std::string_view entry = searchPath.substr(
                start, colon == std::string_view::npos ? std::string_view::npos : colon - start);
            const std::string folder = entry.empty() ? std::string(".") : std::string(entry);
            std::string candidate = folder + "/" + name;
            if (isExecutableFile(candidate)) {
                return candidate;
            }
            if (colon == std::string_view::npos) {
                break;
            }
            start = colon + 1;
        }
    }
    if (isExecutableFile(kUsualCalc)) {
        return std::string(kUsualCalc);
    }
    return std::nullopt;
}

CalcSpreadsheetAutomation::CalcSpreadsheetAutomation() : bridgeFolder_(MORVANE_EXCEL_BRIDGE_DIR) {}

CalcSpreadsheetAutomation::CalcSpreadsheetAutomation(std::string bridgeFolder)
    : bridgeFolder_(std::move(bridgeFolder)) {}

std::unique_ptr<SpreadsheetInstance> CalcSpreadsheetAutomation::create() {
    const char* searchPath = std::getenv("PATH");
    if (!findCalcProgram(searchPath != nullptr ? searchPath : "")) {
        throw Failure::of(err::CannotCreateObject);
    }
    const std::string launcher = bridgeFolder_ + "/EXCEL.EXE";
    if (::access(launcher.c_str(), X_OK) != 0) {
        const int error = errno;
        throw errnoFailure(error);
    }
    return std::make_unique<CalcInstance>(toWindowsPath(bridgeFolder_));
}

}  // namespace morvane::posix
