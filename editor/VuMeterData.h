#pragma once
// Level-meter data: per channel a linear level with instant attack and a
// timed release, shown as a display position (0 empty, 1 full) on the
// built-in meter scale, or on the host's when it offers one. Views learn of
// changes through deferred notification.

#include <cstdint>
#include <vector>

#include "editor/CurveData.h"
#include "interfaces/ILevelMapping.h"

namespace Zel {

class VuMeterData : public CurveData {
public:
    ZEL_FOBJECT_CLASS(VuMeterData, CurveData)

    // Reserved ids besides the entries.
    static constexpr int32_t kIdColumnCount = 5000;
    static constexpr int32_t kIdFloorLevel = 5001;
    static constexpr int32_t kIdFullScale = 5002;
    static constexpr int32_t kIdPeakValue = 5003;
    static constexpr int32_t kIdValue5004 = 5004;
    // The meter type this module's meters give the host's meter services.
    static constexpr int32_t kMeterType = 1001;
    static constexpr int32_t kTableSize = 1000;

    // [ui thread] Takes the host's meter settings and level mapping when the
    // view framework offers them.
    VuMeterData(const int32_t* ids, int32_t count);
    explicit VuMeterData(const std::vector<int32_t>& ids)
        : VuMeterData(ids.data(), static_cast<int32_t>(ids.size())) {}
    ~VuMeterData() override;

    virtual bool usesHostMapping() const { return levelMapping_ != nullptr; }
    virtual void releaseHostMapping();
    // The falling level of channel after elapsedSeconds (0 when below 1e-9).
    virtual void release(int32_t channel, double elapsedSeconds, float& level, bool& changed);
    // Instant attack: the level itself.
    virtual float attack(float level, int32_t channel, double elapsedSeconds);
    virtual void updatePeak(float level, int32_t channel, bool& changed);
    virtual void hostMap(float& value) const;
    // Linear amplitude (0 .. full scale) to display position.
    virtual void mapToPosition(float& value) const;

    // id 5000: the column count; 5003, 5004: stored; an entry id: the level
    // update of that channel (release, attack, peak, position).
    void setValue(int32_t id, float value) override;
    // Also resets the per-channel release state.
    void setEntryCount(uint32_t count) override;
    // Reserved ids first, then the entries' positions.
    bool getValue(int32_t id, float& value) const override;

    void setColumnCount(int32_t count);

    float releaseRate() const { return releaseRate_; }
    float level(int32_t channel) const;
    double tableEntry(int32_t index) const { return table_[index]; }

protected:
    // The entry index of id: where id - firstId points, else by search.
    int32_t channelOf(int32_t id) const;

    int32_t columnCount_ = 6;
    float floorLevel_;
    float fullScale_;
    float releaseRate_ = 2.0f; // per second
    double tableScale_;
    ILevelMapping* levelMapping_ = nullptr;
    float peakValue_ = 0.0f;
    float value5004_ = 1.0f;
    int32_t firstId_ = 0;
    std::vector<double> lastUpdate_; // seconds
    std::vector<float> levels_;      // linear
    double table_[kTableSize];

private:
    void buildTable();
};

} // namespace Zel
