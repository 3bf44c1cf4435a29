#pragma once
// A plug-in slot run through the module's exported entry only, as our host
// runs it, with programmes built in the test.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host/MemoryStream.h"
#include "host/PluginInstance.h"
#include "host/PluginModule.h"

namespace NivoloHost::Testing {

constexpr double kRate = 48000.0;
constexpr int32_t kBlock = 1024;

class PluginSlot {
public:
    PluginSlot() {
        std::string error;
        if (!module_.load(NIVOLO_MODULE_PATH, error)) ADD_FAILURE() << error;
        ProcessingSession::Options options;
        options.sampleRate = kRate;
        options.channels = 2;
        options.blockSize = kBlock;
        if (!instance_.open(module_.factory(), options, error)) ADD_FAILURE() << error;
        left_.resize(kBlock);
        right_.resize(kBlock);
    }
    ~PluginSlot() { instance_.close(); }

    PluginInstance& instance() { return instance_; }
    EditorView& editor() {
        EditorView* view = instance_.editor();
        if (!view) throw std::runtime_error("no editor");
        return *view;
    }

    // A 1 kHz sine of the given peak level (dBFS) on both channels, continuing
    // its phase from the previous call.
    void playSine(double dbfs, double seconds) { play(std::pow(10.0, dbfs / 20.0), seconds); }
    void playSilence(double seconds) { play(0.0, seconds); }
    // An idle tick, then one block without audio: pending edits reach the
    // processor, a pending data request is answered.
    void settle() {
        instance_.idle();
        instance_.processNothing();
    }

    std::string shown(const char* name) {
        std::string text;
        EXPECT_TRUE(editor().shownText(name, text)) << name;
        return text;
    }
    Zel::ColourArgb shownColour(const char* name) {
        std::string text;
        Zel::ColourArgb colour = 0;
        EXPECT_TRUE(editor().shownText(name, text, &colour)) << name;
        return colour;
    }
    Zel::ColourArgb skinColour(const char* name) {
        Zel::ColourArgb colour = 0;
        EXPECT_EQ(instance_.framework().skins().getColour(name, &colour), Zel::kResultOk) << name;
        return colour;
    }

private:
    void play(double amplitude, double seconds) {
        auto frames = static_cast<int64_t>(std::llround(seconds * kRate));
        float* channels[2] = {left_.data(), right_.data()};
        while (frames > 0) {
            const auto n = static_cast<int32_t>(std::min<int64_t>(frames, kBlock));
            for (int32_t i = 0; i < n; ++i) {
                const double x = amplitude * std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(phase_++) / kRate);
                left_[static_cast<size_t>(i)] = right_[static_cast<size_t>(i)] = static_cast<float>(x);
            }
            instance_.processBlock(channels, channels, n);
            frames -= n;
        }
    }

    PluginModule module_;
    PluginInstance instance_;
    std::vector<float> left_, right_;
    int64_t phase_ = 0;
};

// A processor state as the processor writes it: the byte count, then per
// entry a 128-byte name, the id and the plain value, little-endian.
struct StateEntry {
    int32_t id;
    double value;
};
inline Zel::IPtr<MemoryStream> stateStream(const std::vector<StateEntry>& entries, int32_t byteCount) {
    std::vector<uint8_t> bytes(4 + entries.size() * 140, 0);
    std::memcpy(bytes.data(), &byteCount, 4);
    for (size_t i = 0; i < entries.size(); ++i) {
        uint8_t* entry = bytes.data() + 4 + i * 140;
        std::memcpy(entry + 128, &entries[i].id, 4);
        std::memcpy(entry + 132, &entries[i].value, 8);
    }
    return Zel::IPtr<MemoryStream>::adopt(new MemoryStream(std::move(bytes)));
}

} // namespace NivoloHost::Testing
