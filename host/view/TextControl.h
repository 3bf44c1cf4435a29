#pragma once
// A control holding a text. The text may be set from any thread (the audio
// thread sets the elapsed time), so it lives in a fixed buffer under a lock:
// setting it never allocates.

#include <mutex>

#include "host/view/ControlBase.h"

namespace NivoloHost {

class TextControl : public ControlBase {
public:
    // Longest text kept, in UTF-16 units; longer texts are cut.
    static constexpr int32_t kMaxUnits = 255;

    TextControl() : ControlBase(kText, 0.0, 1.0) {}

    // UTF-8 into buffer; size: in, the buffer's size; out, the bytes written.
    Zel::tresult getText(char* buffer, int32_t* size) override;
    // [any thread] A null text empties the control; flags are not used.
    Zel::tresult setText(const char16_t* text, int32_t flags) override;

    std::string text();

protected:
    std::string ownText() override { return text(); }

private:
    std::mutex lock_;
    char16_t text_[kMaxUnits + 1] = {};
    int32_t length_ = 0;
};

} // namespace NivoloHost
