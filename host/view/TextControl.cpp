#include "host/view/TextControl.h"

#include "host/AudioThreadGuard.h"
#include "interfaces/TextUtf16.h"

namespace NivoloHost {

using namespace Zel;

tresult TextControl::setText(const char16_t* text, int32_t) {
    const auto n = static_cast<int32_t>(utf16Length(text, kMaxUnits));
    // The controller sets the elapsed time from the audio thread; the lock is only
    // ever held for a copy of 256 units.
    AudioThreadGuard::Exempt exempt;
    std::lock_guard<std::mutex> guard(lock_);
    for (int32_t i = 0; i < n; ++i) text_[i] = text[i];
    text_[n] = 0;
    length_ = n;
    return kResultOk;
}

tresult TextControl::getText(char* buffer, int32_t* size) {
    if (!buffer || !size || *size < 1) return kInvalidArgument;
    std::lock_guard<std::mutex> guard(lock_);
    *size = static_cast<int32_t>(utf16ToUtf8(text_, static_cast<size_t>(length_), buffer, static_cast<size_t>(*size)));
    return kResultOk;
}

std::string TextControl::text() {
    char buffer[kMaxUnits * 3 + 1];
    int32_t size = sizeof buffer;
    getText(buffer, &size);
    return std::string(buffer, static_cast<size_t>(size));
}

} // namespace NivoloHost
