// Measuring through the processor alone, as the host without the view framework
// (Windows) does: it reports what the whole plug-in slot reports, and raw samples
// from a file or from standard input measure as the same audio.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "host/AudioSource.h"
#include "host/MeasureCommand.h"
#include "host/ProcessorMeasure.h"

namespace {

using NivoloHost::MeasureOptions;

// A raw file holds the built-in programme's format: 48 kHz stereo.
MeasureOptions options(bool json, bool lu, const std::string& rawFile = "") {
    MeasureOptions o;
    o.modulePath = NIVOLO_MODULE_PATH, o.file = rawFile, o.rawRate = rawFile.empty() ? 0.0 : 48000.0;
    o.rawChannels = 2, o.json = json, o.lu = lu;
    return o;
}

// The exit status, standard output and standard error.
std::tuple<int, std::string, std::string> processorMeasure(const MeasureOptions& o) {
    std::ostringstream out, err;
    const int status = NivoloHost::runProcessorMeasure(o, out, err);
    return {status, out.str(), err.str()};
}

// The report without what names the source: the header line, the JSON "file" field.
std::string readingsOnly(const std::string& report) {
    if (report.rfind("{\"file\": ", 0) == 0) return report.substr(report.find(", \"sampleRate\""));
    return report.substr(report.find('\n') + 1);
}

#if NIVOLO_HOST_VIEW
TEST(ProcessorMeasure, ReportsWhatTheWholePluginSlotReports) {
    for (bool json : {false, true})
        for (bool lu : {false, true}) {
            std::ostringstream out, err;
            ASSERT_EQ(NivoloHost::runMeasure(options(json, lu), out, err), 0) << err.str();
            EXPECT_EQ(processorMeasure(options(json, lu)), std::tuple(0, out.str(), std::string())) << json << lu;
        }
}
#endif

// The built-in programme as raw 32-bit floats, with extra bytes at the end.
std::string writeProgramme(const std::string& path, size_t extraBytes) {
    auto programme = NivoloHost::AudioSource::builtInProgramme();
    std::vector<float> samples(static_cast<size_t>(programme->frames() * programme->channels()));
    programme->read(samples.data(), programme->frames());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * sizeof(float)))
        .write("\x01\x02\x03\x04\x05\x06", static_cast<std::streamsize>(extraBytes));
    return path;
}

// Raw input that holds no whole frame, or cannot be read, fails with one line naming it.
TEST(ProcessorMeasure, RawSamplesReadAsTheSameAudioAndUnreadableOnesFailWithOneLine) {
    const std::string whole = writeProgramme("programme.f32", 0);
    const std::string ragged = writeProgramme("programme-ragged.f32", 6); // a frame cut short is left out
    for (bool json : {false, true}) {
        const auto [status, builtIn, error] = processorMeasure(options(json, false));
        ASSERT_EQ(status, 0) << error;
        for (const std::string& path : {whole, ragged, std::string("-")}) {
            ASSERT_TRUE(path != "-" || std::freopen(whole.c_str(), "rb", stdin));
            const auto [rawStatus, raw, rawError] = processorMeasure(options(json, false, path));
            ASSERT_EQ(rawStatus, 0) << rawError;
            EXPECT_EQ(readingsOnly(raw), readingsOnly(builtIn)) << path;
        }
    }
    std::ofstream("short.f32", std::ios::binary) << "abc"; // less than one sample
    for (const std::string& path : {std::string("short.f32"), std::string("missing/none.f32")}) {
        const auto [status, out, error] = processorMeasure(options(false, false, path));
        EXPECT_TRUE(status == 1 && out.empty()) << path;
        EXPECT_EQ(error.find('\n'), error.size() - 1) << error;
        EXPECT_NE(error.find(path), std::string::npos) << error;
    }
}

} // namespace
