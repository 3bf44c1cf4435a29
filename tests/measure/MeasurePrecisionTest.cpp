// The figures a script reads carry two decimals, decoded from the values the
// plug-in sends: -23.04 and -22.96 LUFS are told apart in the JSON and in
// every timeline row.

#include <regex>

#include "MeasureTestSupport.h"

namespace {

using namespace MeasureTesting;

TEST(MeasurePrecision, JsonAndTimelineTellHundredthsApart) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::regex twoDecimals(R"(-?\d+\.\d\d)");
    double integrated[2] = {};
    const double peaks[2] = {-23.04, -22.96};
    for (int i = 0; i < 2; ++i) {
        const std::string audio = dir.file("tone.wav");
        ASSERT_TRUE(writeProgramme(audio, tone(48000, 2, 4.0, peaks[i], 997.0)));
        NivoloHost::MeasureOptions options = optionsFor(audio, true);
        options.timeline = dir.file("timeline.csv");
        const Outcome run = measure(options);
        const JsonObject json = jsonOf(run);
        integrated[i] = json["integrated"].number;
        EXPECT_TRUE(std::regex_search(run.out, std::regex(R"("integrated": -?\d+\.\d\d,)"))) << run.out;
        const std::vector<std::string> rows = lines(readText(options.timeline));
        ASSERT_GT(rows.size(), 30u);
        // The last row: every reading there, each with two decimals.
        std::istringstream cells(rows.back());
        std::string cell;
        std::getline(cells, cell, ','); // the time
        for (int column = 0; std::getline(cells, cell, ','); ++column)
            EXPECT_TRUE(std::regex_match(cell, twoDecimals)) << "column " << column << ": " << rows.back();
    }
    // A steady tone reads its peak level within the K-weighting's few hundredths at 997 Hz;
    // the 0.08 dB between the two tones comes through to the hundredth.
    EXPECT_NEAR(integrated[0], -23.04, 0.05);
    EXPECT_NEAR(integrated[1] - integrated[0], 0.08, 0.01 + 1e-9);
}

} // namespace
