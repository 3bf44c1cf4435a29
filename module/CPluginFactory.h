#pragma once
// A generic, table-driven class factory: describes its registered classes and
// creates their instances.

#include <vector>

#include "interfaces/IPluginFactory.h"
#include "interfaces/RefCount.h"

namespace Zel {

class CPluginFactory : public IPluginFactory3 {
public:
    // Takes a context pointer, returns a new object's root interface with one
    // reference, or null.
    using CreateFunction = FUnknown* (*)(void* context);
    static constexpr size_t kRegistryGrowth = 10;

    explicit CPluginFactory(const FactoryInfo& info);
    virtual ~CPluginFactory();
    CPluginFactory(const CPluginFactory&) = delete;
    CPluginFactory& operator=(const CPluginFactory&) = delete;

    // False (nothing registered) for a null record or function, or when the
    // registry cannot grow.
    bool registerClass(const ClassInfo2* info, CreateFunction create, void* context = nullptr);

    // FUnknown
    tresult QueryInterface(const TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // IPluginFactory
    tresult readFactoryInfo(FactoryInfo* info) override;
    int32_t classCount() override;
    tresult readClassInfo(int32_t index, ClassInfo* info) override;
    tresult createInstance(const TUID& classId, const TUID& iid, void** obj) override;
    // IPluginFactory2
    tresult readClassInfo2(int32_t index, ClassInfo2* info) override;
    // IPluginFactory3
    tresult readClassInfoWide(int32_t index, ClassInfoWide* info) override;
    tresult acceptHostContext(FUnknown* context) override;

    int32_t refCount() const { return refCount_.value(); }

private:
    struct ClassEntry {
        ClassInfo2 info2;
        ClassInfoWide infoWide;
        bool wideOnly;
        CreateFunction create;
        void* context;
    };

    bool validIndex(int32_t index) const;

    RefCount refCount_;
    FactoryInfo factoryInfo_;
    std::vector<ClassEntry> classRegistry_;
};

} // namespace Zel
