#include "host/LiveAudioDevice.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "host/FileFeeder.h"
#include "host/PluginInstance.h"

namespace NivoloHost {

bool LiveAudioDevice::open(const Setup& setup, std::string& error) {
    close();
    setup_ = setup;
    const auto block = static_cast<size_t>(setup_.blockSize);
    const auto channels = static_cast<size_t>(setup_.channels);
    // Everything the callback needs exists before it can run.
    planar_.assign(block * channels, 0.0f);
    channels_.resize(channels);
    for (size_t c = 0; c < channels; ++c) channels_[c] = planar_.data() + block * c;
    frames_.store(0);
    callbacks_.store(0);
    underruns_.store(0);
    ended_.store(setup_.limitFrames == 0);

    SDL_AudioSpec want{};
    want.freq = static_cast<int>(setup_.sampleRate);
    want.format = AUDIO_F32SYS;
    want.channels = static_cast<Uint8>(setup_.channels);
    want.samples = static_cast<Uint16>(setup_.blockSize);
    want.callback = &LiveAudioDevice::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts between this and what the card does.
    device_ = SDL_OpenAudioDevice(setup_.device.empty() ? nullptr : setup_.device.c_str(), setup_.capture ? 1 : 0,
                                  &want, &have, 0);
    if (device_ == 0) {
        error = SDL_GetError();
        return false;
    }
    return true;
}

void LiveAudioDevice::start() {
    if (device_) SDL_PauseAudioDevice(device_, 0);
}

void LiveAudioDevice::close() {
    if (device_) SDL_CloseAudioDevice(device_);
    device_ = 0;
}

void SDLCALL LiveAudioDevice::callback(void* self, Uint8* stream, int length) {
    auto* device = static_cast<LiveAudioDevice*>(self);
    const int frameBytes = static_cast<int>(sizeof(float)) * device->setup_.channels;
    device->run(reinterpret_cast<float*>(stream), length / frameBytes);
}

void LiveAudioDevice::run(float* interleaved, int32_t frames) {
    for (Edit edit{}; edits_.pop(edit);) plugin_.session().changeParameter(static_cast<Zel::ParamID>(edit.id), edit.value);

    const int32_t channels = setup_.channels;
    const int64_t limit = setup_.limitFrames < 0 ? std::numeric_limits<int64_t>::max() : setup_.limitFrames;
    int64_t processed = frames_.load(std::memory_order_relaxed);
    int32_t done = 0;
    while (done < frames && processed < limit) {
        float* at = interleaved + static_cast<ptrdiff_t>(done) * channels;
        int32_t n = static_cast<int32_t>(std::min<int64_t>({setup_.blockSize, frames - done, limit - processed}));
        if (setup_.feeder) {
            n = static_cast<int32_t>(setup_.feeder->take(at, static_cast<size_t>(n)));
            if (n == 0) break;
        }
        for (int32_t c = 0; c < channels; ++c)
            for (int32_t i = 0; i < n; ++i) channels_[static_cast<size_t>(c)][i] = at[i * channels + c];
        plugin_.processBlock(channels_.data(), channels_.data(), n);
        // What the speakers get is what the plug-in passed on.
        if (!setup_.capture)
            for (int32_t c = 0; c < channels; ++c)
                for (int32_t i = 0; i < n; ++i) at[i * channels + c] = channels_[static_cast<size_t>(c)][i];
        done += n;
        processed += n;
    }
    // Without audio a block still delivers the edits and answers a data request.
    if (done == 0) plugin_.processNothing();
    if (!setup_.capture) {
        std::memset(interleaved + static_cast<ptrdiff_t>(done) * channels, 0,
                    static_cast<size_t>(frames - done) * channels * sizeof(float));
        if (done < frames && processed < limit && !setup_.feeder->exhausted()) underruns_.fetch_add(1);
    }
    frames_.store(processed, std::memory_order_release);
    // A played file's end ends a run of limited length; otherwise the meter
    // shows what it read until the user is done.
    const bool fileEnded = setup_.feeder && setup_.limitFrames >= 0 && setup_.feeder->exhausted();
    if (processed >= limit || fileEnded) ended_.store(true, std::memory_order_release);
    callbacks_.fetch_add(1, std::memory_order_release);
}

} // namespace NivoloHost
