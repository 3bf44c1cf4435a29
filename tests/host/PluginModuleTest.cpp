// The host's module loader, and nivolo-host info on top of it, against the
// built module and against paths that are not one.

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <sstream>

#include "HostTestSupport.h"
#include "host/InfoCommand.h"

namespace HostTest {
namespace {

const std::string kModule = NIVOLO_MODULE_PATH;

// A missing file, a real library that is no plug-in module, a text file.
#if defined(_WIN32)
const std::string kSystemLibrary = "version.dll";
const std::string kNoModules[] = {"C:\\nonexistent\\dir\\nivolo.dll", kSystemLibrary, __FILE__};

// Whether the loader still holds the library; checked without loading it.
bool stillMapped(const std::string& path) { return GetModuleHandleA(path.c_str()) != nullptr; }
#else
const std::string kSystemLibrary = "libm.so.6";
const std::string kNoModules[] = {"/nonexistent/dir/nivolo.so", kSystemLibrary, __FILE__};

// Whether the dynamic loader still holds the library; checked without loading it.
bool stillMapped(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}
#endif

void expectNothingLoaded(const PluginModule& module) {
    EXPECT_FALSE(module.isLoaded());
    EXPECT_EQ(module.factory(), nullptr);
    EXPECT_TRUE(module.path().empty());
    EXPECT_EQ(module.callGetPluginFactory(), nullptr);
}

TEST(PluginModule, BuiltModuleGivesOneFactoryWithItsTwoClasses) {
    PluginModule module;
    std::string error;
    ASSERT_TRUE(module.load(kModule, error)) << error;
    EXPECT_EQ(module.path(), kModule);
    IPluginFactory* factory = module.factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(references(factory), 1u) << "the loader holds exactly the one reference it was given";
    IPluginFactory* again = module.callGetPluginFactory();
    EXPECT_EQ(again, factory) << "the entry point called again returns the same factory";
    EXPECT_EQ(again->Release(), 1u);
    ASSERT_EQ(factory->classCount(), 2);
    ClassInfo processor{};
    ASSERT_EQ(factory->readClassInfo(0, &processor), kResultOk);
    EXPECT_EQ(tuidToRegistry(processor.cid), "{42613CDE-3556-4653-B0D4-0AD6BDC2AA79}");
    // The module's table of operations carries the later factory versions too.
    IPtr<IPluginFactory3> factory3 = queryInterface<IPluginFactory3>(factory);
    ASSERT_TRUE(factory3);
    ClassInfoWide wide{};
    ASSERT_EQ(factory3->readClassInfoWide(0, &wide), kResultOk);
    EXPECT_EQ(std::u16string(wide.name), u"Nivolo");
}

TEST(PluginModule, PathsThatAreNoModuleFailWithOneLineAndLeaveNothingLoaded) {
    for (const std::string& path : kNoModules) {
        SCOPED_TRACE(path);
        PluginModule module;
        std::string error;
        if (path == kNoModules[0]) {
            ASSERT_TRUE(module.load(kModule, error)) << "a failed load releases the last one";
        }
        EXPECT_FALSE(module.load(path, error));
        EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << error;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        expectNothingLoaded(module);
    }
    EXPECT_FALSE(stillMapped(kModule));
}

TEST(PluginModule, UnloadingReleasesTheLibraryAndLoadingAgainGivesAFreshFactory) {
    {
        PluginModule module;
        module.unload(); // never loaded
        expectNothingLoaded(module);
        std::string error;
        ASSERT_TRUE(module.load(kModule, error)) << error;
        EXPECT_TRUE(stillMapped(kModule));
        module.unload();
        expectNothingLoaded(module);
        EXPECT_FALSE(stillMapped(kModule)) << "the library is still mapped after unload";
        module.unload();

        // A factory reference leaked by an earlier load, or a load stacked on a
        // loaded module, would show in the count.
        for (int load = 0; load < 2; ++load) {
            ASSERT_TRUE(module.load(kModule, error)) << error;
            EXPECT_EQ(references(module.factory()), 1u);
            EXPECT_EQ(module.factory()->classCount(), 2);
        }
    }
    EXPECT_FALSE(stillMapped(kModule)) << "destruction unloads";
}

struct InfoRun {
    int status;
    std::string out, err;
};

InfoRun info(const std::string& path) {
    std::ostringstream out, err;
    const int status = NivoloHost::runInfo(path, out, err);
    return {status, out.str(), err.str()};
}

TEST(InfoCommand, PrintsBothClassesOfTheModule) {
    InfoRun run = info(kModule);
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* expected :
         {"\"Halvernik\"", "flags:   24", "Classes: 2", "[0] {42613CDE-3556-4653-B0D4-0AD6BDC2AA79}",
          "\"Audio Module Class\"", "\"Nivolo\"", "\"Fx|Analyzer\"", "[1] {6D826A83-82B4-4A8D-B374-804FBE779C68}",
          "\"Component Controller Class\"", "\"Nivolo Controller\"", "\"1.0.0.181\"", "\"ZEL 3.5.2\"",
          "cardinality:    2147483647"})
        EXPECT_NE(run.out.find(expected), std::string::npos) << "missing " << expected << " in\n" << run.out;
}

TEST(InfoCommand, WhatIsNoModuleFailsWithOneErrorLine) {
    for (const std::string& path : kNoModules) {
        InfoRun run = info(path);
        EXPECT_NE(run.status, 0) << path;
        EXPECT_TRUE(run.out.empty()) << path;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
        EXPECT_NE(run.err.find(path == kSystemLibrary ? "not a plug-in module" : path), std::string::npos) << run.err;
    }
}

} // namespace
} // namespace HostTest
