// The three functions the module exports; nothing else is visible.

#include "interfaces/PluginExports.h"
#include "module/NivoloFactory.h"

ZEL_EXPORT bool InitDll() { return true; }

ZEL_EXPORT bool ExitDll() { return true; }

ZEL_EXPORT Zel::IPluginFactory* GetPluginFactory() { return Zel::NivoloFactory::getFactory(); }
