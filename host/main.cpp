// nivolo-host: the command-line host stand-in.

#include <unistd.h>

#include <iostream>
#include <string>

#include "host/InfoCommand.h"

namespace {

const char* const kUsage =
    "usage: nivolo-host info [--module PATH]\n"
    "  info   print the module's factory and class information\n"
    "  --module PATH   the plug-in module (default: nivolo.so beside nivolo-host)\n";

// The module built beside this executable.
std::string defaultModulePath() {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "nivolo.so";
    std::string self(buffer, static_cast<size_t>(n));
    size_t slash = self.rfind('/');
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/nivolo.so";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    std::string command = argv[1];
    std::string modulePath = defaultModulePath();
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--module" && i + 1 < argc) {
            modulePath = argv[++i];
        } else {
            std::cerr << "nivolo-host: unknown argument '" << arg << "'\n" << kUsage;
            return 2;
        }
    }
    if (command == "info") return NivoloHost::runInfo(modulePath, std::cout, std::cerr);
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    std::cerr << "nivolo-host: unknown command '" << command << "'\n" << kUsage;
    return 2;
}
