// Entry point of Publish.exe: the publisher tool as a Windows console program.
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "platform/win32/wide.h"
#include "platform/win32/wininet_http.h"
#include "publish/commands.h"

int wmain(int argc, wchar_t** argv) {
    // Arguments arrive in UTF-16 and messages leave in UTF-8.
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(morvane::win32::narrow(argv[i]));
    }
    morvane::win32::WinInetHttp http;
    return morvane::publish::runPublisher(args, http, std::cout, std::cerr);
}
