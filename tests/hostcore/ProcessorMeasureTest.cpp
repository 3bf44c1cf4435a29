// Measuring through the processor alone, as the host without the view framework
// (Windows) does: it reports what the whole plug-in slot reports, and raw samples
// from a file or from standard input measure as the same audio.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/AudioSource.h"
#include "host/MeasureCommand.h"
#include "host/ProcessorMeasure.h"

namespace {

using NivoloHost::MeasureOptions;

struct Outcome {
    int status = -1;
    std::string out, err;
};

MeasureOptions options(bool json, bool lu) {
    MeasureOptions o;
    o.modulePath = NIVOLO_MODULE_PATH;
    o.json = json;
    o.lu = lu;
    return o;
}

Outcome processorMeasure(const MeasureOptions& o) {
    std::ostringstream out, err;
    Outcome r;
    r.status = NivoloHost::runProcessorMeasure(o, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
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
            SCOPED_TRACE(std::string(json ? "json" : "text") + (lu ? ", LU" : ", LUFS"));
            std::ostringstream out, err;
            ASSERT_EQ(NivoloHost::runMeasure(options(json, lu), out, err), 0) << err.str();
            const Outcome alone = processorMeasure(options(json, lu));
            ASSERT_EQ(alone.status, 0) << alone.err;
            EXPECT_EQ(alone.out, out.str());
        }
}
#endif

// The built-in programme written out as raw 32-bit floats, with extra bytes at the end.
std::string writeProgramme(const std::string& path, size_t extraBytes) {
    auto programme = NivoloHost::AudioSource::builtInProgramme();
    std::vector<float> samples(static_cast<size_t>(programme->frames() * programme->channels()));
    programme->read(samples.data(), programme->frames());
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * sizeof(float)));
    file.write("\x01\x02\x03\x04\x05\x06", static_cast<std::streamsize>(extraBytes));
    return path;
}

TEST(ProcessorMeasure, RawSamplesFromAFileOrStandardInputReadAsTheSameAudio) {
    const std::string whole = writeProgramme("programme.f32", 0);
    const std::string ragged = writeProgramme("programme-ragged.f32", 6); // a frame cut short is left out
    for (bool json : {false, true}) {
        const Outcome builtIn = processorMeasure(options(json, false));
        ASSERT_EQ(builtIn.status, 0) << builtIn.err;
        for (const std::string& path : {whole, ragged, std::string("-")}) {
            SCOPED_TRACE(path + (json ? " json" : " text"));
            MeasureOptions o = options(json, false);
            o.file = path;
            o.rawRate = 48000.0;
            o.rawChannels = 2;
            if (path == "-") {
                ASSERT_NE(std::freopen(whole.c_str(), "rb", stdin), nullptr);
            }
            const Outcome raw = processorMeasure(o);
            ASSERT_EQ(raw.status, 0) << raw.err;
            EXPECT_EQ(readingsOnly(raw.out), readingsOnly(builtIn.out));
        }
    }
}

TEST(ProcessorMeasure, RawInputThatHoldsNoFrameOrCannotBeReadFailsWithOneLine) {
    std::ofstream("short.f32", std::ios::binary) << "abc"; // less than one sample
    for (const std::string& path : {std::string("short.f32"), std::string("missing/none.f32")}) {
        MeasureOptions o = options(false, false);
        o.file = path;
        o.rawRate = 48000.0;
        o.rawChannels = 2;
        const Outcome r = processorMeasure(o);
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_TRUE(r.out.empty()) << path;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
    }
}

} // namespace
