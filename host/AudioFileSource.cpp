// Sound files through libsndfile (the Linux host only: no Windows build of it here).

#include "host/AudioSource.h"

#include <sndfile.h>

#include <sstream>

namespace NivoloHost {

namespace {

class SoundFileSource : public AudioSource {
public:
    SoundFileSource(SNDFILE* file, const SF_INFO& info, std::string path)
        : file_(file), info_(info), path_(std::move(path)) {}
    ~SoundFileSource() override { sf_close(file_); }

    double sampleRate() const override { return info_.samplerate; }
    int32_t channels() const override { return info_.channels; }
    int64_t frames() const override { return info_.frames; }
    int64_t read(float* interleaved, int64_t count) override { return sf_readf_float(file_, interleaved, count); }
    std::string name() const override { return path_; }

private:
    SNDFILE* file_;
    SF_INFO info_;
    std::string path_;
};

// libsndfile reads a WAV or AIFF file whose data chunk runs past the end of the
// file as the shorter file it has become, and says so only in its log.
bool dataChunkCutShort(SNDFILE* file) {
    char log[16384] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log - 1);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const size_t tag = line.find_first_not_of(' ');
        if (tag == std::string::npos) continue;
        const bool dataChunk = line.compare(tag, 6, "data :") == 0 || line.compare(tag, 6, "SSND :") == 0;
        if (dataChunk && line.find("(should be") != std::string::npos) return true;
    }
    return false;
}

} // namespace

std::unique_ptr<AudioSource> AudioSource::openFile(const std::string& path, std::string& error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error = "cannot read '" + path + "' as audio: " + sf_strerror(nullptr);
        return nullptr;
    }
    if (dataChunkCutShort(file)) {
        sf_close(file);
        error = "'" + path + "' is cut short: it holds less audio than its header declares";
        return nullptr;
    }
    return std::make_unique<SoundFileSource>(file, info, path);
}

} // namespace NivoloHost
