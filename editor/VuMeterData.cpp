#include "editor/VuMeterData.h"

#include <algorithm>
#include <cmath>

#include "editor/HostFramework.h"
#include "interfaces/IMeterSettings.h"
#include "interfaces/IPtr.h"

namespace Zel {

namespace {
constexpr float kSilence = 1e-9f;
// The scale, in amplitude decibels of the value.
constexpr double kFloorDb = -96.0;    // below: the bar is dark
constexpr double kFullScaleDb = 3.0;  // the top of the bar
constexpr double kKneeDb = -24.0;     // above: linear in decibels; below: a power curve
constexpr double kBottomDb = -60.0;   // where the power curve reaches 0
constexpr double kKneePosition = 0.32; // the bar's height at the knee
constexpr double kLowCurvePower = 0.7;

double amplitude(double db) { return std::pow(10.0, db / 20.0); }
} // namespace

VuMeterData::VuMeterData(const int32_t* ids, int32_t count)
    : CurveData(ids, count),
      floorLevel_(static_cast<float>(amplitude(kFloorDb))),
      fullScale_(static_cast<float>(amplitude(kFullScaleDb))),
      tableScale_((kTableSize - 1) / fullScale_) {
    firstId_ = ids_.empty() ? 0 : ids_.front();
    lastUpdate_.assign(entryCount_, 0.0);
    levels_.assign(entryCount_, 0.0f);
    if (IPtr<IMeterSettings> settings = IPtr<IMeterSettings>::adopt(HostFramework::createAs<IMeterSettings>(IMeterSettings_iid)))
        releaseRate_ = static_cast<float>(1.0 - settings->releaseValue(1.0, 1.0, 0));
    levelMapping_ = HostFramework::createAs<ILevelMapping>(ILevelMapping_iid);
    buildTable();
}

VuMeterData::~VuMeterData() { releaseHostMapping(); }

// Above the knee the scale is linear in decibels up to full scale (0.32 .. 1);
// below, a power curve takes it to 0 at the bottom. The table is indexed by
// the value scaled to 0 .. kTableSize - 1 at full scale.
void VuMeterData::buildTable() {
    const double s = tableScale_;
    const double knee = amplitude(kKneeDb) * s;
    const double bottom = amplitude(kBottomDb) * s;
    const double top = std::log10(kTableSize - 1.0);
    const double lowSpan = std::pow(knee - bottom, kLowCurvePower);
    const double slope = (kKneePosition - 1.0) / (std::log10(knee) - top);
    table_[0] = 0.0;
    for (int32_t i = 1; i < kTableSize; ++i) {
        const double x = i;
        table_[i] = x < knee ? kKneePosition * std::pow(x - bottom, kLowCurvePower) / lowSpan
                             : 1.0 + (std::log10(x) - top) * slope;
    }
}

void VuMeterData::releaseHostMapping() {
    if (ILevelMapping* mapping = levelMapping_) {
        levelMapping_ = nullptr;
        mapping->Release();
    }
}

void VuMeterData::release(int32_t channel, double elapsedSeconds, float& level, bool&) {
    const auto c = static_cast<size_t>(channel);
    level = static_cast<float>(static_cast<double>(levels_[c]) * (1.0 - elapsedSeconds * releaseRate_));
    if (level < kSilence) level = 0.0f;
}

float VuMeterData::attack(float level, int32_t, double) { return level; }

void VuMeterData::updatePeak(float, int32_t, bool&) {}

void VuMeterData::hostMap(float& value) const {
    if (!levelMapping_) return;
    double mapped = value;
    levelMapping_->mapValue(&mapped, kMeterType);
    value = static_cast<float>(mapped);
}

void VuMeterData::mapToPosition(float& value) const {
    if (levelMapping_) {
        hostMap(value);
        return;
    }
    const double scaled = std::floor(static_cast<double>(value) * tableScale_ + 0.5);
    const auto index = static_cast<int32_t>(std::clamp(scaled, 0.0, static_cast<double>(kTableSize - 1)));
    double position = table_[index];
    // An audible level never shows as empty: half the first step.
    if (position == 0.0 && value >= floorLevel_) position = table_[1] / 2.0;
    value = static_cast<float>(position);
}

int32_t VuMeterData::channelOf(int32_t id) const {
    const int64_t guess = static_cast<int64_t>(id) - firstId_;
    if (guess >= 0 && guess < static_cast<int64_t>(std::min<size_t>(entryCount_, ids_.size())) &&
        ids_[static_cast<size_t>(guess)] == id)
        return static_cast<int32_t>(guess);
    return indexOf(id);
}

void VuMeterData::setValue(int32_t id, float value) {
    if (id == kIdColumnCount) {
        setColumnCount(static_cast<int32_t>(std::trunc(value)));
        return;
    }
    if (id == kIdPeakValue || id == kIdValue5004) {
        float& stored = id == kIdPeakValue ? peakValue_ : value5004_;
        if (stored == value) return;
        stored = value;
        deferChange(firstId_);
        return;
    }
    const int32_t c = channelOf(id);
    if (c < 0) return;
    const auto ci = static_cast<size_t>(c);

    bool changed = false;
    float released = 0.0f;
    double elapsed = 0.0;
    if (ITimeService* time = HostFramework::timeService()) {
        const double now = time->currentMilliseconds() * 0.001;
        elapsed = now - lastUpdate_[ci];
        release(c, elapsed, released, changed);
        lastUpdate_[ci] = now;
    }

    const float clamped = value > 0.0f ? std::min(value, fullScale_) : 0.0f;
    float level;
    if (released > clamped) {
        level = released;
    } else {
        level = clamped;
        if (clamped > levels_[ci]) level = attack(clamped, c, elapsed);
    }
    if (level < kSilence) level = 0.0f;
    levels_[ci] = level;

    updatePeak(level, c, changed);

    float position = level;
    mapToPosition(position);
    if (position != values_[ci]) {
        values_[ci] = position;
        changed = true;
    }
    if (changed) deferChange(firstId_);
}

void VuMeterData::setEntryCount(uint32_t count) {
    CurveData::setEntryCount(count);
    lastUpdate_.assign(count, 0.0);
    levels_.assign(count, 0.0f);
}

bool VuMeterData::getValue(int32_t id, float& value) const {
    switch (id) {
    case kIdColumnCount: value = static_cast<float>(columnCount_); return true;
    case kIdFloorLevel: value = floorLevel_; return true;
    case kIdFullScale: value = fullScale_; return true;
    case kIdPeakValue: value = peakValue_; return true;
    case kIdValue5004: value = value5004_; return true;
    default: return CurveData::getValue(id, value);
    }
}

void VuMeterData::setColumnCount(int32_t count) {
    columnCount_ = count;
    deferChange(kIdColumnCount);
}

float VuMeterData::level(int32_t channel) const {
    return channel >= 0 && static_cast<size_t>(channel) < levels_.size() ? levels_[static_cast<size_t>(channel)] : 0.0f;
}

} // namespace Zel
