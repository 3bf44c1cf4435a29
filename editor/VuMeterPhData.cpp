#include "editor/VuMeterPhData.h"

#include <algorithm>

#include "editor/HostFramework.h"
#include "interfaces/IMeterSettings.h"
#include "interfaces/IPtr.h"

namespace Zel {

namespace {
constexpr float kSilence = 1e-9f;
constexpr float kInitialCountdown = 2.0f;

float channelValue(const std::vector<float>& values, int32_t channel) {
    return channel >= 0 && static_cast<size_t>(channel) < values.size() ? values[static_cast<size_t>(channel)] : 0.0f;
}
} // namespace

VuMeterPhData::VuMeterPhData(const int32_t* ids, int32_t count) : VuMeterData(ids, count) {
    if (IPtr<IMeterSettings> settings = IPtr<IMeterSettings>::adopt(HostFramework::createAs<IMeterSettings>(IMeterSettings_iid))) {
        holdReleaseRate_ = static_cast<float>(1.0 - settings->holdReleaseValue(1.0, 1.0, 0));
        holdTime_ = static_cast<float>(settings->holdTime(0));
    }
    resizeHoldState(entryCount_);
}

void VuMeterPhData::resizeHoldState(uint32_t count) {
    holdCountdown_.assign(count, kInitialCountdown);
    peakHold_.assign(count, 0.0f);
    maximum_.assign(count, 0.0f);
}

void VuMeterPhData::setEntryCount(uint32_t count) {
    VuMeterData::setEntryCount(count);
    if (count != peakHold_.size()) resizeHoldState(count);
}

bool VuMeterPhData::getValue(int32_t id, float& value) const {
    const int64_t channels = std::min<int64_t>(entryCount_, kMaxAddressedChannels);
    const std::vector<float>* source = nullptr;
    int64_t c = -1;
    if (id >= kIdMaximum && id - kIdMaximum < channels) {
        source = &maximum_;
        c = id - kIdMaximum;
    } else if (id >= kIdPeakHold && id - kIdPeakHold < channels) {
        source = &peakHold_;
        c = id - kIdPeakHold;
    }
    if (!source || static_cast<size_t>(c) >= source->size()) return VuMeterData::getValue(id, value);
    value = (*source)[static_cast<size_t>(c)];
    mapToPosition(value);
    return true;
}

void VuMeterPhData::release(int32_t channel, double elapsedSeconds, float& level, bool& changed) {
    VuMeterData::release(channel, elapsedSeconds, level, changed);
    const auto c = static_cast<size_t>(channel);
    holdCountdown_[c] -= static_cast<float>(elapsedSeconds);
    if (holdCountdown_[c] > 0.0f) return;
    float held = static_cast<float>(static_cast<double>(peakHold_[c]) * (1.0 - elapsedSeconds * holdReleaseRate_));
    if (held < kSilence) held = 0.0f;
    if (held != peakHold_[c]) changed = true;
    peakHold_[c] = held;
    // Stays expired until the next new peak.
    holdCountdown_[c] = 0.0f;
}

void VuMeterPhData::updatePeak(float level, int32_t channel, bool& changed) {
    const auto c = static_cast<size_t>(channel);
    if (level >= peakHold_[c]) {
        peakHold_[c] = level;
        holdCountdown_[c] = holdTime_;
        changed = true;
    }
    maximum_[c] = std::max(peakHold_[c], maximum_[c]);
}

void VuMeterPhData::clearMaxima() { std::fill(maximum_.begin(), maximum_.end(), 0.0f); }

float VuMeterPhData::peakHold(int32_t channel) const { return channelValue(peakHold_, channel); }
float VuMeterPhData::maximum(int32_t channel) const { return channelValue(maximum_, channel); }

} // namespace Zel
