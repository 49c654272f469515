#include "update/excel_module.h"

#include <algorithm>
#include <charconv>
#include <memory>

#include "base/command_line.h"
#include "base/failure.h"
#include "base/text.h"
#include "messages/messages.h"

namespace morvane {
namespace {

constexpr int kTypeMismatch = 13;

float versionNumber(const std::string& text) {
    float value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    while (first != last && *first == ' ') {
        ++first;
    }
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || first == last || end != last) {
        throw Failure(kTypeMismatch, "Typen unverträglich");
    }
    return value;
}

}  // namespace

ExcelInfo GetExcelInfo(SpreadsheetAutomation& automation, UserInterface& ui) {
    ExcelInfo info;
    std::unique_ptr<SpreadsheetInstance> instance;
    try {
        instance = automation.create();
        info.Version = versionNumber(instance->version());
        info.Path = instance->path();
        instance.reset();
    } catch (const Failure& failure) {
        instance.reset();
        Messages(ui).spreadsheetFailed(failure);
    }
    return info;
}

std::string serverFolderOf(std::string_view command) {
    const std::size_t first = command.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    command.remove_prefix(first);
    std::string_view program;
    if (command.front() == '"') {
        const std::size_t closing = command.find('"', 1);
        if (closing == std::string_view::npos) {
            return {};
        }
        program = command.substr(1, closing - 1);
    } else {
        program = command.substr(0, std::min(command.find(" /"), command.find(" -")));
        program = program.substr(0, program.find_last_not_of(' ') + 1);
    }
    const std::size_t slash = program.rfind('\\');
    if (!isFullWindowsPath(program) || slash == std::string_view::npos ||
        slash + 1 == program.size()) {
        return {};
    }
    // "C:\EXCEL.EXE" keeps its root's backslash out, as Path would.
    return std::string(program.substr(0, slash));
}

std::string excelProgram(const std::string& excelFolder) {
    return excelFolder + "\\EXCEL.EXE";
}

}  // namespace morvane
