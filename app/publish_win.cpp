// Entry point of Publish.exe: the publisher tool as a Windows console program.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/win32/wide.h"
#include "platform/win32/wininet_http.h"
#include "publish/commands.h"

int wmain(int argc, wchar_t** argv) {
    // Arguments arrive in UTF-16 and messages leave in UTF-8.
    SetConsoleOutputCP(CP_UTF8);
    // Bytes leave as written: keygen's settings block keeps its CR LF when
    // redirected into the settings file.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(morvane::win32::narrow(argv[i]));
    }
    morvane::win32::WinInetHttp http;
    return morvane::publish::runPublisher(args, http, std::cout, std::cerr);
}
