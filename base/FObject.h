#pragma once
// The reference-counted base of every object that crosses the module boundary
// or is observed by others: identity, class-name type tests and change
// notification through the active update handler.

#include <cstring>

#include "interfaces/IDependent.h"
#include "interfaces/RefCount.h"

namespace Zel {

class FObject : public IDependent {
public:
    // FObject's own class id: generated once per process at load, so it means
    // something only inside this module.
    static const TUID iid;
    static const char* getFClassName() { return "FObject"; }

    FObject() = default;
    FObject(const FObject&) = delete;
    FObject& operator=(const FObject&) = delete;

    // FUnknown: answers FUnknown, IDependent and FObject.
    tresult QueryInterface(const TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // IDependent: does nothing in the base.
    void update(FUnknown* changedObject, int32_t message) override;

    virtual ~FObject() = default;

    virtual bool isClass(const char* name) const { return isTypeOf(name, false); }
    virtual const char* className() const { return getFClassName(); }
    virtual bool isTypeOf(const char* name, bool askBase = true) const;

    // [ui thread] Notifies the dependents now, then changeDone.
    virtual void changed(int32_t message);
    // [any thread] Queues the change for the UI side to deliver.
    virtual void deferChange(int32_t message);
    // Called after the dependents were told; nothing in the base.
    virtual void changeDone(int32_t message);

    FUnknown* unknownCast() { return static_cast<IDependent*>(this); }
    int32_t refCount() const { return refCount_.value(); }

private:
    RefCount refCount_;
};


// Declares the class-name type tests of an FObject subclass; the _AS form
// gives a name other than the C++ one (e.g. "Zel::Bus").
#define ZEL_FOBJECT_CLASS_AS(Self, Base, Name)                                            \
    static const char* getFClassName() { return Name; }                                   \
    const char* className() const override { return Name; }                               \
    bool isTypeOf(const char* name, bool askBase = true) const override {                 \
        return (name && std::strcmp(name, Name) == 0) || (askBase && Base::isTypeOf(name, true)); \
    }
#define ZEL_FOBJECT_CLASS(Self, Base) ZEL_FOBJECT_CLASS_AS(Self, Base, #Self)

// For an FObject subclass that adds interfaces: each interface's FUnknown slots
// reach the one count of the object.
#define ZEL_DELEGATE_REFCOUNT(Base)                             \
    uint32_t AddRef() override { return Base::AddRef(); }       \
    uint32_t Release() override { return Base::Release(); }

// The object behind obj when it is an FObject of class T (or derived from it).
template <class T>
T* FCast(FObject* obj) {
    return obj && obj->isTypeOf(T::getFClassName(), true) ? static_cast<T*>(obj) : nullptr;
}

} // namespace Zel
