// The host's module loader, and nivolo-host info on top of it, against the
// built module and against paths that are not one.

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <sstream>

#include "host/InfoCommand.h"
#include "host/PluginModule.h"

namespace {

using namespace Zel;
using NivoloHost::PluginModule;

const std::string kModule = NIVOLO_MODULE_PATH;

// A missing file, a real library that is no plug-in module, a text file.
#if defined(_WIN32)
const std::string kNoModules[] = {"C:\\nonexistent\\dir\\nivolo.dll", "version.dll", __FILE__};
bool stillMapped(const std::string& path) { return GetModuleHandleA(path.c_str()) != nullptr; }
#else
const std::string kNoModules[] = {"/nonexistent/dir/nivolo.so", "libm.so.6", __FILE__};
// Asked without loading it.
bool stillMapped(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}
#endif

uint32_t references(FUnknown* object) {
    object->AddRef();
    return object->Release();
}

void expectNothingLoaded(const PluginModule& module) {
    EXPECT_FALSE(module.isLoaded());
    EXPECT_EQ(module.factory(), nullptr);
    EXPECT_TRUE(module.path().empty());
    EXPECT_EQ(module.callGetPluginFactory(), nullptr);
}

// The loader holds exactly the factory reference it was given; unloading, a
// second load on a loaded module and destruction leave no trace.
TEST(PluginModule, TheBuiltModuleGivesOneFactoryAndUnloadsWithoutATrace) {
    {
        PluginModule module;
        module.unload();
        expectNothingLoaded(module);
        std::string error;
        for (int load = 0; load < 2; ++load) {
            ASSERT_TRUE(module.load(kModule, error)) << error;
            EXPECT_EQ(module.path(), kModule);
            ASSERT_NE(module.factory(), nullptr);
            EXPECT_EQ(references(module.factory()), 1u) << "load " << load;
            EXPECT_EQ(module.factory()->classCount(), 2);
        }
        IPluginFactory* again = module.callGetPluginFactory();
        EXPECT_EQ(again, module.factory()) << "the entry point called again gives the same factory";
        EXPECT_EQ(again->Release(), 1u);
        EXPECT_TRUE(stillMapped(kModule));
        module.unload();
        expectNothingLoaded(module);
        EXPECT_FALSE(stillMapped(kModule)) << "mapped after unload";
        module.unload();
        ASSERT_TRUE(module.load(kModule, error)) << error;
    }
    EXPECT_FALSE(stillMapped(kModule)) << "destruction unloads";
}

TEST(PluginModule, WhatIsNoModuleFailsWithOneLineAndLeavesNothingLoaded) {
    for (const std::string& path : kNoModules) {
        SCOPED_TRACE(path);
        PluginModule module;
        std::string error;
        ASSERT_TRUE(module.load(kModule, error)) << error;
        EXPECT_FALSE(module.load(path, error)) << "a failed load also gives up the last one";
        EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << error;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        expectNothingLoaded(module);

        std::ostringstream out, err;
        EXPECT_EQ(NivoloHost::runInfo(path, out, err), 1);
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(err.str().find('\n'), err.str().size() - 1) << err.str();
    }
    EXPECT_FALSE(stillMapped(kModule));
}

TEST(InfoCommand, PrintsBothClassesOfTheModule) {
    std::ostringstream out, err;
    ASSERT_EQ(NivoloHost::runInfo(kModule, out, err), 0) << err.str();
    for (const char* expected :
         {"\"Halvernik\"", "flags:   24", "Classes: 2", "[0] {42613CDE-3556-4653-B0D4-0AD6BDC2AA79}",
          "\"Audio Module Class\"", "\"Nivolo\"", "\"Fx|Analyzer\"", "[1] {6D826A83-82B4-4A8D-B374-804FBE779C68}",
          "\"Component Controller Class\"", "\"Nivolo Controller\"", "\"1.0.0.181\"", "\"ZEL 3.5.2\"",
          "cardinality:    2147483647"})
        EXPECT_NE(out.str().find(expected), std::string::npos) << "missing " << expected << " in\n" << out.str();
}

} // namespace
