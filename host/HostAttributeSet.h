#pragma once
// The host's attribute set: typed values under 8-bit keys, owned by a message.

#include <map>
#include <string>
#include <variant>
#include <vector>

#include "interfaces/IAttributeSet.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class HostAttributeSet : public Zel::IAttributeSet {
public:
    HostAttributeSet() = default;
    virtual ~HostAttributeSet() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    Zel::tresult setInt(const char* key, int64_t value) override;
    Zel::tresult getInt(const char* key, int64_t& value) override;
    Zel::tresult setFloat(const char* key, double value) override;
    Zel::tresult getFloat(const char* key, double& value) override;
    Zel::tresult setString(const char* key, const char16_t* string) override;
    Zel::tresult getString(const char* key, char16_t* buffer, uint32_t sizeInBytes) override;
    Zel::tresult setBinary(const char* key, const void* data, uint32_t sizeInBytes) override;
    Zel::tresult getBinary(const char* key, const void*& data, uint32_t& sizeInBytes) override;

private:
    using Value = std::variant<int64_t, double, std::u16string, std::vector<uint8_t>>;
    template <class T>
    const T* find(const char* key) const;

    Zel::RefCount refCount_;
    std::map<std::string, Value> values_;
};

} // namespace NivoloHost
