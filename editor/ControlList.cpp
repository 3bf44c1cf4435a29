#include "editor/ControlList.h"

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/IControlExtension.h"
#include "interfaces/IControlPrecision.h"
#include "interfaces/IPtr.h"
#include "interfaces/TextUtf16.h"

namespace Zel {

struct ControlList::Entry {
    IControl* control = nullptr; // one reference
    std::string name;
};

ControlList::ControlList(IHostFramework* root) : root_(root) {
    if (root_) root_->AddRef();
}

ControlList::~ControlList() {
    for (int32_t i = count_ - 1; i >= 0; --i) {
        Entry& entry = entries_[i];
        if (IControl* control = std::exchange(entry.control, nullptr)) control->Release();
        entry.name.clear();
    }
    if (root_) root_->Release();
    delete[] entries_;
}

void ControlList::reserve(int32_t count) {
    if (count > capacity_) grow(count);
}

void ControlList::grow(int32_t capacity) {
    auto* larger = new Entry[static_cast<size_t>(capacity)];
    for (int32_t i = 0; i < count_; ++i) larger[i] = std::move(entries_[i]);
    delete[] entries_;
    entries_ = larger;
    capacity_ = capacity;
}

IControl* ControlList::makeControl(Kind kind) const {
    if (!root_) return nullptr;
    const TUID* classId = &ContinuousControl_cid;
    switch (kind) {
    case Kind::Integer: classId = &IntegerControl_cid; break;
    case Kind::Continuous: classId = &ContinuousControl_cid; break;
    case Kind::Switch: classId = &SwitchControl_cid; break;
    case Kind::Text: classId = &TextControl_cid; break;
    }
    void* obj = nullptr;
    if (root_->createInstance(*classId, &obj, nullptr) != kResultOk) return nullptr;
    return static_cast<IControl*>(obj);
}

void ControlList::configure(IControl* control, int32_t tag, const Setup& setup) const {
    const bool on = setup.initialValue >= 0.5;
    float defaultValue = 0.0f;
    switch (setup.kind) {
    case Kind::Integer: {
        const auto initial = static_cast<int32_t>(std::trunc(setup.initialValue));
        control->setIntMin(static_cast<int32_t>(std::trunc(setup.minValue)));
        control->setIntMax(static_cast<int32_t>(std::trunc(setup.maxValue)));
        control->setIntValue(initial, 0);
        defaultValue = static_cast<float>(initial);
        break;
    }
    case Kind::Continuous:
        control->setRealMin(static_cast<float>(setup.minValue));
        control->setRealMax(static_cast<float>(setup.maxValue));
        control->setRealValue(static_cast<float>(setup.initialValue), 0);
        if (setup.precision >= 0)
            if (IPtr<IControlPrecision> precision = queryInterface<IControlPrecision>(control))
                precision->setPrecision(setup.precision);
        defaultValue = static_cast<float>(setup.initialValue);
        break;
    case Kind::Switch:
        control->setIntValue(on ? 1 : 0, 0);
        defaultValue = on ? 1.0f : 0.0f;
        break;
    case Kind::Text: {
        const char* text = setup.initialText ? setup.initialText : "";
        std::vector<char16_t> wide(std::strlen(text) + 1);
        utf8ToUtf16(text, wide.data(), wide.size());
        control->setText(wide.data(), 0);
        break;
    }
    }

    if (IPtr<IControlExtension> extension = queryInterface<IControlExtension>(control)) {
        if (setup.kind != Kind::Text) extension->setDefaultValue(defaultValue);
        extension->setFlag(IControlExtension::kFlagAutomatable, setup.automatable ? 1 : 0);
        if (setup.kind == Kind::Integer || setup.kind == Kind::Continuous)
            extension->setFlag(IControlExtension::kFlagWrapAround, setup.wrapAround ? 1 : 0);
    }

    // Without a listener the tag still has to be known for the ordering and lookups.
    if (listener_)
        control->setListener(listener_, tag);
    else
        control->setTag(tag);
}

IControl* ControlList::createControl(int32_t tag, const char* name, const Setup& setup) {
    IControl* control = makeControl(setup.kind);
    if (!control) return nullptr;
    configure(control, tag, setup);
    insert(control, name);
    return control;
}

void ControlList::insert(IControl* control, const char* name) {
    if (count_ == capacity_) grow(capacity_ + kGrowth);
    // Scanning from the end makes the usual ascending creation order cheap; a
    // new control goes before those with the same tag.
    int32_t position = 0;
    if (count_ > 0) {
        const int32_t tag = control->getTag();
        for (int32_t i = count_ - 1; i >= 0; --i) {
            if (entries_[i].control->getTag() < tag) {
                position = i + 1;
                break;
            }
        }
    }
    for (int32_t i = count_; i > position; --i) entries_[i] = std::move(entries_[i - 1]);
    entries_[position].control = control;
    entries_[position].name = name ? name : "";
    ++count_;
}

IControl* ControlList::findByTag(int32_t tag) const {
    int32_t hi = count_ - 1;
    int32_t lo = 0;
    // Tags are small and dense, so the tag itself is the best first guess.
    int32_t guess = (tag >= 0 && tag <= hi) ? tag : hi / 2;
    while (lo <= hi) {
        IControl* control = entries_[guess].control;
        if (!control) return nullptr;
        const int32_t found = control->getTag();
        if (found == tag) return control;
        if (found > tag)
            hi = guess - 1;
        else
            lo = guess + 1;
        const int64_t next = static_cast<int64_t>(guess) + (static_cast<int64_t>(tag) - found);
        guess = (next >= lo && next <= hi) ? static_cast<int32_t>(next) : (lo + hi) / 2;
    }
    for (int32_t i = 0; i < count_; ++i)
        if (entries_[i].control && entries_[i].control->getTag() == tag) return entries_[i].control;
    return nullptr;
}

IControl* ControlList::findByName(const char* name) const {
    if (!name) return nullptr;
    for (int32_t i = 0; i < count_; ++i)
        if (entries_[i].name == name) return entries_[i].control;
    return nullptr;
}

IControl* ControlList::at(int32_t index) const {
    return index >= 0 && index < count_ ? entries_[index].control : nullptr;
}

const char* ControlList::nameAt(int32_t index) const {
    return index >= 0 && index < count_ ? entries_[index].name.c_str() : nullptr;
}

} // namespace Zel
