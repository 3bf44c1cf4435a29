#pragma once
// One plug-in slot as a host runs it: the processor and the edit controller
// from the module's factory, both initialised with a host context that carries
// our view framework, their message channels connected, the processor's state
// handed to the controller, the host as the controller's component handler
// (user edits reach the processor as input changes of a later block), output
// values delivered to the controller, idle ticks, and the editor.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "host/ComponentHandler.h"
#include "host/HostContext.h"
#include "host/ProcessingSession.h"
#include "host/view/EditorView.h"
#include "host/view/ViewFramework.h"
#include "interfaces/IEditController.h"
#include "interfaces/IPlugController.h"
#include "interfaces/IPluginFactory.h"
#include "interfaces/IPtr.h"

namespace NivoloHost {

class PluginInstance {
public:
    static constexpr double kIdleStepSeconds = 0.1; // one idle tick per 100 ms

    PluginInstance() = default;
    ~PluginInstance() { close(); }
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    // [ui thread] Everything up to an active processor with its controller.
    // options.host is this class's own. Without options.peer and .outputSink the
    // processor's messages and output values reach the controller at once, on
    // the thread that processes; a host playing live passes both to carry them
    // over to its UI thread itself, and the controller then sends to the
    // processor directly. False with a one-line reason.
    bool open(Zel::IPluginFactory* factory, const ProcessingSession::Options& options, std::string& error);
    // Editor, processor, controller, in the order a host tears them down. Safe to repeat.
    void close();

    // [audio thread] One block; then the framework's clock follows the audio
    // and, when faster than real time, an idle tick falls every 100 ms of audio.
    Zel::tresult processBlock(float* const* in, float* const* out, int32_t numSamples);
    // A block without audio: delivers pending edits and answers a data request.
    Zel::tresult processNothing() { return session_.processNothing(); }
    // [ui thread] One idle tick: the controller polls, views learn of changes.
    void idle() { framework_->tick(); }
    // Runs on the wall clock: the caller ticks (live playback).
    void setLive(bool live);

    // [ui thread] The editor ("editor" view), opened on first call; null when
    // the controller offers none.
    EditorView* editor();
    // [ui thread] Sets the control bound to name as a user would (with
    // notification): the controller reports the edit to the host.
    bool setControl(const char* name, double normalized);

    // What the editor shows: the controller's text for a parameter's current value.
    std::string valueText(int32_t id);
    double normalizedValue(int32_t id);
    // The text of a text control (e.g. "time"); empty when there is none.
    std::string controlText(const char* name);

    ProcessingSession& session() { return session_; }
    ComponentHandler& handler() { return *handler_; }
    ViewFramework& framework() { return *framework_; }
    Zel::IEditController* controller() const { return controller_.get(); }
    Zel::IPlugController* plugController() const { return plugController_.get(); }

private:
    static bool findClass(Zel::IPluginFactory* factory, const char* category, Zel::TUID& cid);

    Zel::IPtr<ViewFramework> framework_;
    Zel::IPtr<HostContext> host_;
    Zel::IPtr<ComponentHandler> handler_;
    Zel::IPtr<Zel::IEditController> controller_;
    Zel::IPtr<Zel::IPlugController> plugController_;
    Zel::IPtr<Zel::IConnectionPoint> controllerConnection_;
    Zel::IPtr<Zel::IConnectionPoint> processorConnection_; // the controller's peer when the host relays
    Zel::IPtr<EditorView> editor_;
    ProcessingSession session_;
    bool live_ = false;
    int64_t nextIdleSample_ = 0;
    int64_t idleStep_ = 0;
};

} // namespace NivoloHost
