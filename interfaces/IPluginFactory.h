#pragma once
// The class factory a module hands out from GetPluginFactory. The three
// versions share one table of operations; each adds slots after the previous.

#include "FUnknown.h"
#include "PluginFactoryRecords.h"

namespace Zel {

class IPluginFactory : public FUnknown {
public:
    static constexpr const TUID& iid = IPluginFactory_iid;

    // [ui thread] Copies the vendor record; a null info writes nothing (kResultOk).
    virtual tresult readFactoryInfo(FactoryInfo* info) = 0;
    // [ui thread]
    virtual int32_t classCount() = 0;
    // [ui thread] kInvalidArgument for a null info or an index outside [0, count).
    virtual tresult readClassInfo(int32_t index, ClassInfo* info) = 0;
    // [ui thread] On success *obj holds the new object's iid interface with one
    // reference, owned by the caller. The object holds no reference to the factory.
    virtual tresult createInstance(const TUID& classId, const TUID& iid, void** obj) = 0;

protected:
    ~IPluginFactory() = default;
};

class IPluginFactory2 : public IPluginFactory {
public:
    static constexpr const TUID& iid = IPluginFactory2_iid;

    // [ui thread] As readClassInfo, with the 440-byte record.
    virtual tresult readClassInfo2(int32_t index, ClassInfo2* info) = 0;

protected:
    ~IPluginFactory2() = default;
};

class IPluginFactory3 : public IPluginFactory2 {
public:
    static constexpr const TUID& iid = IPluginFactory3_iid;

    // [ui thread] The UTF-16 form of the class information.
    virtual tresult readClassInfoWide(int32_t index, ClassInfoWide* info) = 0;
    // [ui thread] The factory keeps no reference to the context.
    virtual tresult acceptHostContext(FUnknown* context) = 0;

protected:
    ~IPluginFactory3() = default;
};

} // namespace Zel
