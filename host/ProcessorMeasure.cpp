#include "host/ProcessorMeasure.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "host/AudioSource.h"
#include "host/MeasureReport.h"
#include "host/PluginModule.h"
#include "host/ProcessingSession.h"
#include "host/SourcePrefetcher.h"

namespace NivoloHost {

namespace {

constexpr int kMaxChannels = 14;
constexpr double kMaxSampleRate = 768000.0; // as runMeasure: a forged rate would cost gigabytes
constexpr double kRequestStep = 0.1;        // seconds of audio between data requests, as the editor's idle tick

int fail(std::ostream& err, const std::string& message) {
    err << "nivolo-host: " << message << "\n";
    return 1;
}

bool findProcessorClass(Zel::IPluginFactory* factory, Zel::TUID& cid) {
    for (int32_t i = 0; factory && i < factory->classCount(); ++i) {
        Zel::ClassInfo info{};
        if (factory->readClassInfo(i, &info) == Zel::kResultOk &&
            std::strncmp(info.category, "Audio Module Class", sizeof info.category) == 0) {
            cid = info.cid;
            return true;
        }
    }
    return false;
}

// Offline the module has evaluated every window it was given: one request and
// one empty block bring the final readings.
void settle(ProcessingSession& session) {
    session.requestData();
    session.processNothing();
}

} // namespace

int runProcessorMeasure(const MeasureOptions& options, std::ostream& out, std::ostream& err) {
    if (options.blockSize < 1 || options.blockSize > 1 << 20) return fail(err, "--block must be between 1 and 1048576");
    std::string error;
    std::unique_ptr<AudioSource> source;
    if (options.rawRate > 0.0) source = AudioSource::openRaw(options.file, options.rawRate, options.rawChannels, error);
    else if (options.file.empty()) source = AudioSource::builtInProgramme();
    else error = "this host reads no sound files: give raw samples with --raw RATE CHANNELS";
    if (!source) return fail(err, error);
    const std::string name = "'" + source->name() + "'";
    if (source->channels() < 1 || source->channels() > kMaxChannels)
        return fail(err, name + " has " + std::to_string(source->channels()) + " channels; the meter measures 1 to 14");
    if (!(source->sampleRate() >= 1.0)) return fail(err, name + " has no valid sample rate");
    if (source->sampleRate() > kMaxSampleRate)
        return fail(err, name + " has a sample rate of " + std::to_string(std::llround(source->sampleRate())) +
                             " Hz; the meter measures up to " + std::to_string(std::llround(kMaxSampleRate)) + " Hz");

    PluginModule module;
    if (!module.load(options.modulePath, error)) return fail(err, error);
    Zel::TUID processorClass{};
    if (!findProcessorClass(module.factory(), processorClass)) return fail(err, "the module offers no audio processor");
    ProcessingSession session;
    ProcessingSession::Options setup;
    setup.sampleRate = source->sampleRate();
    setup.channels = source->channels();
    setup.blockSize = options.blockSize;
    setup.processMode = Zel::kOffline;
    if (!session.open(module.factory(), processorClass, setup, error)) return fail(err, error);
    // The unit switch reaches the processor as the controller's edit would.
    if (options.lu) session.changeParameter(MeterReadings::kUnitSwitch, 1.0);

    const auto requestStep = std::max<int64_t>(1, std::llround(kRequestStep * source->sampleRate()));
    int64_t done = 0, nextRequest = requestStep;
    {
        SourcePrefetcher reader(*source, options.blockSize, -1);
        float* const* planar = nullptr;
        for (int32_t got; (got = reader.next(planar)) > 0;) {
            session.processBlock(planar, planar, got);
            done += got;
            if (done >= nextRequest) {
                session.requestData();
                nextRequest = (done / requestStep + 1) * requestStep;
            }
        }
    }
    if (done == 0) return fail(err, name + " holds no audio");
    settle(session);
    const MeterReadings& readings = session.readings();
    if (!readings.received) return fail(err, "the processor sent no readings");

    const double seconds = static_cast<double>(done) / source->sampleRate();
    if (options.json) {
        printJson(readings, readings.time, *source, seconds, out);
    } else {
        printReportHeader(*source, seconds, out);
        printReadingLines([&readings](int32_t id) { return readingText(readings, id); }, readings.time,
                          readings.integratedOver, readings.truePeakOver, out);
    }
    return 0;
}

} // namespace NivoloHost
