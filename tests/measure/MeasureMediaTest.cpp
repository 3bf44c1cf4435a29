// Media input: every container and codec FFmpeg reads, at the stream's own
// rate, 5.1 in whatever order its container keeps as the same speakers,
// standard input, other audio streams, lengths that differ from what the
// container says, and streams damaged midway.

#include <tuple>

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

// Sets the granule position (the sample count so far) of an Ogg file's last
// page, with the page's checksum redone: the container then states another length.
bool moveLastOggGranule(const std::string& path, int64_t by) {
    std::string bytes = readText(path);
    const size_t page = bytes.rfind("OggS");
    if (page == std::string::npos || bytes.size() < page + 27) return false;
    int64_t granule = 0;
    std::memcpy(&granule, bytes.data() + page + 6, 8);
    granule += by;
    std::memcpy(bytes.data() + page + 6, &granule, 8);
    std::memset(bytes.data() + page + 22, 0, 4);
    uint32_t crc = 0;
    for (size_t i = page; i < bytes.size(); ++i) {
        crc ^= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = crc & 0x80000000u ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    for (int i = 0; i < 4; ++i) bytes[page + 22 + static_cast<size_t>(i)] = static_cast<char>(crc >> (8 * i));
    return writeBytes(path, bytes);
}

constexpr double kSeconds = 6.0;

class MeasureMedia : public ::testing::Test {
protected:
    // Stereo in level steps; 5.1 with a level of its own per speaker and an LFE
    // so loud that counting it, or taking a surround for a front speaker, moves
    // the reading by more than a lossy codec does.
    static void SetUpTestSuite() {
        ASSERT_TRUE(makeAudio(stereo(), 48000, kSeconds, {sine({-26.0, -18.0, -22.0}, kSeconds / 3)}, 2));
        std::vector<std::string> speakers;
        for (double level : {-22.0, -24.0, -20.0, -3.0, -16.0, -17.0}) speakers.push_back(sine({level}));
        ASSERT_TRUE(makeAudio(surround51(), 48000, kSeconds, speakers));
    }
    static std::string stereo() { return file("stereo.wav"); }
    static std::string surround51() { return file("surround.wav"); }
    static Outcome sh(const std::string& command) { return shell(command, file("stderr.txt")); }
};

TEST_F(MeasureMedia, EveryFormatReadsWhatItsSourceReads) {
    struct Encoding {
        const char *name, *options /* ffmpeg's */, *extension;
        bool surround;
        int sampleRate;
        double tolerance; // LU from the source: lossless 0.1, lossy 0.3
    };
    const Encoding encodings[] = {
        {"WAV 16-bit", "-c:a pcm_s16le", "wav", false, 48000, 0.1},
        {"WAV 24-bit at 44.1 kHz", "-c:a pcm_s24le -ar 44100", "wav", false, 44100, 0.1},
        {"WAV 32-bit integer", "-c:a pcm_s32le", "wav", false, 48000, 0.1},
        {"AIFF", "-c:a pcm_s16be", "aiff", false, 48000, 0.1},
        {"FLAC at 96 kHz", "-c:a flac -ar 96000", "flac", false, 96000, 0.1},
        {"MP3", "-c:a libmp3lame -b:a 192k", "mp3", false, 48000, 0.3},
        {"AAC in MP4 at 32 kHz", "-c:a aac -b:a 160k -ar 32000", "mp4", false, 32000, 0.3},
        {"Vorbis in OGG", "-c:a libvorbis -q:a 6", "ogg", false, 48000, 0.3},
        {"5.1 FLAC", "-c:a flac", "flac", true, 48000, 0.1},
        {"5.1 AC-3 in MKV", "-c:a ac3 -b:a 640k", "mkv", true, 48000, 0.3},
        {"5.1 AAC in MP4", "-c:a aac -b:a 512k", "mp4", true, 48000, 0.3},
        {"5.1 Vorbis in OGG", "-c:a libvorbis -q:a 8", "ogg", true, 48000, 0.3},
        {"5.1 with side surrounds in MKV", "-c:a pcm_s24le -af 'aformat=channel_layouts=5.1(side)'", "mkv", true, 48000, 0.1},
        {"5.1 Opus in OGG", "-c:a libopus -b:a 384k", "opus", true, 48000, 0.3},
    };
    const JsonObject stereoSource = jsonOf(measureJson(stereo())), surroundSource = jsonOf(measureJson(surround51()));
    int made = 0;
    for (const Encoding& e : encodings) {
        SCOPED_TRACE(e.name);
        const std::string path = file("encoded-" + std::to_string(made++) + "." + e.extension);
        ASSERT_TRUE(ffmpeg("-i " + quoted(e.surround ? surround51() : stereo()) + " " + e.options + " " + quoted(path)));
        const JsonObject& source = e.surround ? surroundSource : stereoSource;
        const JsonObject json = jsonOf(measureJson(path));
        EXPECT_EQ(json["channels"].number, e.surround ? 6.0 : 2.0);
        EXPECT_EQ(json["sampleRate"].number, e.sampleRate);
        EXPECT_NEAR(json["seconds"].number, kSeconds, 0.1) << "codec padding aside, the whole programme";
        for (const char* key : {"integrated", "shortTermMax", "loudnessRange"})
            EXPECT_NEAR(json[key].number, source[key].number, e.tolerance) << key;
    }
    // The 5.1 source itself: the LFE not counted, the surrounds at 1.41.
    std::optional<CoreFigures> core = analyseInProcess(surround51(), 0x3F);
    ASSERT_TRUE(core);
    EXPECT_NEAR(surroundSource["integrated"].number, core->integrated, kPrintedTolerance);
}

TEST_F(MeasureMedia, StandardInputReadsWhatTheFileReads) {
    // The steady 5.1 source: the last windows, which the meter may take in a little
    // late, then change nothing, and a wrong speaker would.
    for (auto [name, codec, producer] : {std::tuple{"piped.mp4", "aac -b:a 384k", "ffmpeg -nostdin -loglevel error -i @ -f wav -"},
                                         {"piped.flac", "flac", "cat @"}, {"piped.mkv", "ac3", "cat @"}}) {
        const std::string path = file(name), command = std::string(producer).replace(std::string(producer).find('@'), 1, quoted(path));
        ASSERT_TRUE(ffmpeg("-i " + quoted(surround51()) + " -c:a " + codec + " " + quoted(path)));
        const JsonObject fromFile = jsonOf(measureJson(path)), fromPipe = jsonOf(sh(command + " | " + hostCommand({"measure", "-", "--json"})));
        EXPECT_EQ(fromPipe["file"].string, "standard input");
        for (const char* key : {"sampleRate", "channels", "seconds"}) EXPECT_EQ(fromPipe[key].number, fromFile[key].number) << name;
        // The final momentary and short-term readings may land a window apart; these may not.
        for (const char* key : {"integrated", "loudnessRange", "truePeak", "momentaryMax", "shortTermMax"})
            EXPECT_NEAR(fromPipe[key].number, fromFile[key].number, 0.01 + 1e-9) << name << " " << key;
    }
    // An MP4 with its index at the end cannot be read from a pipe; moved to the front it can.
    const std::string atEnd = file("index-at-end.mp4"), atFront = file("index-at-front.mp4");
    ASSERT_TRUE(ffmpeg("-f lavfi -i anoisesrc=d=5:r=48000:a=0.1:seed=7 -ac 2 -c:a aac -b:a 320k " + quoted(atEnd)));
    ASSERT_TRUE(ffmpeg("-i " + quoted(atEnd) + " -c copy -movflags +faststart " + quoted(atFront)));
    const Outcome refused = sh("cat " + quoted(atEnd) + " | " + hostCommand({"measure", "-"}));
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(isOneLineFailure(refused));
    EXPECT_NE(refused.err.find("faststart"), std::string::npos) << refused.err;
    EXPECT_NEAR(jsonOf(sh("cat " + quoted(atFront) + " | " + hostCommand({"measure", "-", "--json"})))["seconds"].number, 5.0, 0.1);
}

TEST_F(MeasureMedia, StreamOptionPicksAnotherAudioStream) {
    const std::string path = file("two-streams.mkv");
    ASSERT_TRUE(makeAudio(file("quiet.wav"), 44100, 3.0, {sine({-30.0})}));
    ASSERT_TRUE(ffmpeg("-i " + quoted(stereo()) + " -i " + quoted(file("quiet.wav")) + " -map 0:a -map 1:a -c:a flac " +
                       quoted(path)));
    EXPECT_EQ(jsonOf(measureJson(path))["channels"].number, 2.0);
    NivoloHost::MeasureOptions options = optionsFor(path, true);
    options.stream = 1;
    const JsonObject second = jsonOf(measure(options));
    EXPECT_EQ(std::pair(second["channels"].number, second["sampleRate"].number), std::pair(1.0, 44100.0));
    EXPECT_NEAR(second["integrated"].number, -33.0, 0.1) << "mono at -30 dBFS peak";
    options.stream = 2;
    const Outcome none = measure(options);
    EXPECT_TRUE(isOneLineFailure(none));
    EXPECT_NE(none.err.find("--stream 2"), std::string::npos) << none.err;
}

// The length is what decodes: a container that states another is no reason to
// refuse, nor to stop early or warn.
TEST_F(MeasureMedia, AnOggWhoseStatedLengthDiffersIsMeasured) {
    for (int64_t by : {5806, -24000}) { // as far off as a track met in the field; half a second short
        SCOPED_TRACE(by);
        const std::string path = file("stated.ogg");
        ASSERT_TRUE(ffmpeg("-i " + quoted(stereo()) + " -c:a libvorbis " + quoted(path)));
        ASSERT_TRUE(moveLastOggGranule(path, by));
        std::string error;
        std::unique_ptr<NivoloHost::AudioSource> source = NivoloHost::AudioSource::openFile(path, 0, error);
        ASSERT_TRUE(source) << error;
        std::vector<float> buffer(4096 * 2);
        int64_t decoded = 0;
        for (int64_t got; (got = source->read(buffer.data(), 4096)) > 0;) decoded += got;
        EXPECT_NE(source->frames(), decoded) << "the container must state another length for this test";
        const JsonObject json = jsonOf(measureJson(path));
        EXPECT_NEAR(json["seconds"].number, static_cast<double>(decoded) / 48000.0, 0.005);
        EXPECT_EQ(json["warning"].kind, JsonValue::Null);
    }
}

// A damaged stream: one warning line naming where decoding failed, and the
// readings of what decoded (status 0).
TEST_F(MeasureMedia, DamagedStreamsWarnAndReadWhatDecoded) {
    const std::string wav = file("cut.wav"), flac = file("cut.flac"), mp3 = file("garbled.mp3");
    ASSERT_TRUE(makeAudio(wav, 48000, 4.0, {sine({-20.0})}, 2, "-c:a pcm_s16le"));
    std::filesystem::resize_file(wav, 44 + 48000 * 4 + 2); // 1 s and half a frame of the declared 4 s
    ASSERT_TRUE(ffmpeg("-i " + quoted(stereo()) + " -c:a flac " + quoted(flac)));
    std::filesystem::resize_file(flac, std::filesystem::file_size(flac) / 2);
    ASSERT_TRUE(ffmpeg("-i " + quoted(stereo()) + " -c:a libmp3lame " + quoted(mp3)));
    std::string bytes = readText(mp3);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 4000; ++i) bytes[i] = static_cast<char>(i * 7919 % 251);
    ASSERT_TRUE(writeBytes(mp3, bytes));

    for (const auto& [path, failedAt, seconds] : {std::tuple{wav, "00:00:01.000", 1.0}, {flac, "00:00:0", 2.0}, {mp3, "00:00:0", 5.0}}) {
        const Outcome run = sh(hostCommand({"measure", path, "--json"}));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
        EXPECT_EQ(run.err.rfind("nivolo-host: warning: '" + path + "': decoding failed at " + failedAt, 0), 0u) << run.err;
        const JsonObject json = objectOf(run.out);
        EXPECT_EQ(json["warning"].string + "\n", run.err.substr(std::strlen("nivolo-host: warning: ")));
        EXPECT_EQ(json["integrated"].kind, JsonValue::Number) << path;
        EXPECT_TRUE(json["seconds"].number >= seconds && json["seconds"].number < kSeconds) << path << " " << json["seconds"].number;
    }
}

} // namespace
