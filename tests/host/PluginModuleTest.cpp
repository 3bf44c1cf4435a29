// The host's module loader against the built module and against paths that are
// not one.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>

#include "host/PluginModule.h"

namespace {

using NivoloHost::PluginModule;
using namespace Zel;

const std::string kModule = NIVOLO_MODULE_PATH;

// Whether the dynamic loader still holds the library; checked without loading it.
bool stillMapped(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return false;
    dlclose(handle);
    return true;
}

// The factory's reference count as seen through its own AddRef/Release.
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

TEST(PluginModuleLoad, BuiltModuleGivesAFactoryWithItsTwoClasses) {
    PluginModule module;
    std::string error;
    ASSERT_TRUE(module.load(kModule, error)) << error;
    EXPECT_TRUE(module.isLoaded());
    EXPECT_EQ(module.path(), kModule);
    IPluginFactory* factory = module.factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(references(factory), 1u) << "the loader holds exactly the one reference it was given";

    FactoryInfo info{};
    ASSERT_EQ(factory->readFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "Halvernik");
    EXPECT_EQ(info.flags, 24);
    ASSERT_EQ(factory->classCount(), 2);
    ClassInfo processor{}, controller{};
    ASSERT_EQ(factory->readClassInfo(0, &processor), kResultOk);
    ASSERT_EQ(factory->readClassInfo(1, &controller), kResultOk);
    EXPECT_EQ(tuidToRegistry(processor.cid), "{42613CDE-3556-4653-B0D4-0AD6BDC2AA79}");
    EXPECT_STREQ(processor.category, "Audio Module Class");
    EXPECT_EQ(tuidToRegistry(controller.cid), "{6D826A83-82B4-4A8D-B374-804FBE779C68}");
    EXPECT_STREQ(controller.category, "Component Controller Class");

    // The module's table of operations carries the later factory versions too.
    IPtr<IPluginFactory3> factory3 = queryInterface<IPluginFactory3>(factory);
    ASSERT_TRUE(factory3);
    ClassInfoWide wide{};
    ASSERT_EQ(factory3->readClassInfoWide(0, &wide), kResultOk);
    EXPECT_EQ(std::u16string(wide.name), u"Nivolo");
}

TEST(PluginModuleLoad, EntryPointCalledAgainReturnsTheSameFactory) {
    PluginModule module;
    std::string error;
    ASSERT_TRUE(module.load(kModule, error)) << error;
    IPluginFactory* again = module.callGetPluginFactory();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again, module.factory());
    EXPECT_EQ(references(again), 2u);
    EXPECT_EQ(again->Release(), 1u);
}

TEST(PluginModuleLoad, PathsThatAreNoModuleFailWithOneLineAndLeaveNothingLoaded) {
    // A missing file, a real library that is no plug-in module, a text file.
    for (const std::string& path : {std::string("/nonexistent/dir/nivolo.so"), std::string("libm.so.6"),
                                   std::string(__FILE__)}) {
        SCOPED_TRACE(path);
        PluginModule module;
        std::string error;
        EXPECT_FALSE(module.load(path, error));
        ASSERT_FALSE(error.empty());
        EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << error;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        expectNothingLoaded(module);
    }
}

TEST(PluginModuleLoad, FailedLoadReleasesTheModuleLoadedBefore) {
    PluginModule module;
    std::string error;
    ASSERT_TRUE(module.load(kModule, error)) << error;
    EXPECT_FALSE(module.load("/nonexistent/dir/nivolo.so", error));
    expectNothingLoaded(module);
    EXPECT_FALSE(stillMapped(kModule));
}

TEST(PluginModuleUnload, UnloadIsSafeToRepeatAndReleasesTheLibrary) {
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
    expectNothingLoaded(module);
}

TEST(PluginModuleUnload, DestructionUnloads) {
    {
        PluginModule module;
        std::string error;
        ASSERT_TRUE(module.load(kModule, error)) << error;
    }
    EXPECT_FALSE(stillMapped(kModule));
}

TEST(PluginModuleUnload, LoadingAgainGivesAFreshFactory) {
    PluginModule module;
    std::string error;
    ASSERT_TRUE(module.load(kModule, error)) << error;
    module.unload();
    ASSERT_TRUE(module.load(kModule, error)) << error;
    ASSERT_NE(module.factory(), nullptr);
    // A factory reference leaked by the first load would show up here.
    EXPECT_EQ(references(module.factory()), 1u);
    EXPECT_EQ(module.factory()->classCount(), 2);

    // Loading over a loaded module replaces it rather than stacking on it.
    ASSERT_TRUE(module.load(kModule, error)) << error;
    EXPECT_EQ(references(module.factory()), 1u);
    EXPECT_EQ(module.factory()->classCount(), 2);
    module.unload();
    EXPECT_FALSE(stillMapped(kModule));
}

} // namespace
