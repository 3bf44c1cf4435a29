#include "host/LiveCommand.h"
#include "host/MeasureReport.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "host/AudioSource.h"
#include "host/ComponentHandler.h"
#include "host/EditorWindow.h"
#include "host/FileFeeder.h"
#include "host/LiveAudioDevice.h"
#include "host/MeasureCommand.h"
#include "host/MessageRelay.h"
#include "host/PluginInstance.h"
#include "host/PluginModule.h"
#include "host/SpscQueue.h"
#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxChannels = 8; // what SDL plays and captures
constexpr double kMinSampleRate = 8000.0, kMaxSampleRate = 768000.0;
constexpr int kMaxBlock = 32768;  // SDL counts a callback's frames in 16 bits
constexpr int kMaxScale = 8;
constexpr double kReadAheadSeconds = 2.0; // of a played file, decoded before it is needed
constexpr int kMinFrameRate = 30, kDefaultFrameRate = 60, kMaxFrameRate = 240;
constexpr auto kSettleTimeout = std::chrono::seconds(2);
// Output values of about a second of blocks, and edits far beyond what a hand makes.
constexpr size_t kOutputQueue = 8192, kEditQueue = 256;

struct OutputValue {
    Zel::ParamID id;
    double value;
};

// Sound and display libraries print what they find while SDL probes them
// (cards that are not there, a missing session); the host says what matters
// in one line of its own. The standard error stream is parked on /dev/null
// meanwhile.
class QuietStderr {
public:
    QuietStderr() : saved_(dup(STDERR_FILENO)) {
        std::fflush(stderr);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) ::close(null);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_;
};

// Without a display SDL falls back to drawing nowhere; only a user who names
// such a video driver (SDL_VIDEODRIVER) gets one.
bool drawsNowhere() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || SDL_getenv("SDL_VIDEODRIVER")) return false;
    return std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

void SDLCALL dropLogLine(void*, int, SDL_LogPriority, const char*) {}

class LiveMeter {
public:
    LiveMeter(const LiveOptions& options, std::ostream& out, std::ostream& err)
        : options_(options), out_(out), err_(err) {}
    ~LiveMeter() {
        // Audio first: its thread uses everything else.
        device_.close();
        feeder_.reset();
        window_.close();
        plugin_.close();
        SDL_Quit();
    }

    int run() {
        if (int status = open()) return status;
        if (feeder_) feeder_->start();
        device_.start();
        loop();
        settle();
        std::string error;
        if (!options_.screenshot.empty() && !window_.saveScreenshot(options_.screenshot, error)) return fail(error);
        device_.close(); // the session's readings are ours from here on
        if (const int64_t dry = device_.underruns())
            err_ << "nivolo-host: note: reading '" << name_ << "' fell behind the sound card " << dry
                 << " times (silence was played meanwhile)\n";
        const double seconds = static_cast<double>(device_.framesProcessed()) / sampleRate_;
        if (options_.json) {
            printJson(plugin_.session().readings(), plugin_.controlText("time"), name_, sampleRate_, channels_, seconds,
                      std::string(), out_);
        } else if (!options_.screenshot.empty()) {
            char when[64];
            std::snprintf(when, sizeof when, "%.1f s", seconds);
            out_ << options_.screenshot << ": the meter's window after " << when << " of " << name_ << "\n";
        }
        return 0;
    }

private:
    int fail(const std::string& message) {
        err_ << "nivolo-host: " << message << "\n";
        return 1;
    }

    // The display, the audio device, the plug-in with its editor, the window.
    // 0 or the exit status.
    int open() {
        const LiveOptions& o = options_;
        if (o.scale < 1 || o.scale > kMaxScale) return fail("--scale must be between 1 and 8");
        if (o.blockSize < 1 || o.blockSize > kMaxBlock) return fail("--block must be between 1 and 32768");
        std::string error;
        const bool capture = o.play.empty();
        if (capture) {
            sampleRate_ = o.sampleRate;
            channels_ = o.channels;
            name_ = o.capture.empty() ? "default input" : o.capture;
        } else {
            std::unique_ptr<AudioSource> source = AudioSource::openFile(o.play, 0, error);
            if (!source) return fail(error);
            sampleRate_ = source->sampleRate();
            channels_ = source->channels();
            name_ = o.play;
            feeder_ = std::make_unique<FileFeeder>(std::move(source), kReadAheadSeconds);
        }
        if (channels_ < 1 || channels_ > kMaxChannels)
            return fail(capture ? "--channels must be between 1 and 8"
                                : "'" + name_ + "' has " + std::to_string(channels_) +
                                      " channels; live playback takes 1 to 8");
        if (!(sampleRate_ >= kMinSampleRate && sampleRate_ <= kMaxSampleRate))
            return fail(capture ? "--rate must be between 8000 and 768000 Hz"
                                : "'" + name_ + "' has a sample rate of " + std::to_string(std::llround(sampleRate_)) +
                                      " Hz; live playback takes 8000 to 768000 Hz");

        SDL_LogSetOutputFunction(&dropLogLine, nullptr); // SDL's notes are not this program's output
        // A meter sits beside other programs for hours: the desktop keeps its
        // compositor and screen saver, and the sound server shows our name.
        SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
        SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
        SDL_SetHint(SDL_HINT_APP_NAME, "Nivolo");
        SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Live meter");
        bool video = false, audio = false;
        {
            QuietStderr quiet;
            video = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
            audio = video && !drawsNowhere() && SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        }
        if (!video) return fail(std::string("no display for the meter's window (") + SDL_GetError() + ")");
        if (drawsNowhere()) return fail("no display for the meter's window (DISPLAY or WAYLAND_DISPLAY is not set)");
        if (!audio) return fail(std::string("no audio device (") + SDL_GetError() + ")");
        LiveAudioDevice::Setup setup;
        setup.capture = capture;
        setup.device = o.capture;
        setup.sampleRate = sampleRate_;
        setup.channels = channels_;
        setup.blockSize = o.blockSize;
        setup.limitFrames = o.seconds < 0 ? -1 : std::llround(o.seconds * sampleRate_);
        setup.feeder = feeder_.get();
        bool opened = false;
        {
            QuietStderr quiet;
            opened = device_.open(setup, error);
        }
        if (!opened)
            return fail(std::string(capture ? "no audio input device to meter" : "no audio output device to play on") +
                        (o.capture.empty() ? "" : " '" + o.capture + "'") + " (" + error + ")");

        if (!module_.load(o.modulePath, error)) return fail(error);
        // Realtime: the module hands its windows to its workers and never
        // waits; the processor's messages and readings come over through queues.
        ProcessingSession::Options session;
        session.sampleRate = sampleRate_;
        session.channels = channels_;
        session.blockSize = o.blockSize;
        session.processMode = Zel::kRealtime;
        session.peer = relay_.get();
        session.outputSink = [this](Zel::ParamID id, double value) { outputs_.push(OutputValue{id, value}); };
        if (!plugin_.open(module_.factory(), session, error)) return fail(error);
        plugin_.setLive(true);
        controllerConnection_ = Zel::queryInterface<Zel::IConnectionPoint>(plugin_.controller());
        relay_->deliver(controllerConnection_.get()); // the channel counts, before the editor is made
        editor_ = plugin_.editor();
        if (!editor_) return fail("the plug-in offers no editor");
        // Edits cross to the audio thread, which applies them to its next block.
        handler_ = Zel::IPtr<ComponentHandler>::adopt(new ComponentHandler(
            [this](int32_t id, double value) { edits_.push(LiveAudioDevice::Edit{id, value}); }));
        plugin_.controller()->setEditHandler(handler_.get());

        const Zel::ViewRect& size = editor_->size();
        if (!window_.open("Nivolo: " + name_, size.width(), size.height(), o.scale, error))
            return fail("cannot open the meter's window (" + error + ")");
        return 0;
    }

    // The UI thread: events as they come, and a frame at the screen's rate:
    // what the audio thread sent goes to the controller, an idle tick, and the
    // editor drawn when that changed its picture.
    void loop() {
        const auto frame = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / frameRate()));
        auto next = Clock::now();
        bool quit = false, force = true;
        while (!quit) {
            const auto now = Clock::now();
            if (now < next) {
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
                SDL_Event event;
                if (SDL_WaitEventTimeout(&event, static_cast<int>(std::max<int64_t>(1, wait))))
                    handle(event, quit, force);
                continue;
            }
            next = std::max(next + frame, now);
            for (SDL_Event event; SDL_PollEvent(&event);) handle(event, quit, force);
            // The processor answers every tick's request with every reading:
            // only new values, new messages, views that asked to be drawn
            // again and the user's doings make a new picture.
            bool changed = deliver();
            plugin_.idle();
            const int64_t invalidations = editor_->invalidations();
            changed = changed || invalidations != invalidations_;
            invalidations_ = invalidations;
            if (changed || clicked_ || force) present(force);
            clicked_ = force = false;
            if (device_.ended()) quit = true;
        }
    }

    void handle(const SDL_Event& event, bool& quit, bool& force) {
        switch (event.type) {
        case SDL_QUIT: quit = true; break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED) force = true;
            break;
        case SDL_KEYDOWN:
            if (event.key.repeat) break;
            switch (event.key.keysym.sym) {
            case SDLK_r: clicked_ = editor_->clickElement("resetLoudness"); break;
            case SDLK_u: clicked_ = editor_->clickElement("scaleModeLoudness"); break;
            case SDLK_q:
            case SDLK_ESCAPE: quit = true; break;
            default: break;
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (event.button.button == SDL_BUTTON_LEFT)
                clicked_ = editor_->clickAt(window_.toEditor(event.button.x), window_.toEditor(event.button.y));
            break;
        default: break;
        }
    }

    // [ui thread] Messages and output values the audio thread sent, to the
    // controller. True when a message came or a value differs from the last one.
    bool deliver() {
        bool changed = relay_->deliver(controllerConnection_.get()) > 0;
        Zel::IEditController* controller = plugin_.controller();
        for (OutputValue v{}; outputs_.pop(v);) {
            controller->setNormalizedValue(static_cast<int32_t>(v.id), v.value);
            auto [last, added] = lastValues_.try_emplace(v.id, v.value);
            changed = changed || added || last->second != v.value;
            last->second = v.value;
        }
        return changed;
    }

    // Edits made up to now reach the processor, a request for data is
    // answered, the answer reaches the controller and its views: twice, as
    // after a click in `render`. Waits on the audio callbacks, never on the module.
    void settle() {
        for (int round = 0; round < 2; ++round) {
            plugin_.idle();
            const int64_t target = device_.callbacks() + 2;
            for (const auto deadline = Clock::now() + kSettleTimeout;
                 device_.callbacks() < target && Clock::now() < deadline;)
                SDL_Delay(1);
            deliver();
        }
        plugin_.idle();
        present(true);
    }

    void present(bool force) {
        EditorView::Surface picture = editor_->render();
        window_.show(picture.get(), force);
    }

    int frameRate() const {
        const int rate = window_.refreshRate();
        return rate > 0 ? std::clamp(rate, kMinFrameRate, kMaxFrameRate) : kDefaultFrameRate;
    }

    const LiveOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    double sampleRate_ = 0.0;
    int channels_ = 0;
    std::string name_;
    PluginModule module_; // outlives the slot: declared before it
    Zel::IPtr<MessageRelay> relay_ = Zel::IPtr<MessageRelay>::adopt(new MessageRelay);
    SpscQueue<OutputValue> outputs_{kOutputQueue};
    SpscQueue<LiveAudioDevice::Edit> edits_{kEditQueue};
    PluginInstance plugin_;
    Zel::IPtr<Zel::IConnectionPoint> controllerConnection_;
    Zel::IPtr<ComponentHandler> handler_;
    EditorView* editor_ = nullptr;
    std::map<Zel::ParamID, double> lastValues_; // delivered to the controller
    int64_t invalidations_ = -1;
    bool clicked_ = false;
    std::unique_ptr<FileFeeder> feeder_;
    LiveAudioDevice device_{plugin_, edits_};
    EditorWindow window_;
};

bool parseNumber(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

} // namespace

int parseLiveArguments(int argc, char** argv, LiveOptions& options, std::ostream& err) {
    bool captureFormat = false; // --rate or --channels given
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto bad = [&](const char* wants) {
            err << "nivolo-host: " << arg << " wants " << wants << (value ? ", not '" + std::string(value) + "'" : "")
                << "\n";
            return 2;
        };
        double number = 0.0;
        if (arg == "--json") {
            options.json = true;
            continue;
        }
        const bool takesValue = arg == "--capture" || arg == "--play" || arg == "--rate" || arg == "--channels" ||
                                arg == "--block" || arg == "--scale" || arg == "--for" || arg == "--screenshot" ||
                                arg == "--module";
        if (!takesValue) {
            err << "nivolo-host: unknown argument '" << arg << "'\n";
            return 2;
        }
        if (!value) return bad("a value");
        ++i;
        captureFormat = captureFormat || arg == "--rate" || arg == "--channels";
        if (arg == "--capture") options.capture = value;
        else if (arg == "--play") options.play = value;
        else if (arg == "--screenshot") options.screenshot = value;
        else if (arg == "--module") options.modulePath = value;
        else if (arg == "--rate") {
            if (!parseNumber(value, number) || number != std::floor(number) || number < kMinSampleRate ||
                number > kMaxSampleRate)
                return bad("a sample rate from 8000 to 768000 Hz");
            options.sampleRate = number;
        } else if (arg == "--channels") {
            if (!parseNumber(value, number) || number != std::floor(number) || number < 1 || number > kMaxChannels)
                return bad("a channel count from 1 to 8");
            options.channels = static_cast<int>(number);
        } else if (arg == "--block") {
            if (!parseNumber(value, number) || number != std::floor(number) || number < 1 || number > kMaxBlock)
                return bad("a sample count from 1 to 32768");
            options.blockSize = static_cast<int>(number);
        } else if (arg == "--scale") {
            if (!parseNumber(value, number) || number != std::floor(number) || number < 1 || number > kMaxScale)
                return bad("a whole factor from 1 to 8");
            options.scale = static_cast<int>(number);
        } else if (arg == "--for") {
            if (!parseNumber(value, number) || !(number > 0.0)) return bad("seconds (more than 0)");
            options.seconds = number;
        }
    }
    if (!options.play.empty() && (!options.capture.empty() || captureFormat)) {
        err << "nivolo-host: --play plays FILE in its own format: no --capture, --rate or --channels with it\n";
        return 2;
    }
    return 0;
}

int runLive(const LiveOptions& options, std::ostream& out, std::ostream& err) {
    LiveMeter meter(options, out, err);
    return meter.run();
}

} // namespace NivoloHost
