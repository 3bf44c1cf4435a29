// Files of any sample format and sample rate libsndfile reads are measured
// at their own rate: the loudness of a known tone comes out the same.

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

struct FileKind {
    const char* name;
    int format;
    int sampleRate;
    const char* extension;
};

std::ostream& operator<<(std::ostream& os, const FileKind& k) { return os << k.name; }

class MeasureFormats : public ::testing::TestWithParam<FileKind> {};

TEST_P(MeasureFormats, ToneReadsItsLoudnessAtItsOwnRate) {
    const FileKind& kind = GetParam();
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file(std::string("tone.") + kind.extension);
    // 997 Hz rather than 1 kHz: a sine that repeats every 32 samples would meet
    // the module's sparse silence probe only at its zero crossings at 32 kHz.
    ASSERT_TRUE(writeProgramme(path, tone(kind.sampleRate, 2, 8.0, -23.0, 997.0), kind.format));

    const Outcome run = measureJson(path);
    ASSERT_EQ(run.status, 0) << run.err;
    std::optional<JsonObject> json = JsonObject::parse(run.out);
    ASSERT_TRUE(json) << run.out;
    EXPECT_EQ((*json)["sampleRate"].number, kind.sampleRate);
    EXPECT_EQ((*json)["channels"].number, 2.0);
    EXPECT_EQ((*json)["seconds"].number, 8.0);
    EXPECT_EQ((*json)["time"].string, "00:00:08");
    ASSERT_EQ((*json)["integrated"].kind, JsonValue::Number) << run.out;
    EXPECT_NEAR((*json)["integrated"].number, -23.0, 0.1);
    EXPECT_NEAR((*json)["shortTermMax"].number, -23.0, 0.1);
    EXPECT_NEAR((*json)["truePeak"].number, -23.0, 0.2);

    std::optional<CoreFigures> core = analyseInProcess(path, 0x3);
    ASSERT_TRUE(core);
    EXPECT_NEAR((*json)["integrated"].number, core->integrated, kPrintedTolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MeasureFormats,
    ::testing::Values(FileKind{"Flac16At48000", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, "flac"},
                      FileKind{"Flac24At44100", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100, "flac"},
                      FileKind{"Wav24At44100", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, "wav"},
                      FileKind{"WavFloatAt96000", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 96000, "wav"},
                      FileKind{"Wav16At32000", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 32000, "wav"},
                      FileKind{"AiffAt22050", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 22050, "aiff"}),
    [](const ::testing::TestParamInfo<FileKind>& info) { return std::string(info.param.name); });

} // namespace
