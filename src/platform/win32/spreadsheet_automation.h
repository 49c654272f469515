#pragma once

#include <chrono>
#include <memory>

#include "platform/spreadsheet.h"
#include "platform/win32/busy_server_retry.h"

namespace morvane::win32 {

// The spreadsheet program reached through COM automation: an instance of the
// class registered as "Excel.Application", whose properties are read by name
// through its dispatch interface.
//
// Every instance initializes COM on the calling thread for its own lifetime
// (single-threaded apartment; an apartment the thread already has is used as
// it is) and uninitializes it after releasing the object.
//
// create() throws Failure 429 "Objekterstellung durch ActiveX-Komponente nicht
// möglich" when no such class is registered or its server cannot be started,
// and a Failure carrying the HRESULT (as a signed number) and its system text
// for any other COM failure. Property reads fail the same way; an exception
// raised by the automation server carries that server's number and text.
//
// A server that rejects calls while it starts or is busy is called again for
// up to `patience` per call; only then does the rejection fail the read.
class ComSpreadsheetAutomation final : public SpreadsheetAutomation {
public:
    explicit ComSpreadsheetAutomation(std::chrono::milliseconds patience = kBusyServerPatience)
        : patience_(patience) {}
    std::unique_ptr<SpreadsheetInstance> create() override;
    // The LocalServer32 of the class "Excel.Application" names, read from
    // the registry's classes (the user's over the machine's).
    std::string registeredServer() override;

private:
    std::chrono::milliseconds patience_;
};

}  // namespace morvane::win32
