#pragma once
// The module's one factory: the generic factory with the processor and
// controller classes registered.

#include "module/CPluginFactory.h"

namespace Zel {

class NivoloFactory : public CPluginFactory {
public:
    // [ui thread] What GetPluginFactory returns: the existing factory with one more
    // reference, or a new one with both classes registered. Null only when it
    // could not be allocated. Not guarded against concurrent first calls.
    static IPluginFactory* getFactory();
    // The process-wide factory, null when none lives.
    static NivoloFactory* instance();

    ~NivoloFactory() override;

private:
    explicit NivoloFactory(const FactoryInfo& info);
};

} // namespace Zel
