#pragma once
// The controller's index of the host-created controls that hold its parameter
// values: created per parameter kind, kept in ascending tag order, found by
// tag (narrowing from a guess, tags being small and dense) or by name.

#include <cstdint>

#include "interfaces/IControl.h"
#include "interfaces/IHostFramework.h"

namespace Zel {

class IPlugController;

class ControlList {
public:
    enum class Kind { Integer, Continuous, Switch, Text };

    // What a control starts with. Integer controls take the values truncated
    // toward zero; a switch is on when initialValue >= 0.5; precision < 0 sets
    // none; initialText is used by text controls only (null: empty).
    struct Setup {
        Kind kind = Kind::Continuous;
        double minValue = 0.0;
        double maxValue = 1.0;
        double initialValue = 0.0;
        int32_t precision = -1;
        bool automatable = false;
        bool wrapAround = false;
        const char* initialText = nullptr;
    };

    // [ui thread] root: the framework root; the list keeps its own reference.
    explicit ControlList(IHostFramework* root);
    ~ControlList(); // releases the entries last to first, then the root
    ControlList(const ControlList&) = delete;
    ControlList& operator=(const ControlList&) = delete;

    // Set on every control created afterwards; not referenced (may be null).
    void setListener(IPlugController* listener) { listener_ = listener; }
    IPlugController* listener() const { return listener_; }
    void reserve(int32_t count);

    // Creates the control through the framework, configures it and inserts it
    // by tag. Null when the host made no control (nothing is inserted); the
    // list owns the control.
    IControl* createControl(int32_t tag, const char* name, const Setup& setup);

    // Not referenced for the caller; null when absent.
    IControl* findByTag(int32_t tag) const;
    IControl* findByName(const char* name) const; // case-sensitive
    IControl* at(int32_t index) const;
    const char* nameAt(int32_t index) const;
    int32_t count() const { return count_; }
    int32_t capacity() const { return capacity_; }

private:
    struct Entry;
    // The array grows by this many entries when full.
    static constexpr int32_t kGrowth = 10;

    IControl* makeControl(Kind kind) const;
    void configure(IControl* control, int32_t tag, const Setup& setup) const;
    void insert(IControl* control, const char* name);
    void grow(int32_t capacity);

    IHostFramework* root_ = nullptr;
    IPlugController* listener_ = nullptr;
    Entry* entries_ = nullptr;
    int32_t count_ = 0;
    int32_t capacity_ = 0;
};

} // namespace Zel
