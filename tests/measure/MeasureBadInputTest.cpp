// Input `measure` cannot measure: every case ends with a failure status, one
// line on the error stream and nothing a script could mistake for readings.

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

// A 16-bit mono WAV of 100 frames whose header claims the given rate.
bool writeWavClaimingRate(const std::string& path, uint32_t rate) {
    std::string bytes;
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) bytes += static_cast<char>(v >> (8 * i)); };
    auto u16 = [&](uint32_t v) { for (int i = 0; i < 2; ++i) bytes += static_cast<char>(v >> (8 * i)); };
    constexpr uint32_t kFrames = 100;
    bytes += "RIFF", u32(36 + 2 * kFrames), bytes += "WAVE";
    bytes += "fmt ", u32(16), u16(1), u16(1), u32(rate), u32(2 * rate), u16(2), u16(16);
    bytes += "data", u32(2 * kFrames);
    for (uint32_t i = 0; i < kFrames; ++i) u16(i * 300);
    return writeBytes(path, bytes);
}

class MeasureBadInput : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.ok()); }

    // A valid 16-bit stereo WAV of the given length.
    std::string validWav(const std::string& name, double seconds) {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(writeProgramme(path, tone(48000, 2, seconds, -20.0), WavSamples::Pcm16));
        return path;
    }

    // Both the plain and the JSON form fail alike: a script asking for JSON gets no half object.
    void expectFailure(const std::string& path, const char* mention) {
        for (bool json : {false, true}) {
            const Outcome run = measure(optionsFor(path, json));
            EXPECT_TRUE(isOneLineFailure(run)) << path << (json ? " (json)" : "");
            EXPECT_NE(run.err.find(path), std::string::npos) << "the message names the file: " << run.err;
            EXPECT_NE(run.err.find(mention), std::string::npos) << run.err;
        }
    }
    Outcome host(const std::vector<std::string>& args) { return runExecutable(args, dir_.file("stderr.txt")); }

    ScratchDir dir_;
};

TEST_F(MeasureBadInput, FilesThatCannotBeMeasured) {
    ASSERT_TRUE(writeBytes(dir_.file("notes.wav"), "These are notes about a recording, not the recording.\n"));
    std::string noise;
    for (uint32_t i = 0, x = 12345; i < 8192; ++i) noise += static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    ASSERT_TRUE(writeBytes(dir_.file("noise.mp3"), noise));
    ASSERT_TRUE(std::filesystem::create_directory(dir_.file("folder.wav")));
    ASSERT_TRUE(writeSoundFile(dir_.file("empty.wav"), WavSamples::Pcm16, 48000, 2, {}));
    ASSERT_TRUE(writeProgramme(dir_.file("sixteen.wav"), tone(48000, 16, 0.5, -20.0)));
    // The meter would size its windows by these: gigabytes for a 400-byte file.
    ASSERT_TRUE(writeWavClaimingRate(dir_.file("rate-768001.wav"), 768001));
    ASSERT_TRUE(writeWavClaimingRate(dir_.file("rate-2000000000.wav"), 2000000000));
    const std::pair<const char*, const char*> cases[] = {
        {"absent.wav", ""},  {"noise.mp3", ""},        {"notes.wav", ""},
        {"folder.wav", ""},  {"empty.wav", ""},        {"sixteen.wav", "16"},
        {"rate-768001.wav", "sample rate"},            {"rate-2000000000.wav", "sample rate"},
    };
    for (const auto& [name, mention] : cases) expectFailure(dir_.file(name), mention);
}

TEST_F(MeasureBadInput, WavCutAnywhereInItsHeaderFails) {
    const std::string whole = readText(validWav("whole.wav", 0.5));
    const std::string path = dir_.file("header.wav");
    for (size_t length = 0; length <= 44; ++length) { // the header of a plain PCM WAV
        ASSERT_TRUE(writeBytes(path, whole.substr(0, length)));
        SCOPED_TRACE(length);
        expectFailure(path, "");
    }
}

TEST_F(MeasureBadInput, TheLimitsThemselvesAreMeasured) {
    ASSERT_TRUE(writeProgramme(dir_.file("fourteen.wav"), tone(48000, 14, 1.0, -20.0)));
    const JsonObject json = jsonOf(measureJson(dir_.file("fourteen.wav")));
    EXPECT_EQ(json["channels"].number, 14.0);
    EXPECT_EQ(json["integrated"].kind, JsonValue::Number);
    ASSERT_TRUE(writeWavClaimingRate(dir_.file("rate-768000.wav"), 768000));
    const Outcome run = measure(optionsFor(dir_.file("rate-768000.wav")));
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(MeasureBadInput, BadOptionsAndAModuleThatCannotBeLoaded) {
    NivoloHost::MeasureOptions options = optionsFor(validWav("ok.wav", 0.5));
    for (int block : {0, -5, (1 << 20) + 1}) {
        options.blockSize = block;
        EXPECT_TRUE(isOneLineFailure(measure(options))) << block;
    }
    options.blockSize = 1024;
    options.modulePath = dir_.file("missing-module.so");
    EXPECT_TRUE(isOneLineFailure(measure(options)));
}

// The executable itself: the exit status and the streams a script sees.
TEST_F(MeasureBadInput, TheExecutableExitsWithOneErrorLineAndItsStatus) {
    const std::string absent = dir_.file("absent.wav");
    Outcome run = host({"measure", absent});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(isOneLineFailure(run));
    EXPECT_NE(run.err.find(absent), std::string::npos) << run.err;

    const std::string path = validWav("ok.wav", 0.5);
    const std::pair<const char*, const char*> options[] = {
        {"--block", "0"},   {"--block", "-64"},     {"--block", "abc"},  {"--block", "512x"},
        {"--block", ""},    {"--block", "1048577"}, {"--block", "99999999999999999999"},
        {"--stream", "-1"}, {"--stream", "one"},    {"--stream", ""},
        {"--target", "loud"}, {"--target", "nan"},  {"--tolerance", "-1"}, {"--tolerance", "1"},
        {"--max-true-peak", "1e9"}, {"--spec", "broadcast"}, {"--jobs", "0"}, {"--jobs", "1.5"},
    };
    for (const auto& [option, value] : options) {
        run = host({"measure", path, option, value});
        EXPECT_EQ(run.status, 2) << option << " '" << value << "'";
        EXPECT_TRUE(isOneLineFailure(run)) << option << " '" << value << "'";
        EXPECT_NE(run.err.find(option), std::string::npos) << run.err;
    }
}

} // namespace
