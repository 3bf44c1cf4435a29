#include "host/ProcessorMeasure.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

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

// The session opened and closed under the pass's set-up lock, when it has one.
class LockedSession {
public:
    explicit LockedSession(std::mutex* lock) : lock_(lock) {}
    ~LockedSession() {
        std::unique_lock<std::mutex> hold = held();
        session_.close();
    }
    bool open(Zel::IPluginFactory* factory, const Zel::TUID& cid, const ProcessingSession::Options& setup,
              std::string& error) {
        std::unique_lock<std::mutex> hold = held();
        return session_.open(factory, cid, setup, error);
    }
    ProcessingSession& operator*() { return session_; }
    ProcessingSession* operator->() { return &session_; }

private:
    std::unique_lock<std::mutex> held() { return lock_ ? std::unique_lock<std::mutex>(*lock_) : std::unique_lock<std::mutex>(); }
    std::mutex* lock_;
    ProcessingSession session_;
};

} // namespace

bool playThroughProcessor(Zel::IPluginFactory* factory, AudioSource& source, const ProcessorPass& pass,
                          ProcessorResult& result, std::string& error) {
    const std::string name = "'" + source.name() + "'";
    if (source.channels() < 1 || source.channels() > kMaxChannels) {
        error = name + " has " + std::to_string(source.channels()) + " channels; the meter measures 1 to 14";
        return false;
    }
    if (!(source.sampleRate() >= 1.0)) {
        error = name + " has no valid sample rate";
        return false;
    }
    if (source.sampleRate() > kMaxSampleRate) {
        error = name + " has a sample rate of " + std::to_string(std::llround(source.sampleRate())) +
                " Hz; the meter measures up to " + std::to_string(std::llround(kMaxSampleRate)) + " Hz";
        return false;
    }
    Zel::TUID processorClass{};
    if (!findProcessorClass(factory, processorClass)) {
        error = "the module offers no audio processor";
        return false;
    }
    LockedSession session(pass.setupLock);
    ProcessingSession::Options setup;
    setup.sampleRate = source.sampleRate();
    setup.channels = source.channels();
    setup.arrangement = source.arrangement();
    setup.blockSize = pass.blockSize;
    setup.processMode = Zel::kOffline;
    if (!session.open(factory, processorClass, setup, error)) return false;
    // The unit switch reaches the processor as the controller's edit would.
    if (pass.lu) session->changeParameter(MeterReadings::kUnitSwitch, 1.0);

    const auto requestStep = std::max<int64_t>(1, std::llround(kRequestStep * source.sampleRate()));
    int64_t done = 0, nextRequest = requestStep;
    {
        SourcePrefetcher reader(source, pass.blockSize, -1);
        float* const* planar = nullptr;
        for (int32_t got; (got = reader.next(planar)) > 0;) {
            session->processBlock(planar, planar, got);
            done += got;
            if (done >= nextRequest) {
                session->requestData();
                nextRequest = (done / requestStep + 1) * requestStep;
                if (pass.framesDone) pass.framesDone->store(done, std::memory_order_relaxed);
            }
        }
    }
    if (pass.framesDone) pass.framesDone->store(done, std::memory_order_relaxed);
    if (done == 0) {
        error = name + " holds no audio";
        return false;
    }
    settle(*session);
    if (!session->readings().received) {
        error = "the processor sent no readings";
        return false;
    }
    result.readings = session->readings();
    result.frames = done;
    return true;
}

int runProcessorMeasure(const MeasureOptions& options, std::ostream& out, std::ostream& err) {
    if (options.blockSize < 1 || options.blockSize > 1 << 20) return fail(err, "--block must be between 1 and 1048576");
    std::string error;
    std::unique_ptr<AudioSource> source;
    if (options.rawRate > 0.0) source = AudioSource::openRaw(options.file, options.rawRate, options.rawChannels, error);
    else if (options.file.empty()) source = AudioSource::builtInProgramme();
    else error = "this host reads no sound files: give raw samples with --raw RATE CHANNELS";
    if (!source) return fail(err, error);

    PluginModule module;
    if (!module.load(options.modulePath, error)) return fail(err, error);
    ProcessorPass pass;
    pass.blockSize = options.blockSize;
    pass.lu = options.lu;
    ProcessorResult result;
    if (!playThroughProcessor(module.factory(), *source, pass, result, error)) return fail(err, error);

    const MeterReadings& readings = result.readings;
    const double seconds = static_cast<double>(result.frames) / source->sampleRate();
    const std::optional<QcVerdict> verdict = QcVerdict::of(options.target, readings);
    if (options.json) {
        printJson(readings, readings.time, *source, seconds, out, verdict ? &*verdict : nullptr);
    } else {
        printReportHeader(*source, seconds, out);
        printReadingLines([&readings](int32_t id) { return readingText(readings, id); }, readings.time,
                          readings.integratedOver, readings.truePeakOver, out);
        if (verdict) printVerdictLine(*verdict, out);
    }
    return verdict && !verdict->pass() ? kExitQcFail : 0;
}

} // namespace NivoloHost
