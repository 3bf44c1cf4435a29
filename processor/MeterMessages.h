#pragma once
// The message ids and attribute keys that processor and controller exchange
// through their connection points (each message carries one attribute under
// its own id as key).

namespace Zel::MeterMessages {

// controller -> processor: the next processed block writes the readings as output values.
inline constexpr const char* kDataRequest = "PluginDataGet";
// controller -> processor: clear the held input / output level peaks.
inline constexpr const char* kResetMaxLevelIn = "resetMaxLevelIn";
inline constexpr const char* kResetMaxLevelOut = "resetMaxLevelOut";
// processor -> controller, on activation: the channel counts and the metering state.
inline constexpr const char* kChannels = "nChannels";
inline constexpr const char* kChannelsIn = "nChannelsIn";
inline constexpr const char* kChannelsOut = "nChannelsOut";
inline constexpr const char* kMetersProcessing = "vuMetersProcessing";
// processor -> controller, from the audio thread: the elapsed time "hh:mm:ss".
inline constexpr const char* kTime = "time";

} // namespace Zel::MeterMessages
