// What `nivolo-host measure` prints for a file: the text report, the JSON
// object a script reads, the LU unit, readings that do not exist yet, figures
// with two decimals, and the timeline of the readings per 100 ms of audio.

#include <tuple>

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

class MeasureReport : public ::testing::Test {
protected:
    // The reference tone: 20 s of stereo 1 kHz at -23 dBFS peak on both channels reads -23 LUFS.
    static void SetUpTestSuite() {
        reference_ = file("reference.wav");
        ASSERT_TRUE(makeAudio(reference_, 48000, 20.0, {sine({-23.0}, 1e9, 1000.0)}, 2, "-c:a pcm_s16le"));
    }
    static inline std::string reference_;
};

TEST_F(MeasureReport, TextAndJsonOfTheReferenceToneInLufsAndLu) {
    Outcome run = host({"measure", reference_});
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
    // In LU the loudness readings are 23 higher; the range (a difference) and the true peak (dBTP) stay.
    std::vector<std::string> lu = lines(run.out);
    for (size_t i = 1; i <= 5; ++i) lu[i] = lu[i].substr(0, 19) + "0.0 LU";
    EXPECT_EQ(lines(host({"measure", reference_, "--lu"}).out), lu);
    NivoloHost::MeasureOptions options = optionsFor(reference_, true);
    options.lu = true;
    EXPECT_TRUE(std::regex_search(measure(options).out, std::regex(R"("unit": "LU", "integrated": -?0\.0\d,)")));

    // One line on a pipe, so that line-oriented scripts can take it as it comes; every figure with two decimals.
    run = host({"measure", reference_, "--json", "--block", "512"});
    std::string expected = R"(\{"file": ")" + reference_ + R"(", "sampleRate": 48000, "channels": 2, "seconds": 20\.00, )"
        R"("unit": "LUFS", "integrated": L, "momentary": L, "shortTerm": L, "momentaryMax": L, "shortTermMax": L, )"
        R"("loudnessRange": 0\.0\d, "truePeak": -2[23]\.\d\d, "time": "00:00:20", "integratedOver": false, )"
        R"("truePeakOver": false, "warning": null\}\n)";
    for (size_t at; (at = expected.find(": L,")) != std::string::npos;) expected.replace(at + 2, 1, R"(-2(?:2\.9\d|3\.0\d))");
    EXPECT_TRUE(std::regex_match(run.out, std::regex(expected))) << run.out;
    EXPECT_EQ(jsonOf(run).size(), 16u);
}

// Readings not there yet are null in JSON and dashes in text; the over flags follow their thresholds.
TEST_F(MeasureReport, ReadingsByLengthAndLevel) {
    struct Case {
        double seconds, peakDb;
        bool momentary, shortTerm; // a 400 ms window, a 3 s window
        bool integratedOver, truePeakOver;
    };
    for (const Case& c : {Case{0.3, -23.0, false, false, false, false}, Case{2.0, -23.0, true, false, false, false},
                          Case{5.0, -21.0, true, true, true, false}, Case{5.0, -0.5, true, true, true, true}}) {
        SCOPED_TRACE(c.seconds);
        const std::string path = file("tone.wav");
        ASSERT_TRUE(makeAudio(path, 48000, c.seconds, {sine({c.peakDb})}, 2));
        const JsonObject json = jsonOf(measureJson(path));
        for (const char* key : {"integrated", "momentary", "momentaryMax"})
            EXPECT_EQ(json[key].kind, c.momentary ? JsonValue::Number : JsonValue::Null) << key;
        for (const char* key : {"shortTerm", "shortTermMax"})
            EXPECT_EQ(json[key].kind, c.shortTerm ? JsonValue::Number : JsonValue::Null) << key;
        if (c.momentary) { EXPECT_NEAR(json["integrated"].number, c.peakDb, 0.1); }
        EXPECT_EQ(json["loudnessRange"].kind, JsonValue::Number);
        EXPECT_NEAR(json["truePeak"].number, c.peakDb, 0.2);
        EXPECT_EQ(json["seconds"].number, c.seconds);
        EXPECT_EQ(json["integratedOver"].boolean, c.integratedOver);
        EXPECT_EQ(json["truePeakOver"].boolean, c.truePeakOver);
        if (!c.momentary) { EXPECT_NE(measure(optionsFor(path)).out.find("\nIntegrated:        --\n"), std::string::npos); }
    }
}

// Two decimals in JSON, CSV and every timeline row: -23.04 and -22.96 LUFS are told apart.
TEST_F(MeasureReport, FiguresCarryTwoDecimals) {
    const std::regex twoDecimals(R"(-?\d+\.\d\d)");
    double integrated[2] = {};
    const double peaks[2] = {-23.04, -22.96};
    for (int i = 0; i < 2; ++i) {
        const std::string audio = file("tone.wav");
        ASSERT_TRUE(makeAudio(audio, 48000, 4.0, {sine({peaks[i]})}, 2));
        NivoloHost::MeasureOptions options = optionsFor(audio, true);
        options.timeline = file("timeline.csv");
        const Outcome run = measure(options);
        integrated[i] = jsonOf(run)["integrated"].number;
        EXPECT_TRUE(std::regex_search(run.out, std::regex(R"("integrated": -?\d+\.\d\d,)"))) << run.out;
        const std::vector<std::string> rows = lines(readText(options.timeline));
        ASSERT_GT(rows.size(), 30u);
        const std::vector<std::string> cells = csvFields(rows.back());
        for (size_t column = 1; column < cells.size(); ++column)
            EXPECT_TRUE(std::regex_match(cells[column], twoDecimals)) << column << ": " << rows.back();
        const Outcome csv = host({"measure", audio, audio, "--csv"});
        for (size_t column : {3, 5, 6, 7, 8, 9}) // seconds and the readings
            EXPECT_TRUE(std::regex_match(csvFields(lines(csv.out).at(1))[column], twoDecimals)) << csv.out;
    }
    // A steady tone reads its peak level within the K-weighting's few hundredths at 997 Hz;
    // the 0.08 dB between the two tones comes through to the hundredth.
    EXPECT_NEAR(integrated[0], -23.04, 0.05);
    EXPECT_NEAR(integrated[1] - integrated[0], 0.08, 0.01 + 1e-9);
}

// Names a script could choke on (a quote, a comma alone) come through JSON and CSV intact.
TEST_F(MeasureReport, FileNamesAreEscapedInJsonAndQuotedInCsv) {
    const std::string path = file("say \"loud\", \\ back\tslash.wav"), comma = file("left,right.wav");
    for (const std::string& name : {path, comma}) ASSERT_TRUE(makeAudio(name, 44100, 1.0, {sine({-20.0})}));
    EXPECT_EQ(jsonOf(measureJson(path))["file"].string, path);
    const Outcome csv = host({"measure", path, comma, "--csv"});
    const std::vector<std::string> rows = lines(csv.out);
    ASSERT_EQ(rows.size(), 3u) << csv.out;
    for (size_t row : {1u, 2u}) {
        EXPECT_EQ(csvFields(rows[row]).size(), csvFields(rows[0]).size()) << rows[row];
        EXPECT_EQ(csvFields(rows[row])[0], row == 1 ? path : comma);
    }
}

// Without a file: three 10 s steps at -26, -20 and -23 dBFS, whose power mean lies 0.67 dB above -23.
TEST_F(MeasureReport, BuiltInProgrammeWithoutFile) {
    EXPECT_TRUE(std::regex_search(measureJson("").out, std::regex(R"(^\{"file": "built-in programme", .*"seconds": 30\.00, .*)"
        R"("integrated": -22\.[23]\d, "momentary": -2[23]\.\d\d, .*"momentaryMax": -(19\.9|20\.0)\d, .*"time": "00:00:30")")));
}

// --timeline: a row per 100 ms of audio at any rate, each reading in its column
// once its window exists, the last row the state the final report describes.
TEST_F(MeasureReport, TimelineRowsFollowTheAudio) {
    for (const auto& [rate, seconds] : {std::pair{48000, 20.0}, {22050, 2.5}, {96000, 1.2}}) {
        SCOPED_TRACE(rate);
        const std::string audio = file("steps.wav");
        ASSERT_TRUE(makeAudio(audio, rate, seconds, {sine({-30.0, -18.0, -26.0, -23.0}, 5.0)}, 2));
        NivoloHost::MeasureOptions options = optionsFor(audio, true);
        options.timeline = file("timeline.csv");
        const JsonObject json = jsonOf(measure(options));
        const std::vector<std::string> text = lines(readText(options.timeline));
        ASSERT_EQ(text.size(), 1 + static_cast<size_t>(std::lround(seconds * 10)));
        EXPECT_EQ(text[0], "seconds,momentary,shortTerm,integrated,momentaryMax,shortTermMax,loudnessRange,truePeak");
        std::vector<std::vector<double>> rows; // the readings, NAN where there is none yet
        for (size_t i = 1; i < text.size(); ++i) {
            const std::vector<std::string> cells = csvFields(text[i]);
            ASSERT_EQ(cells.size(), 8u) << text[i];
            rows.emplace_back();
            for (const std::string& cell : cells) rows.back().push_back(cell.empty() ? NAN : std::stod(cell));
            const double t = rows.back()[0];
            ASSERT_NEAR(t, 0.1 * static_cast<double>(i), 1e-6);
            // Momentary and integrated from the first 400 ms window on, short-term from the first 3 s one.
            for (const auto& [column, none, some] : {std::tuple{1, 0.35, 1.0}, {3, 0.35, 1.0}, {2, 2.95, 4.0}, {6, 0.0, 0.0}, {7, 0.0, 0.0}})
                if (t < none || t > some) { EXPECT_EQ(std::isnan(rows.back()[static_cast<size_t>(column)]), t < none) << column << " at " << t; }
            if (t > 1.0) { EXPECT_GE(rows.back()[4], rows[rows.size() - 2][4]) << "the maximum falls at " << t; }
        }
        const std::vector<double>& last = rows.back();
        const char* keys[] = {"momentary", "shortTerm", "integrated", "momentaryMax", "shortTermMax", "loudnessRange", "truePeak"};
        for (size_t k = 0; k < 7; ++k)
            if (json[keys[k]].kind == JsonValue::Number) { EXPECT_NEAR(last[k + 1], json[keys[k]].number, k == 5 ? 0.5 : 0.1) << keys[k]; }
        if (seconds < 20.0) continue;
        for (const auto& [at, level] : {std::pair{4.5, -30.0}, {9.5, -18.0}, {14.5, -26.0}})
            EXPECT_NEAR(rows[static_cast<size_t>(std::lround(at * 10)) - 1][1], level, 0.1) << at;
    }
    // Where the timeline cannot be written, nothing is measured.
    NivoloHost::MeasureOptions options = optionsFor(reference_);
    options.timeline = file("no/such/directory/timeline.csv");
    const Outcome run = measure(options);
    EXPECT_TRUE(isOneLineFailure(run));
    EXPECT_NE(run.err.find(options.timeline), std::string::npos) << run.err;
}

} // namespace
