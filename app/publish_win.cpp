// Entry point of Publish.exe: the publisher tool as a Windows console program.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "base/win32/wide.h"
#include "platform/win32/wininet_http.h"
#include "publish/commands.h"

namespace {

// The code page the console had before this program; 0 while it changed none.
std::atomic<UINT> savedOutputCodePage{0};

void restoreOutputCodePage() {
    if (const UINT codePage = savedOutputCodePage.exchange(0)) {
        SetConsoleOutputCP(codePage);
    }
}

// Ctrl+C, Ctrl+Break or a closed window end the program: the console gets its
// code page back first, then the default handling ends the process.
BOOL WINAPI restoreOnInterrupt(DWORD) {
    restoreOutputCodePage();
    return FALSE;
}

// Messages leave in UTF-8 while the program runs. The console outlives the
// program, and the prompt or batch file that started it expects its own code
// page again afterwards (its own output and that of the programs after this
// one would be garbled otherwise).
class Utf8ConsoleOutput {
public:
    Utf8ConsoleOutput() {
        const UINT current = GetConsoleOutputCP();
        if (current == 0 || current == CP_UTF8) {
            return;  // no console, or nothing to change
        }
        savedOutputCodePage = current;
        SetConsoleCtrlHandler(restoreOnInterrupt, TRUE);
        SetConsoleOutputCP(CP_UTF8);
    }
    ~Utf8ConsoleOutput() {
        // What is still buffered is written in the code page it was meant for.
        std::cout.flush();
        std::cerr.flush();
        restoreOutputCodePage();
        SetConsoleCtrlHandler(restoreOnInterrupt, FALSE);
    }
    Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
    Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Arguments arrive in UTF-16 and messages leave in UTF-8.
    const Utf8ConsoleOutput console;
    // Bytes leave as written: keygen's settings block keeps its CR LF when
    // redirected into the settings file.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(morvane::win32::narrow(argv[i]));
    }
    morvane::win32::WinInetHttp http;
    // A console, not a file or pipe, takes the progress line.
    DWORD mode = 0;
    const bool errIsConsole = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;
    return morvane::publish::runPublisher(args, http, std::cout, std::cerr, errIsConsole);
}
