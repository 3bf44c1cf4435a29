#pragma once
// Owning smart pointer for interface references: holds one reference and
// releases it when replaced, cleared or destroyed.

#include <utility>

#include "FUnknown.h"

namespace Zel {

template <class I>
class IPtr {
public:
    IPtr() = default;
    // Adds a reference of its own.
    IPtr(I* ptr) : ptr_(ptr) { if (ptr_) ptr_->AddRef(); }
    IPtr(const IPtr& other) : IPtr(other.ptr_) {}
    IPtr(IPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ~IPtr() { reset(); }

    IPtr& operator=(const IPtr& other) { IPtr(other).swap(*this); return *this; }
    IPtr& operator=(IPtr&& other) noexcept { IPtr(std::move(other)).swap(*this); return *this; }
    IPtr& operator=(I* ptr) { IPtr(ptr).swap(*this); return *this; }

    // Takes over a reference the caller already owns (a creation or query result).
    static IPtr adopt(I* ptr) { IPtr p; p.ptr_ = ptr; return p; }

    void reset() { if (I* p = std::exchange(ptr_, nullptr)) p->Release(); }
    void swap(IPtr& other) noexcept { std::swap(ptr_, other.ptr_); }
    I* get() const { return ptr_; }
    I* operator->() const { return ptr_; }
    I& operator*() const { return *ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

private:
    I* ptr_ = nullptr;
};

// Asks object for interface I; empty when it does not answer it.
template <class I>
IPtr<I> queryInterface(FUnknown* object) {
    void* out = nullptr;
    if (object && object->QueryInterface(I::iid, &out) == kResultOk && out)
        return IPtr<I>::adopt(static_cast<I*>(out));
    return {};
}

} // namespace Zel
