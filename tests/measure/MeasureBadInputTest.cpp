// Input `measure` cannot measure: every case ends with a failure status, one
// line on the error stream and nothing a script could mistake for readings.

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

class MeasureBadInput : public ::testing::Test {
protected:

    // A 16-bit mono WAV of 100 frames whose header claims the given rate.
    std::string wavClaimingRate(uint32_t rate) {
        const std::string path = file("rate-" + std::to_string(rate) + ".wav");
        EXPECT_TRUE(makeAudio(path, 8000, 100 / 8000.0, {sine({-20.0})}, 1, "-c:a pcm_s16le"));
        std::string bytes = readText(path);
        for (int i = 0; i < 4; ++i) {
            bytes[24 + static_cast<size_t>(i)] = static_cast<char>(rate >> (8 * i));
            bytes[28 + static_cast<size_t>(i)] = static_cast<char>(2 * rate >> (8 * i));
        }
        EXPECT_TRUE(writeBytes(path, bytes));
        return path;
    }

    // Both the plain and the JSON form fail alike, naming the file: a script asking for JSON gets no half object.
    void expectFailure(const std::string& path, const char* mention) {
        for (bool json : {false, true}) {
            const Outcome run = measure(optionsFor(path, json));
            EXPECT_TRUE(isOneLineFailure(run)) << path << (json ? " (json)" : "");
            EXPECT_NE(run.err.find(path), std::string::npos) << run.err;
            EXPECT_NE(run.err.find(mention), std::string::npos) << run.err;
        }
    }
};

TEST_F(MeasureBadInput, FilesThatCannotBeMeasured) {
    ASSERT_TRUE(writeBytes(file("notes.wav"), "These are notes about a recording, not the recording.\n"));
    std::string noise;
    for (uint32_t i = 0, x = 12345; i < 8192; ++i) noise += static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    ASSERT_TRUE(writeBytes(file("noise.mp3"), noise));
    ASSERT_TRUE(std::filesystem::create_directory(file("folder.wav")));
    ASSERT_TRUE(makeAudio(file("sixteen.wav"), 48000, 0.5, {sine({-20.0})}, 16));
    const std::pair<std::string, const char*> cases[] = {
        {file("absent.wav"), ""},   {file("noise.mp3"), ""},   {file("notes.wav"), ""},
        {file("folder.wav"), ""},   {file("sixteen.wav"), "16"},
        // The meter would size its windows by these: gigabytes for a 400-byte file.
        {wavClaimingRate(768001), "sample rate"}, {wavClaimingRate(2000000000), "sample rate"},
    };
    for (const auto& [path, mention] : cases) expectFailure(path, mention);

    // The limits themselves are measured.
    ASSERT_TRUE(makeAudio(file("fourteen.wav"), 48000, 1.0, {sine({-20.0})}, 14));
    const JsonObject json = jsonOf(measureJson(file("fourteen.wav")));
    EXPECT_EQ(json["channels"].number, 14.0);
    EXPECT_EQ(json["integrated"].kind, JsonValue::Number);
    EXPECT_EQ(measure(optionsFor(wavClaimingRate(768000))).status, 0);
}

// Down to a header with no audio after it.
TEST_F(MeasureBadInput, WavCutAnywhereInItsHeaderFails) {
    ASSERT_TRUE(makeAudio(file("whole.wav"), 48000, 0.5, {sine({-20.0})}, 2, "-c:a pcm_s16le"));
    const std::string whole = readText(file("whole.wav")), path = file("header.wav");
    for (size_t length = 0; length <= 44; ++length) {
        ASSERT_TRUE(writeBytes(path, whole.substr(0, length)));
        SCOPED_TRACE(length);
        expectFailure(path, length == 44 ? "holds no audio" : "");
    }
    // And as a script sees it.
    const Outcome run = host({"measure", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(isOneLineFailure(run));
}

// The executable itself: usage errors exit 2, a module that cannot be loaded 1.
TEST_F(MeasureBadInput, BadOptionsAndAModuleThatCannotBeLoaded) {
    const std::string path = file("ok.wav");
    ASSERT_TRUE(makeAudio(path, 48000, 0.5, {sine({-20.0})}, 2));
    const std::pair<const char*, const char*> options[] = {
        {"--block", "0"},   {"--block", "-64"},     {"--block", "abc"},  {"--block", "512x"},
        {"--block", ""},    {"--block", "1048577"}, {"--block", "99999999999999999999"},
        {"--stream", "-1"}, {"--stream", "one"},    {"--stream", ""},
        {"--target", "loud"}, {"--target", "nan"},  {"--tolerance", "-1"}, {"--tolerance", "1"},
        {"--max-true-peak", "1e9"}, {"--spec", "broadcast"}, {"--jobs", "0"}, {"--jobs", "1.5"},
    };
    for (const auto& [option, value] : options) {
        const Outcome run = host({"measure", path, option, value});
        EXPECT_EQ(run.status, 2) << option << " '" << value << "'";
        EXPECT_TRUE(isOneLineFailure(run)) << option << " '" << value << "'";
        EXPECT_NE(run.err.find(option), std::string::npos) << run.err;
    }
    NivoloHost::MeasureOptions bad = optionsFor(path);
    for (int block : {0, (1 << 20) + 1}) {
        bad.blockSize = block;
        EXPECT_TRUE(isOneLineFailure(measure(bad))) << block;
    }
    bad.blockSize = 1024;
    bad.modulePath = file("missing-module.so");
    EXPECT_TRUE(isOneLineFailure(measure(bad)));
}

} // namespace
