#pragma once
// The host's handle on a plug-in module: loads the library, calls its entry
// points in the order a host must, and unloads it. Only the exported functions
// cross; nothing of the module's internals is known here.

#include <string>

#include "interfaces/IPluginFactory.h"
#include "interfaces/IPtr.h"

namespace NivoloHost {

class PluginModule {
public:
    PluginModule() = default;
    ~PluginModule() { unload(); }
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // dlopen, InitDll, GetPluginFactory. On failure returns false with a one-line
    // reason in error and leaves nothing loaded.
    bool load(const std::string& path, std::string& error);
    // Releases the factory, calls ExitDll, unloads the library. Safe to repeat.
    void unload();

    bool isLoaded() const { return library_ != nullptr; }
    Zel::IPluginFactory* factory() const { return factory_.get(); }
    const std::string& path() const { return path_; }
    // The entry point itself, for hosts that ask for the factory again.
    Zel::IPluginFactory* callGetPluginFactory() const;

private:
    void* library_ = nullptr;
    void* exitDll_ = nullptr;
    void* getPluginFactory_ = nullptr;
    Zel::IPtr<Zel::IPluginFactory> factory_;
    std::string path_;
};

} // namespace NivoloHost
