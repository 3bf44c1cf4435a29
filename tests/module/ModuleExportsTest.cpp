// The built module as a host's loader sees it: its dynamic symbol table holds
// the three entry points and nothing else.

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

TEST(ModuleExports, DynamicSymbolTableHoldsExactlyTheThreeEntryPoints) {
    FILE* table = popen((std::string("nm -D --defined-only ") + NIVOLO_MODULE_PATH).c_str(), "r");
    ASSERT_NE(table, nullptr);
    std::set<std::string> names;
    char address[64], type[8], name[256];
    while (std::fscanf(table, "%63s %7s %255s", address, type, name) == 3) // "A": the linker's version node
        if (std::string(type) != "A") names.insert(std::string(name).substr(0, std::string(name).find('@')));
    pclose(table);
    EXPECT_EQ(names, (std::set<std::string>{"InitDll", "ExitDll", "GetPluginFactory"}));
}

} // namespace
