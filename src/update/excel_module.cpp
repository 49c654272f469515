#include "update/excel_module.h"

#include <charconv>
#include <memory>

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

std::string excelProgram(const std::string& excelFolder) {
    return excelFolder + "\\EXCEL.EXE";
}

}  // namespace morvane
