// Input `measure` cannot measure: every case ends with a failure status, one
// line on the error stream and nothing a script could mistake for readings.

#include <filesystem>
#include <fstream>

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

class MeasureBadInput : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.ok()); }

    // A valid 16-bit stereo WAV of the given length.
    std::string validWav(const std::string& name, double seconds) {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(writeProgramme(path, tone(48000, 2, seconds, -20.0), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        return path;
    }

    // Both the plain and the JSON form fail alike: a script asking for JSON gets no half object.
    void expectFailure(const std::string& path, const char* mention = nullptr) {
        for (bool json : {false, true}) {
            NivoloHost::MeasureOptions options = optionsFor(path);
            options.json = json;
            const Outcome run = measure(options);
            EXPECT_TRUE(isOneLineFailure(run)) << path << (json ? " (json)" : "");
            EXPECT_NE(run.err.find(path), std::string::npos) << "the message names the file: " << run.err;
            if (mention) {
                EXPECT_NE(run.err.find(mention), std::string::npos) << run.err;
            }
        }
    }

    ScratchDir dir_;
};

TEST_F(MeasureBadInput, MissingFile) { expectFailure(dir_.file("absent.wav")); }

TEST_F(MeasureBadInput, TextFileNamedWav) {
    const std::string path = dir_.file("notes.wav");
    ASSERT_TRUE(writeText(path, "These are notes about a recording, not the recording.\nSecond line.\n"));
    expectFailure(path);
}

TEST_F(MeasureBadInput, DirectoryInsteadOfFile) {
    const std::string path = dir_.file("folder.wav");
    ASSERT_TRUE(std::filesystem::create_directory(path));
    expectFailure(path);
}

TEST_F(MeasureBadInput, WavCutInsideItsHeader) {
    const std::string path = validWav("header.wav", 1.0);
    for (uintmax_t keep : {4u, 12u, 30u}) {
        std::filesystem::resize_file(path, keep);
        expectFailure(path);
    }
}

TEST_F(MeasureBadInput, WavWhoseDataIsCutShort) {
    // The data chunk still declares 2 s, but the file ends a little after 1 s.
    const std::string path = validWav("cut.wav", 2.0);
    const uintmax_t size = std::filesystem::file_size(path);
    std::filesystem::resize_file(path, size / 2 + 1);
    expectFailure(path);
}

TEST_F(MeasureBadInput, FifteenChannels) {
    const std::string path = dir_.file("fifteen.wav");
    ASSERT_TRUE(writeProgramme(path, tone(48000, 15, 0.5, -20.0)));
    expectFailure(path, "15");
}

TEST_F(MeasureBadInput, FourteenChannelsAreStillMeasured) {
    const std::string path = dir_.file("fourteen.wav");
    ASSERT_TRUE(writeProgramme(path, tone(48000, 14, 1.0, -20.0)));
    const Outcome run = measureJson(path);
    ASSERT_EQ(run.status, 0) << run.err;
    std::optional<JsonObject> json = JsonObject::parse(run.out);
    ASSERT_TRUE(json) << run.out;
    EXPECT_EQ((*json)["channels"].number, 14.0);
    EXPECT_EQ((*json)["integrated"].kind, JsonValue::Number);
}

// A 16-bit mono WAV of 100 frames whose header claims the given rate (written
// by hand: libsndfile writes no rate it would not play).
bool writeWavClaimingRate(const std::string& path, uint32_t rate) {
    std::vector<uint8_t> bytes;
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i))); };
    auto u16 = [&](uint16_t v) { for (int i = 0; i < 2; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i))); };
    auto tag = [&](const char* t) { bytes.insert(bytes.end(), t, t + 4); };
    constexpr uint32_t kFrames = 100;
    tag("RIFF"), u32(36 + 2 * kFrames), tag("WAVE");
    tag("fmt "), u32(16), u16(1), u16(1), u32(rate), u32(2 * rate), u16(2), u16(16);
    tag("data"), u32(2 * kFrames);
    for (uint32_t i = 0; i < kFrames; ++i) u16(static_cast<uint16_t>(i * 300));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

TEST_F(MeasureBadInput, SampleRateBeyondWhatStudiosRecordAt) {
    // The meter would size its windows by these: gigabytes for a 400-byte file.
    for (uint32_t rate : {768001u, 2000000000u}) {
        const std::string path = dir_.file("rate-" + std::to_string(rate) + ".wav");
        ASSERT_TRUE(writeWavClaimingRate(path, rate));
        expectFailure(path, "sample rate");
    }
    const std::string highest = dir_.file("rate-768000.wav");
    ASSERT_TRUE(writeWavClaimingRate(highest, 768000));
    const Outcome run = measure(optionsFor(highest));
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(MeasureBadInput, EmptyFile) {
    const std::string path = dir_.file("empty.wav");
    ASSERT_TRUE(writeSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, {}));
    expectFailure(path);
}

TEST_F(MeasureBadInput, ZeroByteFile) {
    const std::string path = dir_.file("zero.wav");
    ASSERT_TRUE(writeText(path, ""));
    expectFailure(path);
}

TEST_F(MeasureBadInput, BlockSizeOutOfRange) {
    const std::string path = validWav("ok.wav", 0.5);
    for (int block : {0, -5, (1 << 20) + 1}) {
        NivoloHost::MeasureOptions options = optionsFor(path);
        options.blockSize = block;
        EXPECT_TRUE(isOneLineFailure(measure(options))) << block;
    }
}

TEST_F(MeasureBadInput, ModuleThatCannotBeLoaded) {
    NivoloHost::MeasureOptions options = optionsFor(validWav("ok.wav", 0.5));
    options.modulePath = dir_.file("missing-module.so");
    EXPECT_TRUE(isOneLineFailure(measure(options)));
}

// The executable itself: the exit status and the streams a script sees.
class MeasureExecutable : public MeasureBadInput {
protected:
    Outcome host(const std::vector<std::string>& args) { return runExecutable(args, dir_.file("stderr.txt")); }
};

TEST_F(MeasureExecutable, MissingFileExitsWithOneErrorLine) {
    const std::string path = dir_.file("absent.wav");
    const Outcome run = host({"measure", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(isOneLineFailure(run));
    EXPECT_NE(run.err.find(path), std::string::npos) << run.err;
}

TEST_F(MeasureExecutable, BadBlockValueExitsWithOneErrorLine) {
    const std::string path = validWav("ok.wav", 0.5);
    for (const char* value : {"0", "-64", "abc", "512x", "", "1048577", "99999999999999999999"}) {
        const Outcome run = host({"measure", path, "--block", value});
        EXPECT_EQ(run.status, 2) << "--block '" << value << "'";
        EXPECT_TRUE(isOneLineFailure(run)) << "--block '" << value << "'";
        EXPECT_NE(run.err.find("--block"), std::string::npos) << run.err;
    }
}

TEST_F(MeasureExecutable, JsonOnAPipeIsOneObjectAndNothingElse) {
    const std::string path = validWav("ok.wav", 2.0);
    const Outcome run = host({"measure", path, "--json", "--block", "512"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
    std::optional<JsonObject> json = JsonObject::parse(run.out);
    ASSERT_TRUE(json) << run.out;
    EXPECT_EQ((*json)["file"].string, path);
    EXPECT_NEAR((*json)["integrated"].number, -20.0, 0.1);
}

} // namespace
