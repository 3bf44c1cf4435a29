#pragma once
// Shared by the suites of the editor side: the module's skin file, pixels of
// renders, states written with the product's codec, and the meter's controller
// initialised in our host's view framework, as the host runs it.

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "controller/ParameterIds.h"
#include "controller/SmallVazEzaruController.h"
#include "editor/LinearVuMeterPhData.h"
#include "dsp/SavedState.h"
#include "host/ComponentHandler.h"
#include "host/HostContext.h"
#include "host/MemoryStream.h"
#include "host/StandInPeer.h"
#include "host/view/EditorView.h"
#include "host/view/ViewFramework.h"
#include "interfaces/IAttributeSet.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/TextUtf16.h"
#include "tools/hrf/HrfFile.h"

namespace HostViewTest {

using namespace Zel;
using NivoloHost::Bitmap;

// The packed skin the build links into the module, beside it.
inline std::vector<uint8_t> skinFile() {
    std::string path = NIVOLO_MODULE_PATH, error;
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(Hrf::loadFile(path.substr(0, path.rfind('/')) + "/nivolo.hrf", bytes, error)) << error;
    return bytes;
}

inline std::vector<uint8_t> skinEntry(const std::string& name) {
    std::vector<uint8_t> file = skinFile(), out;
    Hrf::Directory directory;
    std::string error;
    if (Hrf::readDirectory(file.data(), file.size(), directory, error))
        if (const Hrf::Entry* entry = Hrf::findEntry(directory, name))
            Hrf::unpackEntry(file.data(), file.size(), *entry, out, error);
    return out;
}

inline IPtr<Bitmap> bitmapOf(NivoloHost::SkinService& skins, const char* name) {
    FUnknown* out = nullptr;
    if (skins.getBitmap(name, &out) != kResultOk) return {};
    auto held = IPtr<FUnknown>::adopt(out);
    return queryInterface<Bitmap>(out);
}

// A BMP file as writers lay it out: headers, then rows from the bottom, B, G, R
// per pixel, padded to four bytes (with bytes that must not show).
inline std::vector<uint8_t> bmpFile(int width, int height, uint32_t (*colour)(int x, int y)) {
    const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> b(54 + stride * size_t(height), 0xEE);
    const uint32_t fields[][2] = {{2, uint32_t(b.size())}, {6, 0}, {10, 54}, {14, 40}, {18, uint32_t(width)},
                                  {22, uint32_t(height)}, {26, 1 | 24 << 16}, {30, 0}, {34, 0}, {38, 0}, {42, 0},
                                  {46, 0}, {50, 0}};
    for (const auto& [at, v] : fields) std::memcpy(&b[at], &v, 4);
    b[0] = 'B', b[1] = 'M';
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t c = colour(x, y);
            std::memcpy(&b[54 + stride * size_t(height - 1 - y) + size_t(x) * 3], &c, 3);
        }
    return b;
}

// ---- pixels ------------------------------------------------------------------------

inline uint32_t pixelAt(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    uint32_t value;
    std::memcpy(&value, cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface) + x * 4, 4);
    return value;
}

inline int channelOf(uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); }

// Premultiplied "source over destination", per channel.
inline uint32_t over(uint32_t source, uint32_t destination) {
    const int inverse = 255 - channelOf(source, 24);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int value = channelOf(source, shift) + (channelOf(destination, shift) * inverse + 127) / 255;
        out |= static_cast<uint32_t>(std::min(value, 255)) << shift;
    }
    return out;
}

// Channels differ by at most the compositor's rounding.
inline bool near(uint32_t a, uint32_t b, int tolerance = 1) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(channelOf(a, shift) - channelOf(b, shift)) > tolerance) return false;
    return true;
}

// The first row of column x, from top to bottom of r, where two renders differ (r.bottom: none).
inline int firstDifferentRow(cairo_surface_t* a, cairo_surface_t* b, int x, const ViewRect& r) {
    for (int y = r.top; y < r.bottom; ++y)
        if (pixelAt(a, x, y) != pixelAt(b, x, y)) return y;
    return r.bottom;
}

// ---- the controller's surroundings --------------------------------------------------

// A state as the processor writes it (the byte count given, or 144 per record).
inline IPtr<NivoloHost::MemoryStream> stateStream(const std::vector<std::pair<uint32_t, double>>& entries,
                                                  int32_t byteCount = -1) {
    std::vector<DSP::ValueRecord> records(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) records[i] = {"entry", entries[i].first, entries[i].second};
    auto stream = IPtr<NivoloHost::MemoryStream>::adopt(new NivoloHost::MemoryStream);
    const auto count = static_cast<int32_t>(records.size());
    if (byteCount < 0) {
        DSP::SavedState::write(stream.get(), records.data(), count);
    } else {
        stream->write(&byteCount, 4, nullptr); // little-endian, as every target is
        DSP::SavedState::writeRecords(stream.get(), records.data(), count);
    }
    stream->seek(0, 0, nullptr);
    return stream;
}

// The meter's controller initialised as our host does it, with the packed skin
// registered (a module in this process has no resource of its own) and the
// framework's clock on audio time.
class MeterRig {
public:
    explicit MeterRig(bool withFramework = true) {
        if (withFramework) {
            const std::vector<uint8_t> file = skinFile();
            framework->skins().registerSkinData(this, file.data(), file.size());
            framework->clock().setAudioClockSeconds(10.0, 48000.0);
            context->setViewFramework(framework.get());
        }
        controller->initialize(static_cast<IHostApp*>(context.get()));
        controller->setEditHandler(handler.get());
        controller->connect(peer.get());
    }
    ~MeterRig() {
        editorView.reset();
        controller->terminate();
    }
    MeterRig(const MeterRig&) = delete;
    MeterRig& operator=(const MeterRig&) = delete;

    double normalized(uint32_t id, double plain) { return controller->plainToNormalizedValue(int32_t(id), plain); }
    // A reading as it arrives from the processor.
    void reading(uint32_t id, double plain) { controller->setNormalizedValue(int32_t(id), normalized(id, plain)); }
    std::string text(uint32_t id, double normalizedValue) {
        String128 wide;
        controller->valueToText(int32_t(id), normalizedValue, wide);
        char out[256];
        utf16ToUtf8(wide, 128, out, sizeof out);
        return out;
    }
    IControl* control(const char* name) {
        IControl* found = nullptr;
        if (controller->findControl(name, &found) != kResultOk) return nullptr;
        found->Release(); // the controller keeps its own
        return found;
    }
    NivoloHost::EditorView& editor() {
        if (!editorView) {
            auto view = IPtr<IPlugView>::adopt(controller->createView("editor"));
            editorView = queryInterface<NivoloHost::EditorView>(view.get());
        }
        return *editorView;
    }

    IPtr<NivoloHost::ViewFramework> framework = IPtr<NivoloHost::ViewFramework>::adopt(new NivoloHost::ViewFramework);
    IPtr<NivoloHost::HostContext> context = IPtr<NivoloHost::HostContext>::adopt(new NivoloHost::HostContext);
    IPtr<NivoloHost::ComponentHandler> handler =
        IPtr<NivoloHost::ComponentHandler>::adopt(new NivoloHost::ComponentHandler(nullptr));
    // The processor's end of the controller's connection: it counts what it is sent.
    IPtr<NivoloHost::StandInPeer> peer = IPtr<NivoloHost::StandInPeer>::adopt(new NivoloHost::StandInPeer(nullptr));
    IPtr<SmallVazEzaruController> controller = IPtr<SmallVazEzaruController>::adopt(new SmallVazEzaruController);
    IPtr<NivoloHost::EditorView> editorView;
};

} // namespace HostViewTest
