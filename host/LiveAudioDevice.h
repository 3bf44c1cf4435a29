#pragma once
// The sound card's side of the live meter: an SDL audio device whose callback
// is the audio thread, where the processor runs. Capturing, the processor
// meters what the input delivers; playing, it takes a file's samples from a
// FileFeeder, and its output (the audio passed through) goes to the speakers.
// Edits from the UI thread arrive through a lock-free queue and reach the
// processor as input parameter changes of the next block. After the allowed
// amount of audio, or at the end of the file, blocks carry no samples but
// still answer the controller's requests for data.

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "host/SpscQueue.h"

namespace NivoloHost {

class FileFeeder;
class PluginInstance;

class LiveAudioDevice {
public:
    struct Edit {
        int32_t id;
        double value;
    };
    struct Setup {
        bool capture = true;
        std::string device;          // empty: the system's default
        double sampleRate = 48000.0; // capture only: a played file keeps its own
        int32_t channels = 2;        // capture only
        int32_t blockSize = 1024;    // frames per callback and per processed block (at most)
        int64_t limitFrames = -1;    // audio to process; < 0: no limit
        FileFeeder* feeder = nullptr; // playing: where the samples come from
    };

    LiveAudioDevice(PluginInstance& plugin, SpscQueue<Edit>& edits) : plugin_(plugin), edits_(edits) {}
    ~LiveAudioDevice() { close(); }
    LiveAudioDevice(const LiveAudioDevice&) = delete;
    LiveAudioDevice& operator=(const LiveAudioDevice&) = delete;

    // [ui thread] Opens the device, paused (the audio subsystem must be up).
    // False with SDL's reason.
    bool open(const Setup& setup, std::string& error);
    // [ui thread] Starts the callbacks; the plug-in must be open for the setup by now.
    void start();
    // [ui thread] Stops the callbacks for good (joins SDL's audio thread). Safe to repeat.
    void close();

    // [any thread] Frames processed so far, callbacks run, callbacks that found
    // a played file's ring empty before its end.
    int64_t framesProcessed() const { return frames_.load(std::memory_order_acquire); }
    int64_t callbacks() const { return callbacks_.load(std::memory_order_acquire); }
    int64_t underruns() const { return underruns_.load(std::memory_order_relaxed); }
    // [any thread] The allowed amount of audio has been processed (with a limit
    // given, a played file's end counts as well).
    bool ended() const { return ended_.load(std::memory_order_acquire); }

private:
    static void SDLCALL callback(void* self, Uint8* stream, int length);
    // [audio thread]
    void run(float* interleaved, int32_t frames);

    PluginInstance& plugin_;
    SpscQueue<Edit>& edits_;
    Setup setup_;
    SDL_AudioDeviceID device_ = 0;
    std::vector<float> planar_;
    std::vector<float*> channels_;
    std::atomic<int64_t> frames_{0}, callbacks_{0}, underruns_{0};
    std::atomic<bool> ended_{false};
};

} // namespace NivoloHost
