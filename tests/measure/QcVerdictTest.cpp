// The verdict against a delivery target: limits met exactly pass, a hundredth
// beyond fails with a reason naming the reading and the limit as printed, and
// a reading the meter does not have fails or passes as it should.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/QcVerdict.h"

namespace {

using NivoloHost::MeterReadings;
using NivoloHost::QcTarget;
using NivoloHost::QcVerdict;

QcTarget preset(const char* name) { return QcTarget::preset(name).value_or(QcTarget{}); }

TEST(QcVerdict, LimitsAreMetToTheHundredthAsPrinted) {
    struct Case {
        const char* what;
        QcTarget target;
        std::optional<double> integrated, truePeak;
        std::vector<std::string> reasons; // none: PASS
    };
    const std::optional<double> none;
    const Case cases[] = {
        {"ebu-r128 at its upper edge", preset("ebu-r128"), -22.5, -1.0, {}},
        {"ebu-r128 at its lower edge", preset("ebu-r128"), -23.5, -30.0, {}},
        {"printed as the edge", preset("ebu-r128"), -22.4951, -0.9951, {}},
        {"a hundredth loud", preset("ebu-r128"), -22.49, -1.2, {"integrated -22.49 LUFS above -22.50"}},
        {"rounds to a hundredth loud", preset("ebu-r128"), -22.4949, -1.2, {"integrated -22.49 LUFS above -22.50"}},
        {"a hundredth quiet", preset("ebu-r128"), -23.51, -1.2, {"integrated -23.51 LUFS below -23.50"}},
        {"loud and peaking", preset("ebu-r128"), -20.31, -0.42,
         {"integrated -20.31 LUFS above -22.50", "true peak -0.42 dBTP above -1.00"}},
        {"peaking over full scale", preset("ebu-r128"), -23.0, 0.5, {"true peak 0.50 dBTP above -1.00"}},
        {"silence has no integrated loudness", preset("ebu-r128"), none, none,
         {"no integrated loudness (silent, or shorter than 0.4 s)"}},
        {"atsc-a85 at both edges", preset("atsc-a85"), -26.0, -2.0, {}},
        {"atsc-a85 beyond both", preset("atsc-a85"), -26.01, -1.99,
         {"integrated -26.01 LUFS below -26.00", "true peak -1.99 dBTP above -2.00"}},
        {"streaming at its upper edge", preset("streaming"), -13.0, -1.0, {}},
        {"streaming a hundredth loud", preset("streaming"), -12.99, -3.0, {"integrated -12.99 LUFS above -13.00"}},
        {"a ceiling alone ignores loudness", QcTarget{none, 1.0, -3.0}, none, -3.0, {}},
        {"a ceiling alone", QcTarget{none, 1.0, -3.0}, -10.0, -2.99, {"true peak -2.99 dBTP above -3.00"}},
        {"no tolerance: only the target itself", QcTarget{-16.0, 0.0, none}, -16.0, 3.0, {}},
        {"no tolerance, a hundredth off", QcTarget{-16.0, 0.0, none}, -16.01, 3.0, {"integrated -16.01 LUFS below -16.00"}},
    };
    for (const Case& c : cases) {
        const QcVerdict verdict = QcVerdict::judge(c.target, c.integrated, c.truePeak);
        EXPECT_EQ(verdict.reasons(), c.reasons) << c.what;
        EXPECT_STREQ(verdict.text(), c.reasons.empty() ? "PASS" : "FAIL") << c.what;
    }
}

// The readings as the plug-in sends them; in LU they are LUFS + 23 and the target stays in LUFS.
TEST(QcVerdict, PresetsAndReadingsAsTheHostReceivesThem) {
    EXPECT_FALSE(QcTarget::preset("r128").has_value());
    auto reasons = [](double integrated, double truePeak, bool lu, const QcTarget& target = preset("ebu-r128")) {
        MeterReadings r;
        r.luMode = lu;
        r.apply(MeterReadings::kIntegrated, MeterReadings::normalizedFromReading(integrated));
        r.apply(MeterReadings::kTruePeak, MeterReadings::normalizedFromReading(truePeak));
        const std::optional<QcVerdict> verdict = QcVerdict::of(target, r);
        return verdict ? verdict->reasons() : std::vector<std::string>{"no verdict"};
    };
    EXPECT_EQ(reasons(-22.5, -0.42, false, QcTarget{}), std::vector<std::string>{"no verdict"});
    EXPECT_EQ(reasons(-22.5, -0.42, false), std::vector<std::string>{"true peak -0.42 dBTP above -1.00"});
    EXPECT_EQ(reasons(2.69, -3.0, true), std::vector<std::string>{"integrated -20.31 LUFS above -22.50"});
    EXPECT_EQ(reasons(-0.5, -3.0, true), std::vector<std::string>{});
    // Below the meter's floor (-57 LU, -80 dBTP) there is no reading.
    EXPECT_EQ(reasons(-57.0, -80.0, true), std::vector<std::string>{"no integrated loudness (silent, or shorter than 0.4 s)"});
}

} // namespace
