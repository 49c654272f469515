#pragma once

#include <memory>
#include <string>

namespace morvane {

// A running automation instance of the spreadsheet program ("Excel.Application").
// Property reads throw Failure; destruction releases the instance.
class SpreadsheetInstance {
public:
    virtual ~SpreadsheetInstance() = default;
    virtual std::string version() = 0;
    // Folder holding the program file, without a trailing "\".
    virtual std::string path() = 0;
};

class SpreadsheetAutomation {
public:
    virtual ~SpreadsheetAutomation() = default;
    // Creates a new instance. Throws Failure when the program is not available.
    virtual std::unique_ptr<SpreadsheetInstance> create() = 0;
    // The command line the system starts the automation server with, as its
    // class is registered ("C:\...\EXCEL.EXE /automation"); empty where none
    // is registered or the host registers none.
    virtual std::string registeredServer() { return {}; }
};

}  // namespace morvane
