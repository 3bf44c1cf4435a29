// What `nivolo-host measure` prints for a file: the text report, the JSON
// object a script reads, the LU unit, and readings that do not exist yet.

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

class MeasureReport : public ::testing::Test {
protected:
    // The reference tone: 20 s of stereo 1 kHz at -23 dBFS peak on both channels reads -23 LUFS.
    static void SetUpTestSuite() {
        dir_ = new ScratchDir;
        ASSERT_TRUE(dir_->ok());
        reference_ = dir_->file("reference.wav");
        ASSERT_TRUE(writeProgramme(reference_, tone(48000, 2, 20.0, -23.0), WavSamples::Pcm16));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static Outcome host(const std::vector<std::string>& args) { return runExecutable(args, dir_->file("stderr.txt")); }

    static inline ScratchDir* dir_ = nullptr;
    static inline std::string reference_;
};

TEST_F(MeasureReport, TextReportOfTheReferenceTone) {
    const Outcome run = host({"measure", reference_});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_EQ(lines(run.out), (std::vector<std::string>{
                                  reference_ + " (48000 Hz, 2 channels, 20.0 s)",
                                  "Integrated:        -23.0 LUFS",
                                  "Momentary:         -23.0 LUFS",
                                  "Momentary max:     -23.0 LUFS",
                                  "Short-term:        -23.0 LUFS",
                                  "Short-term max:    -23.0 LUFS",
                                  "Loudness range:    0.0 LU",
                                  "True peak:         -23.0 dBTP",
                                  "Elapsed time:      00:00:20",
                                  "Integrated over -22 LUFS: no",
                                  "True peak over -1 dBTP:   no",
                              }));
}

TEST_F(MeasureReport, JsonOfTheReferenceToneIsOneLineWithEveryReading) {
    const Outcome run = host({"measure", reference_, "--json", "--block", "512"});
    // One line on a pipe, so that line-oriented scripts can take it as it comes.
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
    const JsonObject json = jsonOf(run);
    EXPECT_FALSE(json.duplicates());
    const std::pair<const char*, JsonValue::Kind> keys[] = {
        {"integrated", JsonValue::Number},   {"momentary", JsonValue::Number},     {"shortTerm", JsonValue::Number},
        {"momentaryMax", JsonValue::Number}, {"shortTermMax", JsonValue::Number}, {"loudnessRange", JsonValue::Number},
        {"truePeak", JsonValue::Number},     {"time", JsonValue::String},          {"integratedOver", JsonValue::Bool},
        {"truePeakOver", JsonValue::Bool},   {"unit", JsonValue::String},          {"file", JsonValue::String},
        {"sampleRate", JsonValue::Number},   {"channels", JsonValue::Number},      {"seconds", JsonValue::Number},
        {"warning", JsonValue::Null},
    };
    EXPECT_EQ(json.size(), std::size(keys));
    for (const auto& [key, kind] : keys) EXPECT_EQ(json[key].kind, kind) << key << " in " << run.out;
    for (const char* key : {"integrated", "momentary", "shortTerm", "momentaryMax", "shortTermMax"})
        EXPECT_NEAR(json[key].number, -23.0, 0.1) << key;
    EXPECT_NEAR(json["loudnessRange"].number, 0.0, 0.1);
    EXPECT_NEAR(json["truePeak"].number, -23.0, 0.2);
    EXPECT_EQ(json["unit"].string, "LUFS");
    EXPECT_EQ(json["file"].string, reference_);
    EXPECT_EQ(json["sampleRate"].number, 48000.0);
    EXPECT_EQ(json["channels"].number, 2.0);
    EXPECT_EQ(json["seconds"].number, 20.0);
    EXPECT_EQ(json["time"].string, "00:00:20");
    EXPECT_FALSE(json["integratedOver"].boolean);
    EXPECT_FALSE(json["truePeakOver"].boolean);
}

TEST_F(MeasureReport, LuUnitShiftsLoudnessButNotPeakOrRange) {
    NivoloHost::MeasureOptions options = optionsFor(reference_, true);
    options.lu = true;
    const JsonObject json = jsonOf(measure(options));
    EXPECT_EQ(json["unit"].string, "LU");
    for (const char* key : {"integrated", "momentary", "shortTerm", "momentaryMax", "shortTermMax"}) {
        ASSERT_EQ(json[key].kind, JsonValue::Number) << key;
        EXPECT_NEAR(json[key].number, 0.0, 0.1) << key;
    }
    // The range is a difference and the true peak is in dBTP: the unit switch leaves both alone.
    EXPECT_NEAR(json["loudnessRange"].number, 0.0, 0.1);
    EXPECT_NEAR(json["truePeak"].number, -23.0, 0.2);
    EXPECT_FALSE(json["integratedOver"].boolean);

    options.json = false;
    const Outcome text = measure(options);
    EXPECT_NE(text.out.find("\nIntegrated:        0.0 LU\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\nTrue peak:         -23.0 dBTP\n"), std::string::npos) << text.out;
}

TEST_F(MeasureReport, OverFlagsFollowTheirThresholds) {
    struct Case {
        double peakDb;
        bool integratedOver, truePeakOver;
    };
    // -21 LUFS is over -22 LUFS with a peak well under -1 dBTP; -0.5 dBFS is over both.
    for (const Case& c : {Case{-21.0, true, false}, Case{-0.5, true, true}}) {
        const std::string path = dir_->file("over.wav");
        ASSERT_TRUE(writeProgramme(path, tone(48000, 2, 5.0, c.peakDb)));
        const JsonObject json = jsonOf(measureJson(path));
        EXPECT_NEAR(json["integrated"].number, c.peakDb, 0.1) << c.peakDb;
        EXPECT_EQ(json["integratedOver"].boolean, c.integratedOver) << c.peakDb;
        EXPECT_EQ(json["truePeakOver"].boolean, c.truePeakOver) << c.peakDb;
    }
}

TEST_F(MeasureReport, ReadingsNotYetMeasuredAreNullInJsonAndDashesInText) {
    // 0.3 s: not one 400 ms window, so no loudness at all; the true peak exists.
    const std::string shortFile = dir_->file("short.wav");
    ASSERT_TRUE(writeProgramme(shortFile, tone(48000, 2, 0.3, -23.0)));
    const JsonObject json = jsonOf(measureJson(shortFile));
    for (const char* key : {"integrated", "momentary", "shortTerm", "momentaryMax", "shortTermMax"})
        EXPECT_EQ(json[key].kind, JsonValue::Null) << key;
    EXPECT_EQ(json["loudnessRange"].kind, JsonValue::Number);
    EXPECT_EQ(json["loudnessRange"].number, 0.0);
    EXPECT_NEAR(json["truePeak"].number, -23.0, 0.2);
    EXPECT_EQ(json["seconds"].number, 0.3);
    const Outcome text = measure(optionsFor(shortFile));
    EXPECT_NE(text.out.find("\nIntegrated:        --\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\nMomentary max:     --\n"), std::string::npos) << text.out;

    // 2 s: momentary windows exist, a 3 s short-term window does not.
    const std::string twoSeconds = dir_->file("two.wav");
    ASSERT_TRUE(writeProgramme(twoSeconds, tone(48000, 2, 2.0, -23.0)));
    const JsonObject partial = jsonOf(measureJson(twoSeconds));
    EXPECT_NEAR(partial["momentaryMax"].number, -23.0, 0.1);
    EXPECT_NEAR(partial["integrated"].number, -23.0, 0.1);
    EXPECT_EQ(partial["shortTerm"].kind, JsonValue::Null);
    EXPECT_EQ(partial["shortTermMax"].kind, JsonValue::Null);
}

TEST_F(MeasureReport, FileNameIsEscapedInJson) {
    const std::string path = dir_->file("say \"loud\" \\ back\tslash.wav");
    ASSERT_TRUE(writeProgramme(path, tone(44100, 1, 1.0, -20.0)));
    const JsonObject json = jsonOf(measureJson(path));
    EXPECT_EQ(json["file"].string, path);
    EXPECT_EQ(json["channels"].number, 1.0);
}

TEST_F(MeasureReport, BuiltInProgrammeWithoutFile) {
    // Three 10 s steps at -26, -20 and -23 dBFS: the power mean lies 0.67 dB above -23.
    const JsonObject json = jsonOf(measureJson(""));
    EXPECT_EQ(json["file"].string, "built-in programme");
    EXPECT_EQ(json["seconds"].number, 30.0);
    EXPECT_NEAR(json["integrated"].number, -22.3, 0.1);
    EXPECT_NEAR(json["momentaryMax"].number, -20.0, 0.1);
    EXPECT_NEAR(json["momentary"].number, -23.0, 0.1);
    EXPECT_EQ(json["time"].string, "00:00:30");
}

} // namespace
