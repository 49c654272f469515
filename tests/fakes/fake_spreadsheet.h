#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/failure.h"
#include "platform/spreadsheet.h"

namespace morvane::test {

// The spreadsheet program's automation object; absent when `installed` is false.
class FakeSpreadsheet : public SpreadsheetAutomation {
public:
    bool installed = true;
    std::string version = "16.0";
    std::string path = "C:\\Program Files\\Office\\root";
    int instances = 0;  // alive right now
    int created = 0;
    std::string server;  // the registered server's command line

    std::string registeredServer() override { return server; }

    std::unique_ptr<SpreadsheetInstance> create() override {
        if (!installed) {
            throw Failure(429, "Objekterstellung durch ActiveX-Komponente nicht möglich");
        }
        ++created;
        return std::make_unique<Instance>(*this);
    }

private:
    class Instance : public SpreadsheetInstance {
    public:
        explicit Instance(FakeSpreadsheet& owner) : owner_(owner) { ++owner_.instances; }
        ~Instance() override { --owner_.instances; }
        std::string version() override { return owner_.version; }
        std::string path() override { return owner_.path; }

    private:
        FakeSpreadsheet& owner_;
    };
};

}  // namespace morvane::test
