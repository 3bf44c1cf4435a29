// The processor's state as the controller receives it from the host: any
// bytes. After applyProcessorState every parameter must still have a value
// text, terminated inside its buffer and a number or one of the controller's
// own words (never "nan" or "inf").

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "controller/ParameterTables.h"
#include "controller/SmallVazEzaruController.h"
#include "host/HostContext.h"
#include "host/MemoryStream.h"
#include "host/view/ViewFramework.h"
#include "interfaces/IPtr.h"
#include "interfaces/TextUtf16.h"

namespace {

using namespace Zel;

constexpr int32_t kParameters = 16; // the twelve shared with the processor and the controller's four

void require(bool condition) {
    if (!condition) __builtin_trap();
}

struct Host {
    IPtr<NivoloHost::ViewFramework> framework = IPtr<NivoloHost::ViewFramework>::adopt(new NivoloHost::ViewFramework);
    IPtr<NivoloHost::HostContext> context = IPtr<NivoloHost::HostContext>::adopt(new NivoloHost::HostContext);
    // Holds the shared framework (and the skin registration) for the whole run, as
    // a first plug-in slot does; each input's controller is a further slot.
    IPtr<SmallVazEzaruController> firstSlot = IPtr<SmallVazEzaruController>::adopt(new SmallVazEzaruController);

    Host() {
        context->setViewFramework(framework.get());
        firstSlot->initialize(static_cast<IHostApp*>(context.get()));
    }
};

Host& host() {
    static Host* shared = new Host; // lives as long as the process
    return *shared;
}

void requireFiniteText(const String128& text) {
    size_t length = 0;
    while (length < 128 && text[length] != 0) ++length;
    require(length < 128);
    std::string folded;
    for (size_t i = 0; i < length; ++i)
        folded += text[i] < 0x80 ? static_cast<char>(std::tolower(static_cast<int>(text[i]))) : '?';
    require(folded.find("nan") == std::string::npos && folded.find("inf") == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Host& h = host();
    auto controller = IPtr<SmallVazEzaruController>::adopt(new SmallVazEzaruController);
    require(controller->initialize(static_cast<IHostApp*>(h.context.get())) == kResultOk);

    auto stream = IPtr<NivoloHost::MemoryStream>::adopt(
        new NivoloHost::MemoryStream(std::vector<uint8_t>(data, data + size)));
    require(controller->applyProcessorState(stream.get()) == kResultOk);

    require(controller->getParameterCount() == kParameters);
    std::vector<uint32_t> ids;
    for (int32_t i = 0; i < Param::kMeterParameterCount; ++i) ids.push_back(Param::meterParameters()[i].id);
    for (int32_t i = 0; i < Param::kControllerOnlyParameterCount; ++i)
        ids.push_back(Param::controllerOnlyParameters()[i].id);
    for (uint32_t id : ids) {
        String128 text;
        for (char16_t& unit : text) unit = u'#';
        const auto tag = static_cast<int32_t>(id);
        require(controller->valueToText(tag, controller->normalizedValueOf(tag), text) == kResultOk);
        requireFiniteText(text);
    }
    controller->terminate();
    return 0;
}
