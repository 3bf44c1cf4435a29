// `nivolo-host live` end to end: a virtual display, SDL's disk audio driver as
// the sound card, clicks and keys through the window system.

#include "LiveTestSupport.h"
#include "host/PluginInstance.h"
#include "host/PluginModule.h"

namespace {

using namespace LiveTesting;

class LiveMeter : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        display_ = new VirtualDisplay;
        // 3.5 s: past the first short-term window (3 s), with time to spare
        // for the realtime workers' last evaluations.
        ASSERT_TRUE(writeBytes(file("tone.raw"), tone(3.5, -23.0)) && writeBytes(file("short.raw"), tone(1.5, -23.0)));
        for (const std::string name : {"tone", "short"}) // the same samples in float WAV files
            ASSERT_TRUE(ffmpeg("-f f32le -ar 48000 -ac 2 -i " + quoted(file(name + ".raw")) + " -c:a pcm_f32le " + quoted(file(name + ".wav"))));
    }
    static void TearDownTestSuite() { delete display_; }
    void SetUp() override { ASSERT_FALSE(display_->name().empty()) << "Xvfb did not start"; }

    // The environment of a run: the display, the disk driver capturing `raw`
    // and writing what is played beside it.
    static std::vector<std::string> environment(const std::string& raw = "tone.raw") {
        return {"DISPLAY=" + display_->name(), "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILEIN=" + file(raw),
                "SDL_DISKAUDIOFILE=" + file("played.raw")};
    }

    // The centre of the unit label under the integrated reading, in the editor's pixels.
    static std::pair<int, int> unitLabel() {
        NivoloHost::PluginModule module;
        NivoloHost::PluginInstance plugin;
        std::string error;
        EXPECT_TRUE(module.load(NIVOLO_MODULE_PATH, error) && plugin.open(module.factory(), {}, error)) << error;
        for (const auto& e : plugin.editor()->elements())
            if (e.name == "scaleModeLoudness" && e.visible && e.hasRect)
                return {(e.rect.left + e.rect.right) / 2, (e.rect.top + e.rect.bottom) / 2};
        ADD_FAILURE() << "no unit label";
        return {0, 0};
    }

    static inline VirtualDisplay* display_ = nullptr;
};

TEST_F(LiveMeter, CaptureReadsTheToneAndTheWindowShowsWhatRenderDraws) {
    const std::string wav = file("tone.wav"), rendered = file("render.png");
    const Outcome reference = HostRun({}, {"render", wav, "--out", rendered}, file("render.err")).finish();
    ASSERT_EQ(reference.status, 0) << reference.err;
    const Picture editor(rendered);
    ASSERT_GT(editor.width, 0);

    for (int scale : {1, 2}) {
        SCOPED_TRACE("scale " + std::to_string(scale));
        const std::string shot = file("shot" + std::to_string(scale) + ".png");
        std::vector<std::string> env = environment();
        env.insert(env.end(), {"NIVOLO_AUDIO_GUARD=1", "NIVOLO_AUDIO_GUARD_DEADLINE=0"});
        const Outcome run = HostRun(env,
                                    {"live", "--for", "3.5", "--json", "--screenshot", shot, "--scale",
                                     std::to_string(scale)},
                                    file("live.err"))
                                .finish();
        ASSERT_EQ(run.status, 0) << run.err;
        const JsonObject json = objectOf(run.out); // the guard reports on the error stream
        // BS.1770: a -23 dBFS sine at 997 Hz on both channels is -23.0 LUFS.
        EXPECT_NEAR(json["integrated"].number, -23.0, 0.1) << run.out;
        EXPECT_NEAR(json["shortTerm"].number, -23.0, 0.1) << run.out;
        EXPECT_EQ(json["unit"].string, "LUFS");
        EXPECT_EQ(json["seconds"].number, 3.5);
        EXPECT_EQ(json["time"].string, "00:00:03");
        EXPECT_TRUE(std::regex_search(run.err, std::regex("[1-9][0-9]* blocks checked, 0 allocations, 0 blocking calls")))
            << run.err;

        // Every window pixel is the editor's pixel under it, made scale x scale.
        const Picture window(shot);
        ASSERT_EQ(window.width, editor.width * scale);
        ASSERT_EQ(window.height, editor.height * scale);
        int differing = 0;
        for (int y = 0; y < window.height; ++y)
            for (int x = 0; x < window.width; ++x)
                differing += (window.at(x, y) & 0xFFFFFF) != (editor.at(x / scale, y / scale) & 0xFFFFFF);
        EXPECT_EQ(differing, 0);
    }
}

TEST_F(LiveMeter, ClicksAndKeysReachTheEditorThroughTheWindowSystem) {
    const auto [x, y] = unitLabel();
    struct Case {
        const char* what;
        int scale;
        std::string actions;
        const char* unit;
    };
    const Case cases[] = {
        {"a click on the LUFS label", 1,
         "mousemove --window %1 " + std::to_string(x) + " " + std::to_string(y) + " click 1 key q", "LU"},
        {"a click on the label, window scaled", 2,
         "mousemove --window %1 " + std::to_string(2 * x) + " " + std::to_string(2 * y) + " click 1 key Escape",
         "LU"},
        {"u", 1, "mousemove --window %1 5 5 key u key q", "LU"},
        {"u twice", 1, "mousemove --window %1 5 5 key u key u key q", "LUFS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostRun host(environment(), {"live", "--json", "--scale", std::to_string(c.scale)}, file("keys.err"));
        EXPECT_EQ(xdotool(display_->name(), c.actions), 0);
        const Outcome run = host.finish();
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(objectOf(run.out)["unit"].string, c.unit) << run.out;
    }
}

TEST_F(LiveMeter, PlayedFileReadsAsMeasureReadsItAndPlaysThroughUnchanged) {
    const std::string wav = file("short.wav");
    const Outcome measured = HostRun({}, {"measure", wav, "--json"}, file("measure.err")).finish();
    const JsonObject alone = jsonOf(measured);
    // The run ends at the end of the file, before the 60 s asked for.
    const Outcome run = HostRun(environment(), {"live", "--play", wav, "--for", "60", "--json"}, file("play.err"))
                            .finish();
    ASSERT_EQ(run.status, 0) << run.err;
    const JsonObject json = objectOf(run.out);
    for (const char* key : {"file", "sampleRate", "channels", "seconds", "integrated", "momentary", "momentaryMax",
                            "shortTerm", "truePeak", "time"})
        EXPECT_TRUE(json[key] == alone[key]) << key << "\n" << run.out << measured.out;

    // The disk driver wrote what the speakers got: silence while the device
    // waited to start, the file as it is, then silence.
    const std::string played = readText(file("played.raw")), sent = tone(1.5, -23.0);
    const size_t skip = sent.find_first_not_of('\0'), start = played.find_first_not_of('\0');
    ASSERT_NE(start, std::string::npos);
    EXPECT_EQ(played.compare(start, sent.size() - skip, sent, skip), 0);
    EXPECT_EQ(played.find_first_not_of('\0', start + sent.size() - skip), std::string::npos);
}

TEST_F(LiveMeter, WithoutADisplayOrAnAudioDeviceSaysSoInOneLine) {
    const std::string display = "DISPLAY=" + display_->name();
    const std::vector<std::vector<std::string>> environments = {
        {},                                                   // no display
        {display, "SDL_AUDIODRIVER=nosuchdriver"},           // no audio device
        {display, "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILEIN=" + file("missing.raw")}, // no input
    };
    for (const auto& env : environments) {
        const Outcome run = HostRun(env, {"live", "--json"}, file("fail.err")).finish();
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(isOneLineFailure(run));
        EXPECT_EQ(run.err.rfind("nivolo-host: ", 0), 0u) << run.err;
    }
}

} // namespace
