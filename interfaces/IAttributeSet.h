#pragma once
// Typed attributes of a message, by 8-bit key. Getters return kResultOk when
// the key holds a value of that type.

#include "FUnknown.h"

namespace Zel {

class IAttributeSet : public FUnknown {
public:
    static constexpr const TUID& iid = IAttributeSet_iid;

    virtual tresult setInt(const char* key, int64_t value) = 0;
    virtual tresult getInt(const char* key, int64_t& value) = 0;
    virtual tresult setFloat(const char* key, double value) = 0;
    virtual tresult getFloat(const char* key, double& value) = 0;
    // string: zero-terminated UTF-16.
    virtual tresult setString(const char* key, const char16_t* string) = 0;
    // Copies at most sizeInBytes bytes, always zero-terminated; kResultFalse
    // when the key holds no string or the buffer has no room at all.
    virtual tresult getString(const char* key, char16_t* buffer, uint32_t sizeInBytes) = 0;
    virtual tresult setBinary(const char* key, const void* data, uint32_t sizeInBytes) = 0;
    // data stays owned by the attribute set, valid until the key changes.
    virtual tresult getBinary(const char* key, const void*& data, uint32_t& sizeInBytes) = 0;

protected:
    ~IAttributeSet() = default;
};

} // namespace Zel
