// A media file or standard input decoded by FFmpeg: one audio stream, at its
// own rate (no resampling), converted to interleaved 32-bit floats and handed
// out with its channels in the order of the plug-in's speaker arrangement.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <type_traits>
#include <vector>

#include "host/AudioSource.h"
#include "host/SpeakerMapping.h"

namespace NivoloHost {

namespace {

std::string errorText(int code) {
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buffer, sizeof buffer);
    std::string text = buffer;
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// "HH:MM:SS.mmm" of a position in the audio.
std::string clockText(int64_t frames, int rate) {
    const int64_t ms = rate > 0 ? frames * 1000 / rate : 0;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000));
    return buffer;
}

std::string layoutText(const AVChannelLayout& layout) {
    char buffer[128] = {};
    if (av_channel_layout_describe(&layout, buffer, sizeof buffer) < 0) return std::to_string(layout.nb_channels) + " channels";
    return buffer;
}

// The meter's channels from the stream's layout; a layout that names no
// speakers keeps the stream's order.
SpeakerMapping mappingFor(const AVChannelLayout& layout) {
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC || layout.order == AV_CHANNEL_ORDER_AMBISONIC)
        return SpeakerMapping::unnamed(layout.nb_channels);
    std::vector<int> ids;
    for (int i = 0; i < layout.nb_channels; ++i)
        ids.push_back(av_channel_layout_channel_from_index(&layout, static_cast<unsigned>(i)));
    return SpeakerMapping::forChannels(ids);
}

// The libraries' own log would add lines to the one-line errors and reports.
void silenceLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

class MediaFileSource : public AudioSource {
public:
    explicit MediaFileSource(const std::string& path)
        : path_(path), piped_(path == "-"), name_(piped_ ? "standard input" : path) {}
    ~MediaFileSource() override {
        swr_free(&convert_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&codec_);
        avformat_close_input(&format_);
        av_channel_layout_uninit(&layout_);
    }

    bool open(int stream, std::string& error);
    // After a failed open: FFmpeg found no audio in it at all.
    bool notAudio() const { return notAudio_; }

    double sampleRate() const override { return rate_; }
    int32_t channels() const override { return layout_.nb_channels; }
    Zel::SpeakerArrangement arrangement() const override { return mapping_.arrangement; }
    int64_t frames() const override { return estimate_; }
    std::string name() const override { return name_; }

    int64_t read(float* interleaved, int64_t count) override {
        if (!measurable()) return 0;
        const auto channels = static_cast<size_t>(layout_.nb_channels);
        int64_t done = 0;
        while (done < count) {
            if (pendingRead_ == pendingFrames_ && !nextFrame()) break;
            const int64_t n = std::min(count - done, pendingFrames_ - pendingRead_);
            copyOut(interleaved + static_cast<size_t>(done) * channels, pendingRead_, n);
            pendingRead_ += n;
            done += n;
        }
        return done;
    }

    std::string warning() const override {
        if (failures_ == 0) return {};
        std::string text = "'" + name_ + "': decoding failed at " + clockText(failedAt_, rate_) + ": " + failure_;
        if (places_ > 1) text += " (and at " + std::to_string(places_ - 1) + " later place" + (places_ > 2 ? "s" : "") + ")";
        return text + "; the readings are of the audio that decoded";
    }

private:
    // A rate and speakers the samples can be handed out for (the meter may still refuse them).
    bool measurable() const {
        return rate_ > 0 && layout_.nb_channels > 0 &&
               mapping_.streamChannel.size() == static_cast<size_t>(layout_.nb_channels);
    }
    bool nextFrame();
    bool takeFrame();
    // Frames [first, first + count) of samples of type T (interleaved, or one
    // plane per channel) into out, interleaved in the meter's channel order.
    template <typename T, typename ToFloat>
    void toMeterOrder(const uint8_t* const* data, bool planar, int64_t first, int64_t count, float* out,
                      ToFloat toFloat) const {
        const size_t channels = mapping_.streamChannel.size();
        const auto from = static_cast<size_t>(first), n = static_cast<size_t>(count);
        if (planar) {
            for (size_t k = 0; k < channels; ++k) {
                const T* in = reinterpret_cast<const T*>(data[mapping_.streamChannel[k]]) + from;
                for (size_t i = 0; i < n; ++i) out[i * channels + k] = toFloat(in[i]);
            }
        } else if (inStreamOrder_) {
            const T* in = reinterpret_cast<const T*>(data[0]) + from * channels;
            if constexpr (std::is_same_v<T, float>) std::memcpy(out, in, n * channels * sizeof(float));
            else for (size_t i = 0; i < n * channels; ++i) out[i] = toFloat(in[i]);
        } else {
            const T* in = reinterpret_cast<const T*>(data[0]) + from * channels;
            for (size_t i = 0; i < n; ++i, in += channels, out += channels)
                for (size_t k = 0; k < channels; ++k) out[k] = toFloat(in[mapping_.streamChannel[k]]);
        }
    }
    void copyOut(float* out, int64_t first, int64_t count) const;
    // Failures less than a second of audio apart count as one damaged place.
    void noteFailure(const std::string& reason) {
        if (failures_++ == 0) {
            failedAt_ = decoded_;
            failure_ = reason;
            places_ = 1;
        } else if (decoded_ - lastFailedAt_ >= rate_) {
            ++places_;
        }
        lastFailedAt_ = decoded_;
    }
    // A file cut short is damaged at its end: a PCM stream's declared length is
    // exact; a compressed one's may miss by a fraction of a second.
    void finish() {
        if (ended_) return;
        ended_ = true;
        if (!declaredLength_ || decoded_ >= estimate_) return;
        const std::string reason = "the file ends before the " + clockText(estimate_, rate_) + " its header declares";
        if (exactLength_) {
            failures_ = 0; // the demuxer's and decoder's complaints about the last piece say the same
            noteFailure(reason);
        } else if (failures_ == 0 && estimate_ - decoded_ > rate_) {
            noteFailure(reason);
        }
    }

    std::string path_;
    bool piped_;
    std::string name_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* convert_ = nullptr;
    int convertFrom_ = AV_SAMPLE_FMT_NONE; // the sample format convert_ was set up for
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int streamIndex_ = -1;

    int rate_ = 0;
    AVChannelLayout layout_{};
    SpeakerMapping mapping_;
    bool inStreamOrder_ = false; // the meter's channel order is the stream's
    int64_t estimate_ = 0;
    bool declaredLength_ = false; // the container states the length (not a guess from the bit rate)
    bool exactLength_ = false;    // ... to the frame

    // The decoded frame in frame_ is handed out from pendingRead_ on; samples of a
    // format converted here straight from it, others from libswresample's copy.
    std::vector<float> converted_;
    bool viaConverter_ = false;
    int64_t pendingFrames_ = 0, pendingRead_ = 0;
    int64_t decoded_ = 0;
    bool draining_ = false, ended_ = false;
    int failuresInARow_ = 0;
    int failures_ = 0;
    int64_t failedAt_ = 0, lastFailedAt_ = 0;
    int places_ = 0;
    int frameBytes_ = 0; // bytes per sample frame of PCM (0: not PCM)
    bool flaggedPacketBefore_ = false, pcmPacketFlagged_ = false, lastPacketCut_ = false;
    std::string failure_;
    bool notAudio_ = false;
};

bool MediaFileSource::open(int stream, std::string& error) {
    if (piped_) {
        if (isatty(STDIN_FILENO)) {
            error = "standard input is a terminal: pipe the audio in (e.g. ffmpeg -i IN -f wav - | nivolo-host measure -)";
            return false;
        }
    } else {
        std::error_code ignored;
        if (std::filesystem::is_directory(path_, ignored)) {
            error = "'" + path_ + "' is a folder, not a media file";
            return false;
        }
    }
    // Only local files and the pipe: a name is never taken for a network address,
    // and a playlist cannot reach beyond them.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file,pipe", 0);
    const std::string url = piped_ ? "pipe:0" : "file:" + path_;
    int result = avformat_open_input(&format_, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) {
        error = "cannot read '" + name_ + "' as media: " + errorText(result);
        notAudio_ = result == AVERROR_INVALIDDATA;
        return false;
    }
    result = avformat_find_stream_info(format_, nullptr);
    if (result < 0) {
        error = "cannot read '" + name_ + "' as media: " + errorText(result);
        notAudio_ = result == AVERROR_INVALIDDATA;
        return false;
    }
    // WAV's demuxer hands out 4 KiB packets unless told otherwise: reading costs
    // three times as much then. (Probing, done by now, is quicker with small ones.)
    if (std::strcmp(format_->iformat->name, "wav") == 0 || std::strcmp(format_->iformat->name, "w64") == 0)
        av_opt_set_int(format_->priv_data, "max_size", 1 << 16, 0);

    int audioStreams = 0;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        AVStream* s = format_->streams[i];
        const bool audio = s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
        if (audio && audioStreams++ == stream) streamIndex_ = static_cast<int>(i);
        else s->discard = AVDISCARD_ALL;
    }
    if (audioStreams == 0) {
        error = "'" + name_ + "' has no audio stream";
        notAudio_ = true;
        return false;
    }
    if (streamIndex_ < 0) {
        error = "'" + name_ + "' has " + std::to_string(audioStreams) + " audio stream" + (audioStreams == 1 ? "" : "s") +
                ": --stream " + std::to_string(stream) + " is not one (0 to " + std::to_string(audioStreams - 1) + ")";
        return false;
    }
    AVStream* audio = format_->streams[streamIndex_];
    const AVCodec* decoder = avcodec_find_decoder(audio->codecpar->codec_id);
    codec_ = decoder ? avcodec_alloc_context3(decoder) : nullptr;
    if (!codec_) {
        error = "'" + name_ + "': no decoder for its audio (" + avcodec_get_name(audio->codecpar->codec_id) + ")";
        return false;
    }
    if ((result = avcodec_parameters_to_context(codec_, audio->codecpar)) < 0 ||
        (codec_->pkt_timebase = audio->time_base, result = avcodec_open2(codec_, decoder, nullptr)) < 0) {
        error = "cannot decode the audio of '" + name_ + "': " + errorText(result);
        return false;
    }
    const bool pcm = std::strncmp(avcodec_get_name(audio->codecpar->codec_id), "pcm_", 4) == 0;
    if (const int bits = av_get_exact_bits_per_sample(audio->codecpar->codec_id); pcm && bits > 0)
        frameBytes_ = audio->codecpar->block_align > 0 ? audio->codecpar->block_align
                                                       : (bits + 7) / 8 * audio->codecpar->ch_layout.nb_channels;
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!packet_ || !frame_) {
        error = "out of memory opening '" + name_ + "'";
        return false;
    }

    // The first frame that decodes sets the rate and the channels.
    if (!nextFrame()) {
        if (piped_ && std::strstr(format_->iformat->name, "mp4"))
            error = "an MP4 or MOV whose index (moov) sits at its end cannot be read from a pipe: measure the file "
                    "itself, or move the index to the front (ffmpeg -i IN -c copy -movflags +faststart OUT.mp4)";
        else if (failures_ > 0)
            error = "nothing of '" + name_ + "' decodes: " + failure_;
        else
            error = "'" + name_ + "' holds no audio";
        return false;
    }
    // The length the container tells, for the progress bar.
    if (audio->duration != AV_NOPTS_VALUE && audio->duration > 0) {
        estimate_ = av_rescale_q(audio->duration, audio->time_base, AVRational{1, rate_});
    } else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0) {
        estimate_ = av_rescale(format_->duration, rate_, AV_TIME_BASE);
    }
    // Only the stream's own length counts (a container's is its longest stream's),
    // and through a pipe the header's figure is often a placeholder.
    declaredLength_ = !piped_ && audio->duration != AV_NOPTS_VALUE && audio->duration > 0 &&
                      format_->duration_estimation_method == AVFMT_DURATION_FROM_STREAM;
    exactLength_ = declaredLength_ && pcm;
    return true;
}

void MediaFileSource::copyOut(float* out, int64_t first, int64_t count) const {
    if (viaConverter_) {
        const auto* converted = reinterpret_cast<const uint8_t*>(converted_.data());
        toMeterOrder<float>(&converted, false, first, count, out, [](float x) { return x; });
        return;
    }
    const auto* const* data = const_cast<const uint8_t* const*>(frame_->extended_data);
    const auto format = static_cast<AVSampleFormat>(frame_->format);
    const bool planar = av_sample_fmt_is_planar(format);
    // What decoders give most, scaled as libswresample scales it.
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_S16:
        toMeterOrder<int16_t>(data, planar, first, count, out,
                              [](int16_t x) { return static_cast<float>(x) * (1.0f / (1 << 15)); });
        break;
    case AV_SAMPLE_FMT_S32:
        toMeterOrder<int32_t>(data, planar, first, count, out,
                              [](int32_t x) { return static_cast<float>(x) * (1.0f / (1u << 31)); });
        break;
    default:
        toMeterOrder<float>(data, planar, first, count, out, [](float x) { return x; });
        break;
    }
}

// The next decoded frame into frame_ (or converted_); false at the end of what decodes.
bool MediaFileSource::nextFrame() {
    // A stream that yields nothing but errors is given up after this many in a row.
    constexpr int kMaxFailuresInARow = 10000;
    while (!ended_) {
        av_frame_unref(frame_);
        int result = avcodec_receive_frame(codec_, frame_);
        if (result >= 0) {
            if (!takeFrame()) break;
            failuresInARow_ = 0;
            if (pendingFrames_ > 0 || !measurable()) return true;
            continue;
        }
        if (result == AVERROR_EOF || draining_) break;
        if (result != AVERROR(EAGAIN)) {
            if (!pcmPacketFlagged_) noteFailure(errorText(result));
            if (++failuresInARow_ > kMaxFailuresInARow) break;
            continue;
        }
        result = av_read_frame(format_, packet_);
        if (result < 0) {
            // The demuxer's end, or the point past which it cannot go: what the decoder holds still comes out.
            if (result != AVERROR_EOF) noteFailure(errorText(result));
            else if (lastPacketCut_) noteFailure("the file ends part-way through a sample frame (cut short)");
            avcodec_send_packet(codec_, nullptr);
            draining_ = true;
            continue;
        }
        if (packet_->stream_index == streamIndex_) {
            // Demuxers flag a packet that arrived damaged, and the last one when the
            // data ran out before they expected (as it does where no length is
            // known): the flag means damage on a packet that more follow, or on a
            // last one that stops inside a sample frame.
            // (A PCM decoder's complaint about such a packet says no more.)
            if (flaggedPacketBefore_) noteFailure("a damaged packet");
            flaggedPacketBefore_ = packet_->flags & AV_PKT_FLAG_CORRUPT;
            pcmPacketFlagged_ = flaggedPacketBefore_ && frameBytes_ > 0;
            lastPacketCut_ = pcmPacketFlagged_ && packet_->size % frameBytes_ != 0;
            result = avcodec_send_packet(codec_, packet_);
            if (result < 0 && result != AVERROR(EAGAIN)) {
                if (!pcmPacketFlagged_) noteFailure(errorText(result));
                if (++failuresInARow_ > kMaxFailuresInARow) {
                    av_packet_unref(packet_);
                    break;
                }
            }
        }
        av_packet_unref(packet_);
    }
    finish();
    pendingFrames_ = pendingRead_ = 0;
    return false;
}

// Converts the decoded frame; false when the stream cannot go on as it began.
bool MediaFileSource::takeFrame() {
    pendingFrames_ = pendingRead_ = 0;
    if (rate_ == 0) {
        if (av_channel_layout_copy(&layout_, &frame_->ch_layout) < 0) return false;
        rate_ = frame_->sample_rate;
        mapping_ = mappingFor(layout_);
        inStreamOrder_ = std::is_sorted(mapping_.streamChannel.begin(), mapping_.streamChannel.end());
    } else if (frame_->sample_rate != rate_ || av_channel_layout_compare(&frame_->ch_layout, &layout_) != 0) {
        // The meter was set up for one rate and one set of speakers.
        noteFailure("the stream changes to " + std::to_string(frame_->sample_rate) + " Hz, " +
                    layoutText(frame_->ch_layout));
        return false;
    }
    // Nothing to convert for a set-up the meter refuses anyway.
    if (!measurable() || frame_->nb_samples <= 0) return true;

    const int count = frame_->nb_samples;
    switch (av_get_packed_sample_fmt(static_cast<AVSampleFormat>(frame_->format))) {
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S32:
    case AV_SAMPLE_FMT_FLT:
        viaConverter_ = false;
        break;
    default: {
        if (!convert_ || convertFrom_ != frame_->format) {
            swr_free(&convert_);
            const auto from = static_cast<AVSampleFormat>(frame_->format);
            if (swr_alloc_set_opts2(&convert_, &layout_, AV_SAMPLE_FMT_FLT, rate_, &layout_, from, rate_, 0, nullptr) < 0 ||
                swr_init(convert_) < 0) {
                swr_free(&convert_);
                const char* name = av_get_sample_fmt_name(from);
                noteFailure(std::string("cannot convert its ") + (name ? name : "unknown") + " samples");
                return false;
            }
            convertFrom_ = frame_->format;
        }
        const auto samples = static_cast<size_t>(count) * static_cast<size_t>(layout_.nb_channels);
        if (converted_.size() < samples) converted_.resize(samples);
        auto* out = reinterpret_cast<uint8_t*>(converted_.data());
        const int got = swr_convert(convert_, &out, count, const_cast<const uint8_t**>(frame_->extended_data), count);
        if (got < 0) {
            noteFailure(errorText(got));
            return false;
        }
        viaConverter_ = true;
        pendingFrames_ = got;
        decoded_ += got;
        return true;
    }
    }
    pendingFrames_ = count;
    decoded_ += pendingFrames_;
    return true;
}

} // namespace

std::unique_ptr<AudioSource> AudioSource::openFile(const std::string& path, int stream, std::string& error,
                                                   bool* notAudio) {
    silenceLibraryLog();
    auto source = std::make_unique<MediaFileSource>(path);
    if (notAudio) *notAudio = false;
    if (!source->open(stream, error)) {
        if (notAudio) *notAudio = source->notAudio();
        return nullptr;
    }
    return source;
}

std::string AudioSource::libraryVersions() {
    auto version = [](unsigned v) {
        return std::to_string(v >> 16) + "." + std::to_string(v >> 8 & 0xFF) + "." + std::to_string(v & 0xFF);
    };
    return std::string("FFmpeg ") + av_version_info() + " (libavformat " + version(avformat_version()) +
           ", libavcodec " + version(avcodec_version()) + ", libavutil " + version(avutil_version()) +
           ", libswresample " + version(swresample_version()) + ")";
}

} // namespace NivoloHost
