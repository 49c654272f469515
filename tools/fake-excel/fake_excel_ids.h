#pragma once

// Identity of the stand-in spreadsheet automation server (FakeExcel.exe) and
// the environment variables it and its EXCEL.EXE read.

namespace morvane::fake_excel {

// The class registered under the program identifier "Excel.Application".
inline constexpr wchar_t kClassId[] = L"{13A25C00-071C-4B1F-8975-6F2CF996D681}";

// Overrides the "Path" the server reports (default: the server's own folder).
inline constexpr wchar_t kPathVariable[] = L"MORVANE_EXCEL_PATH";
// Overrides the "Version" the server reports (default: "16.0").
inline constexpr wchar_t kVersionVariable[] = L"MORVANE_EXCEL_VERSION";
// Names a property ("Version" or "Path") whose read raises an automation
// exception (number 1004 and a German text), to exercise failure paths.
inline constexpr wchar_t kFailVariable[] = L"MORVANE_EXCEL_FAIL";
// A count of dispatch calls (name look-ups and property reads) that the
// server rejects as busy before it answers, as a starting spreadsheet program
// does; "all" rejects every one.
inline constexpr wchar_t kBusyVariable[] = L"MORVANE_EXCEL_BUSY";
// The file EXCEL.EXE appends its record to (default: excel-record.txt beside it).
inline constexpr wchar_t kRecordVariable[] = L"MORVANE_EXCEL_RECORD";

// What a failing property read raises: FACILITY_CONTROL code 1004.
inline constexpr long kFailureCode = static_cast<long>(0x800A03ECUL);
inline constexpr wchar_t kFailureText[] = L"Die Eigenschaft kann nicht gelesen werden.";

}  // namespace morvane::fake_excel
