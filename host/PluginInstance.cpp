#include "host/PluginInstance.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/MemoryStream.h"
#include "interfaces/TextUtf16.h"

namespace NivoloHost {

using namespace Zel;

bool PluginInstance::findClass(IPluginFactory* factory, const char* category, TUID& cid) {
    for (int32_t i = 0; factory && i < factory->classCount(); ++i) {
        ClassInfo info{};
        if (factory->readClassInfo(i, &info) != kResultOk) continue;
        if (std::strncmp(info.category, category, sizeof info.category) == 0) {
            cid = info.cid;
            return true;
        }
    }
    return false;
}

bool PluginInstance::open(IPluginFactory* factory, const ProcessingSession::Options& options, std::string& error) {
    close();
    TUID processorClass{}, controllerClass{};
    if (!findClass(factory, "Audio Module Class", processorClass)) {
        error = "the module offers no audio processor";
        return false;
    }
    if (!findClass(factory, "Component Controller Class", controllerClass)) {
        error = "the module offers no edit controller";
        return false;
    }

    framework_ = IPtr<ViewFramework>::adopt(new ViewFramework);
    host_ = IPtr<HostContext>::adopt(new HostContext);
    host_->setViewFramework(framework_.get());

    void* raw = nullptr;
    if (factory->createInstance(controllerClass, IEditController_iid, &raw) != kResultOk || !raw) {
        error = "the module could not create its edit controller";
        close();
        return false;
    }
    controller_ = IPtr<IEditController>::adopt(static_cast<IEditController*>(raw));
    if (controller_->initialize(static_cast<IHostApp*>(host_.get())) != kResultOk) {
        error = "the edit controller refused to initialise";
        controller_.reset();
        close();
        return false;
    }
    plugController_ = queryInterface<IPlugController>(controller_.get());
    controllerConnection_ = queryInterface<IConnectionPoint>(controller_.get());

    ProcessingSession::Options setup = options;
    setup.host = host_.get();
    if (!setup.peer) setup.peer = controllerConnection_.get();
    IEditController* controller = controller_.get();
    if (!setup.outputSink)
        setup.outputSink = [controller](ParamID id, double value) {
            controller->setNormalizedValue(static_cast<int32_t>(id), value);
        };
    if (!session_.open(factory, processorClass, setup, error)) {
        close();
        return false;
    }
    if (options.peer && controllerConnection_) {
        processorConnection_ = queryInterface<IConnectionPoint>(session_.component());
        if (processorConnection_) controllerConnection_->connect(processorConnection_.get());
    }

    // The controller starts from the processor's state, then reports edits to us.
    auto state = IPtr<MemoryStream>::adopt(new MemoryStream);
    if (session_.component()->getState(state.get()) == kResultOk) {
        state->seek(0, IByteStream::kSeekSet, nullptr);
        controller_->applyProcessorState(state.get());
    }
    handler_ = IPtr<ComponentHandler>::adopt(
        new ComponentHandler([this](int32_t id, double value) { session_.changeParameter(static_cast<ParamID>(id), value); }));
    controller_->setEditHandler(handler_.get());

    idleStep_ = std::max<int64_t>(1, std::llround(kIdleStepSeconds * options.sampleRate));
    nextIdleSample_ = idleStep_;
    framework_->clock().setAudioClockSeconds(0.0, options.sampleRate);
    live_ = false;
    return true;
}

void PluginInstance::close() {
    if (editor_) {
        editor_->removed();
        editor_.reset();
    }
    if (processorConnection_) {
        controllerConnection_->disconnect(processorConnection_.get());
        processorConnection_.reset();
    }
    session_.close(); // processor first: its messages go to a live controller
    if (controller_) {
        controller_->setEditHandler(nullptr);
        controller_->terminate();
    }
    controllerConnection_.reset();
    plugController_.reset();
    controller_.reset();
    handler_.reset();
    if (host_) host_->setViewFramework(nullptr);
    host_.reset();
    framework_.reset();
}

void PluginInstance::setLive(bool live) {
    live_ = live;
    if (!framework_) return;
    if (live) framework_->clock().useWallClock();
    else framework_->clock().setAudioClockSeconds(static_cast<double>(session_.samplesProcessed()) /
                                                  session_.options().sampleRate,
                                                  session_.options().sampleRate);
}

tresult PluginInstance::processBlock(float* const* in, float* const* out, int32_t numSamples) {
    const tresult result = session_.processBlock(in, out, numSamples);
    if (!live_ && framework_) {
        const int64_t position = session_.samplesProcessed();
        const double rate = session_.options().sampleRate;
        while (position >= nextIdleSample_) {
            framework_->clock().setAudioClockSeconds(static_cast<double>(nextIdleSample_) / rate, rate);
            framework_->tick();
            nextIdleSample_ += idleStep_;
        }
        framework_->clock().setAudioClockSeconds(static_cast<double>(position) / rate, rate);
    }
    return result;
}

EditorView* PluginInstance::editor() {
    if (editor_ || !controller_) return editor_.get();
    IPlugView* view = controller_->createView("editor");
    if (!view) return nullptr;
    auto plugView = IPtr<IPlugView>::adopt(view);
    editor_ = queryInterface<EditorView>(plugView.get());
    if (editor_) editor_->attached(nullptr, EditorView::kPlatformType);
    return editor_.get();
}

bool PluginInstance::setControl(const char* name, double normalized) {
    if (!plugController_) return false;
    IControl* control = nullptr;
    if (plugController_->findControl(name, &control) != kResultOk || !control) return false;
    control->setNormalized(static_cast<float>(normalized), 1);
    control->Release();
    return true;
}

std::string PluginInstance::valueText(int32_t id) {
    if (!controller_) return {};
    String128 text{};
    if (controller_->valueToText(id, controller_->normalizedValueOf(id), text) != kResultOk) return {};
    char utf8[512];
    utf16ToUtf8(text, 128, utf8, sizeof utf8);
    return utf8;
}

double PluginInstance::normalizedValue(int32_t id) { return controller_ ? controller_->normalizedValueOf(id) : 0.0; }

std::string PluginInstance::controlText(const char* name) {
    if (!plugController_) return {};
    IControl* control = nullptr;
    if (plugController_->findControl(name, &control) != kResultOk || !control) return {};
    char buffer[256] = {};
    int32_t size = sizeof buffer;
    const bool ok = control->getText(buffer, &size) == kResultOk;
    control->Release();
    return ok ? std::string(buffer) : std::string();
}

} // namespace NivoloHost
