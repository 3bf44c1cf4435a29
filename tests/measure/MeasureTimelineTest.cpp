// --timeline: a CSV row of the readings per 100 ms of audio, ending where the
// final report starts.

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

const char* const kHeader = "seconds,momentary,shortTerm,integrated,momentaryMax,shortTermMax,loudnessRange,truePeak";

struct Row {
    double seconds = 0.0;
    std::vector<std::string> cells; // the seven readings; empty where there is none yet
};

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> cells;
    size_t start = 0;
    for (size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
        cells.push_back(line.substr(start, comma - start));
    cells.push_back(line.substr(start));
    return cells;
}

double number(const std::string& cell) {
    char* end = nullptr;
    const double v = std::strtod(cell.c_str(), &end);
    EXPECT_TRUE(!cell.empty() && end && *end == '\0') << "not a number: '" << cell << "'";
    return v;
}

enum Column { kMomentary, kShortTerm, kIntegrated, kMomentaryMax, kShortTermMax, kLoudnessRange, kTruePeak };

class MeasureTimeline : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.ok()); }

    // Measures with a timeline and the JSON report; the rows after the header.
    std::vector<Row> measureWithTimeline(const std::string& audio, JsonObject& json) {
        NivoloHost::MeasureOptions options = optionsFor(audio, true);
        options.timeline = dir_.file("timeline.csv");
        json = jsonOf(measure(options));
        const std::vector<std::string> text = lines(readText(options.timeline));
        EXPECT_EQ(text.empty() ? "" : text[0], kHeader);
        std::vector<Row> rows;
        for (size_t i = 1; i < text.size(); ++i) {
            std::vector<std::string> cells = split(text[i]);
            EXPECT_EQ(cells.size(), 8u) << text[i];
            if (cells.size() != 8u) return {};
            rows.push_back({number(cells[0]), std::vector<std::string>(cells.begin() + 1, cells.end())});
        }
        return rows;
    }

    ScratchDir dir_;
};

TEST_F(MeasureTimeline, OneRowPerTenthOfASecondEndingAtTheFinalReadings) {
    // 20 s: quiet, loud, then a steady end, so the late rows have settled.
    const std::string audio = dir_.file("steps.wav");
    ASSERT_TRUE(writeProgramme(audio, steps(48000, 2, 5.0, {-30.0, -18.0, -26.0, -23.0})));
    JsonObject json;
    const std::vector<Row> rows = measureWithTimeline(audio, json);
    ASSERT_EQ(rows.size(), 200u);
    for (size_t i = 0; i < rows.size(); ++i)
        ASSERT_NEAR(rows[i].seconds, 0.1 * static_cast<double>(i + 1), 1e-6) << "row " << i;

    // Before the first 400 ms window there is no momentary loudness; before the
    // first 3 s window no short-term loudness. Later every reading is there.
    for (const Row& row : rows) {
        if (row.seconds < 0.35) {
            EXPECT_TRUE(row.cells[kMomentary].empty()) << row.seconds;
        }
        if (row.seconds < 2.95) {
            EXPECT_TRUE(row.cells[kShortTerm].empty()) << row.seconds;
        }
        if (row.seconds > 1.0) {
            EXPECT_FALSE(row.cells[kMomentary].empty()) << row.seconds;
            EXPECT_FALSE(row.cells[kIntegrated].empty()) << row.seconds;
        }
        if (row.seconds > 4.0) {
            EXPECT_FALSE(row.cells[kShortTerm].empty()) << row.seconds;
        }
        EXPECT_FALSE(row.cells[kLoudnessRange].empty()) << row.seconds;
        EXPECT_FALSE(row.cells[kTruePeak].empty()) << row.seconds;
    }

    // The maxima never fall; the momentary loudness follows the steps.
    double lastMax = -1000.0;
    for (const Row& row : rows) {
        if (row.cells[kMomentaryMax].empty()) continue;
        const double m = number(row.cells[kMomentaryMax]);
        EXPECT_GE(m, lastMax) << row.seconds;
        lastMax = m;
    }
    auto at = [&](double seconds) -> const Row& { return rows[static_cast<size_t>(std::lround(seconds * 10.0)) - 1]; };
    EXPECT_NEAR(number(at(4.5).cells[kMomentary]), -30.0, 0.1);
    EXPECT_NEAR(number(at(9.5).cells[kMomentary]), -18.0, 0.1);
    EXPECT_NEAR(number(at(14.5).cells[kMomentary]), -26.0, 0.1);

    // The last row is the state the final report describes.
    const Row& last = rows.back();
    EXPECT_NEAR(number(last.cells[kIntegrated]), json["integrated"].number, 0.1);
    EXPECT_NEAR(number(last.cells[kMomentary]), json["momentary"].number, 0.1);
    EXPECT_NEAR(number(last.cells[kShortTerm]), json["shortTerm"].number, 0.1);
    EXPECT_NEAR(number(last.cells[kMomentaryMax]), json["momentaryMax"].number, 0.05);
    EXPECT_NEAR(number(last.cells[kShortTermMax]), json["shortTermMax"].number, 0.05);
    EXPECT_NEAR(number(last.cells[kLoudnessRange]), json["loudnessRange"].number, 0.5);
    EXPECT_NEAR(number(last.cells[kTruePeak]), json["truePeak"].number, 0.05);
}

TEST_F(MeasureTimeline, RowCountFollowsTheAudioLengthAtAnyRate) {
    for (const auto& [sampleRate, seconds] : {std::pair{44100, 3.0}, {22050, 2.5}, {96000, 1.2}}) {
        const std::string audio = dir_.file("tone.wav");
        ASSERT_TRUE(writeProgramme(audio, tone(sampleRate, 1, seconds, -20.0)));
        JsonObject json;
        const std::vector<Row> rows = measureWithTimeline(audio, json);
        EXPECT_NEAR(static_cast<double>(rows.size()), seconds * 10.0, 1.0) << sampleRate;
        ASSERT_FALSE(rows.empty());
        EXPECT_NEAR(rows.back().seconds, seconds, 0.1) << sampleRate;
    }
    // Where the timeline cannot be written, nothing is measured.
    NivoloHost::MeasureOptions options = optionsFor(dir_.file("tone.wav"));
    options.timeline = dir_.file("no/such/directory/timeline.csv");
    const Outcome run = measure(options);
    EXPECT_TRUE(isOneLineFailure(run));
    EXPECT_NE(run.err.find(options.timeline), std::string::npos) << run.err;
}

} // namespace
