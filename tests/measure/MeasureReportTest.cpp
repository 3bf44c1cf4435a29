// What `measure` prints for a file: the text report, the JSON object a script
// reads, the LU unit, and readings that do not exist yet.

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

// Every key a script may rely on, with the kind of value it carries.
const std::vector<std::pair<const char*, JsonValue::Kind>> kReadingKeys = {
    {"integrated", JsonValue::Number},   {"momentary", JsonValue::Number},     {"shortTerm", JsonValue::Number},
    {"momentaryMax", JsonValue::Number}, {"shortTermMax", JsonValue::Number}, {"loudnessRange", JsonValue::Number},
    {"truePeak", JsonValue::Number},     {"time", JsonValue::String},          {"integratedOver", JsonValue::Bool},
    {"truePeakOver", JsonValue::Bool},   {"unit", JsonValue::String},          {"file", JsonValue::String},
    {"sampleRate", JsonValue::Number},   {"channels", JsonValue::Number},      {"seconds", JsonValue::Number},
};

class MeasureReport : public ::testing::Test {
protected:
    // The reference tone: 20 s of stereo 1 kHz at -23 dBFS peak on both channels reads -23 LUFS.
    static void SetUpTestSuite() {
        dir_ = new ScratchDir;
        ASSERT_TRUE(dir_->ok());
        reference_ = dir_->file("reference.wav");
        ASSERT_TRUE(writeProgramme(reference_, tone(48000, 2, 20.0, -23.0), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static JsonObject jsonOf(const Outcome& run) {
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.err.empty()) << run.err;
        std::optional<JsonObject> object = JsonObject::parse(run.out);
        EXPECT_TRUE(object.has_value()) << "not one JSON object: " << run.out;
        return object.value_or(JsonObject{});
    }

    static inline ScratchDir* dir_ = nullptr;
    static inline std::string reference_;
};

TEST_F(MeasureReport, TextReportOfTheReferenceTone) {
    Outcome run = measure(optionsFor(reference_));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    const std::vector<std::string> text = lines(run.out);
    ASSERT_EQ(text.size(), 11u) << run.out;
    EXPECT_EQ(text[0], reference_ + " (48000 Hz, 2 channels, 20.0 s)");
    EXPECT_EQ(text[1], "Integrated:        -23.0 LUFS");
    EXPECT_EQ(text[2], "Momentary:         -23.0 LUFS");
    EXPECT_EQ(text[3], "Momentary max:     -23.0 LUFS");
    EXPECT_EQ(text[4], "Short-term:        -23.0 LUFS");
    EXPECT_EQ(text[5], "Short-term max:    -23.0 LUFS");
    EXPECT_EQ(text[6], "Loudness range:    0.0 LU");
    EXPECT_EQ(text[7], "True peak:         -23.0 dBTP");
    EXPECT_EQ(text[8], "Elapsed time:      00:00:20");
    EXPECT_EQ(text[9], "Integrated over -22 LUFS: no");
    EXPECT_EQ(text[10], "True peak over -1 dBTP:   no");
}

TEST_F(MeasureReport, JsonIsOneObjectWithEveryReading) {
    Outcome run = measureJson(reference_);
    // One line, so that line-oriented scripts can take it as it comes.
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
    JsonObject json = jsonOf(run);
    EXPECT_FALSE(json.duplicates());
    EXPECT_EQ(json.size(), kReadingKeys.size());
    for (const auto& [key, kind] : kReadingKeys) {
        ASSERT_TRUE(json.has(key)) << key << " missing in " << run.out;
        EXPECT_EQ(json[key].kind, kind) << key << " in " << run.out;
    }
    EXPECT_NEAR(json["integrated"].number, -23.0, 0.1);
    EXPECT_NEAR(json["momentary"].number, -23.0, 0.1);
    EXPECT_NEAR(json["shortTerm"].number, -23.0, 0.1);
    EXPECT_NEAR(json["momentaryMax"].number, -23.0, 0.1);
    EXPECT_NEAR(json["shortTermMax"].number, -23.0, 0.1);
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
    NivoloHost::MeasureOptions options = optionsFor(reference_);
    options.json = true;
    options.lu = true;
    JsonObject json = jsonOf(measure(options));
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
    Outcome text = measure(options);
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("\nIntegrated:        0.0 LU\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\nTrue peak:         -23.0 dBTP\n"), std::string::npos) << text.out;
}

TEST_F(MeasureReport, OverFlagsFollowTheirThresholds) {
    struct Case {
        double peakDb;
        bool integratedOver, truePeakOver;
    };
    // -21 LUFS is over -22 LUFS with a peak well under -1 dBTP; -0.5 dBFS is over both.
    for (const Case& c : {Case{-21.0, true, false}, Case{-0.5, true, true}, Case{-23.0, false, false}}) {
        const std::string path = dir_->file("over.wav");
        ASSERT_TRUE(writeProgramme(path, tone(48000, 2, 5.0, c.peakDb)));
        JsonObject json = jsonOf(measureJson(path));
        EXPECT_NEAR(json["integrated"].number, c.peakDb, 0.1) << c.peakDb;
        EXPECT_EQ(json["integratedOver"].boolean, c.integratedOver) << c.peakDb;
        EXPECT_EQ(json["truePeakOver"].boolean, c.truePeakOver) << c.peakDb;
    }
}

TEST_F(MeasureReport, ReadingsNotYetMeasuredAreNullInJsonAndDashesInText) {
    // 0.3 s: not one 400 ms window, so no loudness at all; the true peak exists.
    const std::string shortFile = dir_->file("short.wav");
    ASSERT_TRUE(writeProgramme(shortFile, tone(48000, 2, 0.3, -23.0)));
    JsonObject json = jsonOf(measureJson(shortFile));
    for (const char* key : {"integrated", "momentary", "shortTerm", "momentaryMax", "shortTermMax"})
        EXPECT_EQ(json[key].kind, JsonValue::Null) << key;
    EXPECT_EQ(json["loudnessRange"].kind, JsonValue::Number);
    EXPECT_EQ(json["loudnessRange"].number, 0.0);
    ASSERT_EQ(json["truePeak"].kind, JsonValue::Number);
    EXPECT_NEAR(json["truePeak"].number, -23.0, 0.2);
    EXPECT_EQ(json["seconds"].number, 0.3);

    Outcome text = measure(optionsFor(shortFile));
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("\nIntegrated:        --\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\nMomentary max:     --\n"), std::string::npos) << text.out;

    // 2 s: momentary windows exist, a 3 s short-term window does not.
    const std::string twoSeconds = dir_->file("two.wav");
    ASSERT_TRUE(writeProgramme(twoSeconds, tone(48000, 2, 2.0, -23.0)));
    JsonObject partial = jsonOf(measureJson(twoSeconds));
    ASSERT_EQ(partial["momentaryMax"].kind, JsonValue::Number);
    EXPECT_NEAR(partial["momentaryMax"].number, -23.0, 0.1);
    ASSERT_EQ(partial["integrated"].kind, JsonValue::Number);
    EXPECT_NEAR(partial["integrated"].number, -23.0, 0.1);
    EXPECT_EQ(partial["shortTerm"].kind, JsonValue::Null);
    EXPECT_EQ(partial["shortTermMax"].kind, JsonValue::Null);
}

TEST_F(MeasureReport, FileNameIsEscapedInJson) {
    const std::string path = dir_->file("say \"loud\" \\ back\tslash.wav");
    ASSERT_TRUE(writeProgramme(path, tone(44100, 1, 1.0, -20.0)));
    JsonObject json = jsonOf(measureJson(path));
    EXPECT_EQ(json["file"].string, path);
    EXPECT_EQ(json["sampleRate"].number, 44100.0);
    EXPECT_EQ(json["channels"].number, 1.0);
}

TEST_F(MeasureReport, BuiltInProgrammeWithoutFile) {
    // Three 10 s steps at -26, -20 and -23 dBFS: the power mean lies 0.67 dB above -23.
    JsonObject json = jsonOf(measureJson(""));
    EXPECT_EQ(json["file"].string, "built-in programme");
    EXPECT_EQ(json["seconds"].number, 30.0);
    EXPECT_EQ(json["sampleRate"].number, 48000.0);
    EXPECT_NEAR(json["integrated"].number, -22.3, 0.1);
    EXPECT_NEAR(json["momentaryMax"].number, -20.0, 0.1);
    EXPECT_NEAR(json["momentary"].number, -23.0, 0.1);
    EXPECT_NEAR(json["truePeak"].number, -20.0, 0.2);
    EXPECT_EQ(json["time"].string, "00:00:30");
}

} // namespace
