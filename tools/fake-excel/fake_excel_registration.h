#pragma once

#include <optional>
#include <string>

namespace morvane::fake_excel {

// Registers the stand-in under "Excel.Application" for the current user and
// the machine; `server` is the command line that starts it. False when no
// part of the registry took it.
bool registerServer(const std::wstring& server);

// Removes the stand-in's registration, leaving any other program's alone.
void removeRegistration();

// The class that "Excel.Application" names, if any.
std::optional<std::wstring> registeredClass();

}  // namespace morvane::fake_excel
