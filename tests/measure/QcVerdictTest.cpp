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

QcTarget limits(std::optional<double> integrated, double tolerance, std::optional<double> maxTruePeak) {
    return {integrated, tolerance, maxTruePeak};
}

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
        {"a ceiling alone ignores loudness", limits(none, 1.0, -3.0), none, -3.0, {}},
        {"a ceiling alone", limits(none, 1.0, -3.0), -10.0, -2.99, {"true peak -2.99 dBTP above -3.00"}},
        {"no tolerance: only the target itself", limits(-16.0, 0.0, none), -16.0, 3.0, {}},
        {"no tolerance, a hundredth off", limits(-16.0, 0.0, none), -16.01, 3.0, {"integrated -16.01 LUFS below -16.00"}},
    };
    for (const Case& c : cases) {
        const QcVerdict verdict = QcVerdict::judge(c.target, c.integrated, c.truePeak);
        EXPECT_EQ(verdict.reasons(), c.reasons) << c.what;
        EXPECT_STREQ(verdict.text(), c.reasons.empty() ? "PASS" : "FAIL") << c.what;
    }
}

TEST(QcVerdict, PresetsAndReadingsAsTheHostReceivesThem) {
    EXPECT_FALSE(QcTarget::preset("r128").has_value());
    EXPECT_FALSE(QcTarget{}.any());

    MeterReadings r;
    r.apply(MeterReadings::kIntegrated, MeterReadings::normalizedFromReading(-22.5));
    r.apply(MeterReadings::kTruePeak, MeterReadings::normalizedFromReading(-0.42));
    EXPECT_FALSE(QcVerdict::of(QcTarget{}, r).has_value()) << "no target, no verdict";
    std::optional<QcVerdict> verdict = QcVerdict::of(preset("ebu-r128"), r);
    ASSERT_TRUE(verdict.has_value());
    EXPECT_EQ(verdict->reasons(), std::vector<std::string>{"true peak -0.42 dBTP above -1.00"});

    // In LU the readings are LUFS + 23: the target stays in LUFS.
    r.luMode = true;
    r.apply(MeterReadings::kIntegrated, MeterReadings::normalizedFromReading(2.69));
    verdict = QcVerdict::of(preset("ebu-r128"), r);
    ASSERT_TRUE(verdict.has_value());
    EXPECT_EQ(verdict->reasons(), (std::vector<std::string>{"integrated -20.31 LUFS above -22.50",
                                                            "true peak -0.42 dBTP above -1.00"}));
    // Below the meter's floor (-80 LUFS, -57 LU) there is no reading.
    r.apply(MeterReadings::kIntegrated, MeterReadings::normalizedFromReading(-57.0));
    r.apply(MeterReadings::kTruePeak, MeterReadings::normalizedFromReading(-80.0));
    verdict = QcVerdict::of(preset("ebu-r128"), r);
    ASSERT_TRUE(verdict.has_value());
    EXPECT_EQ(verdict->reasons(), std::vector<std::string>{"no integrated loudness (silent, or shorter than 0.4 s)"});
}

} // namespace
