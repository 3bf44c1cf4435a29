#pragma once
// A test suite that loads the built module once, through its exported entry
// only, as a host does; every test of the suite fails with the loader's
// message when the module cannot be loaded.

#include <gtest/gtest.h>

#include <string>

#include "host/PluginModule.h"
#include "interfaces/IPluginFactory.h"

class ModuleSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = new NivoloHost::PluginModule;
        if (!module_->load(NIVOLO_MODULE_PATH, loadError_)) {
            delete module_;
            module_ = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete module_;
        module_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(module_, nullptr) << loadError_; }
    static Zel::IPluginFactory* factory() { return module_->factory(); }

    static inline NivoloHost::PluginModule* module_ = nullptr;
    static inline std::string loadError_;
};
