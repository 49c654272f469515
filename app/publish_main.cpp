// Entry point of morvane-publish: the publisher tool over the POSIX adapters.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "platform/posix/curl_http.h"
#include "publish/commands.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    morvane::posix::CurlHttp http;
    return morvane::publish::runPublisher(args, http, std::cout, std::cerr,
                                          isatty(STDERR_FILENO) == 1);
}
