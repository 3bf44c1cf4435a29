// The built module as a host sees it: its dynamic symbol table and its entry points.

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string runCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
    pclose(pipe);
    return output;
}

TEST(ModuleExports, DynamicSymbolTableHoldsExactlyTheThreeEntryPoints) {
    std::string table = runCommand(std::string("nm -D --defined-only ") + NIVOLO_MODULE_PATH);
    ASSERT_FALSE(table.empty()) << "nm printed nothing for " << NIVOLO_MODULE_PATH;
    std::set<std::string> names;
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        if (name.empty()) { // undefined-address form: "type name"
            name = type;
        }
        // The linker's own version-node symbol is not a function of ours.
        if (type == "A") continue;
        names.insert(name.substr(0, name.find('@')));
    }
    EXPECT_EQ(names, (std::set<std::string>{"InitDll", "ExitDll", "GetPluginFactory"})) << table;
}

} // namespace
