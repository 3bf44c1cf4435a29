#pragma once
// Level-meter data with a peak-hold level per channel (held for the hold
// time after the last new peak, then falling) and a maximum since the last
// clearMaxima.

#include "editor/VuMeterData.h"

namespace Zel {

class VuMeterPhData : public VuMeterData {
public:
    ZEL_FOBJECT_CLASS(VuMeterPhData, VuMeterData)

    // Channel c's maximum and peak-hold level, as positions (c < 12).
    static constexpr int32_t kIdMaximum = 5009;
    static constexpr int32_t kIdPeakHold = 5021;
    static constexpr int32_t kMaxAddressedChannels = 12;

    VuMeterPhData(const int32_t* ids, int32_t count);
    explicit VuMeterPhData(const std::vector<int32_t>& ids)
        : VuMeterPhData(ids.data(), static_cast<int32_t>(ids.size())) {}

    void setEntryCount(uint32_t count) override;
    bool getValue(int32_t id, float& value) const override;
    void release(int32_t channel, double elapsedSeconds, float& level, bool& changed) override;
    void updatePeak(float level, int32_t channel, bool& changed) override;

    // [ui thread] Every channel's maximum back to 0.
    void clearMaxima();

    float holdReleaseRate() const { return holdReleaseRate_; }
    float holdTime() const { return holdTime_; }
    float peakHold(int32_t channel) const;
    float maximum(int32_t channel) const;

protected:
    float holdReleaseRate_ = 2.0f; // per second
    float holdTime_ = 2.0f;        // seconds
    std::vector<float> holdCountdown_;
    std::vector<float> peakHold_;
    std::vector<float> maximum_;

private:
    void resizeHoldState(uint32_t count);
};

} // namespace Zel
