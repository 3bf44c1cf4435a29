#include "host/view/StringValue.h"

#include <algorithm>

#include "interfaces/InterfaceQuery.h"
#include "interfaces/TextUtf16.h"

namespace NivoloHost {

using namespace Zel;

tresult StringValue::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IStringValue>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult StringValue::getText(char16_t* buffer, int32_t size) {
    if (!buffer || size < 1) return kInvalidArgument;
    size_t n = std::min(text_.size(), static_cast<size_t>(size) - 1);
    std::copy_n(text_.data(), n, buffer);
    buffer[n] = 0;
    return kResultOk;
}

tresult StringValue::setText(const char16_t* text) {
    text_.assign(text ? text : u"", utf16Length(text, kMaxUnits));
    set_ = true;
    return kResultOk;
}

std::string StringValue::utf8() const {
    std::string out(text_.size() * 3 + 1, '\0');
    out.resize(utf16ToUtf8(text_.data(), text_.size(), out.data(), out.size()));
    return out;
}

} // namespace NivoloHost
