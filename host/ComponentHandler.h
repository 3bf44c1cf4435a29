#pragma once
// The host's side of the controller's edits: every performed edit becomes an
// input parameter change of a later processing block.

#include <functional>
#include <vector>

#include "interfaces/IComponentHandler.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class ComponentHandler : public Zel::IComponentHandler {
public:
    struct Edit {
        int32_t id;
        double value;
    };
    using Sink = std::function<void(int32_t id, double normalized)>;

    explicit ComponentHandler(Sink sink) : sink_(std::move(sink)) {}
    virtual ~ComponentHandler() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    Zel::tresult beginEdit(int32_t id) override;
    Zel::tresult performEdit(int32_t id, double normalizedValue) override;
    Zel::tresult endEdit(int32_t id) override;
    Zel::tresult restartComponent(int32_t flags) override;

    // Every edit performed so far, in order (tests look at them).
    const std::vector<Edit>& edits() const { return edits_; }
    int openGestures() const { return openGestures_; }

private:
    Zel::RefCount refCount_;
    Sink sink_;
    std::vector<Edit> edits_;
    int openGestures_ = 0;
};

} // namespace NivoloHost
