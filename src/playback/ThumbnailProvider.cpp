#include "playback/ThumbnailProvider.h"

#include "playback/PlayerLog.h"

#include <QFile>
#include <QFileInfo>
#include <QThreadPool>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <optional>

namespace {

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFreer {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct DictionaryFreer {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};
using FormatContext = std::unique_ptr<AVFormatContext, FormatContextCloser>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using Frame = std::unique_ptr<AVFrame, FrameFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using Scaler = std::unique_ptr<SwsContext, ScalerFreer>;
using Dictionary = std::unique_ptr<AVDictionary, DictionaryFreer>;

// A keyframe's packets seldom number more than a few; a file that yields no picture within
// this many packets of the seek point is taken as broken there.
constexpr int maxPacketsPerPicture = 256;

// Decodes for all providers share one thread, so previews never take more than one core
// from playback.
// It lives until the process ends (a task may outlive its provider) and then waits for the
// last task, which its provider's end has already interrupted.
QThreadPool& thumbnailPool() {
    static QThreadPool pool;
    static std::once_flag configured;
    std::call_once(configured, [] { pool.setMaxThreadCount(1); });
    return pool;
}

qint64 requestMs(double seconds) { return std::llround(std::max(seconds, 0.0) * 1000); }

// The picture a request shows is the one of the keyframe at or before it: the cache key. Before
// the first keyframe the first one; without a keyframe index the time rounded to the second.
qint64 cacheKey(const QList<qint64>& keyframesMs, double seconds) {
    const qint64 ms = requestMs(seconds);
    if (keyframesMs.isEmpty())
        return (ms + 500) / 1000 * 1000;
    const auto after = std::upper_bound(keyframesMs.cbegin(), keyframesMs.cend(), ms);
    return after == keyframesMs.cbegin() ? keyframesMs.first() : *(after - 1);
}

// One open of a movie file with its video decoder, kept between requests.
class Decoder {
public:
    struct Picture {
        QImage image;
        qint64 key = 0;
    };

    // Absent when the file is not a regular file, cannot be opened or has no decodable video.
    // FFmpeg's I/O gives up as soon as `live` no longer holds `generation`.
    static std::unique_ptr<Decoder> open(const QString& path, const std::atomic<quint64>& live, quint64 generation) {
        static std::once_flag quiet;
        std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
        const QFileInfo info(path);
        if (!info.isFile())  // a FIFO or device named like a movie would block the reader
            return nullptr;
        std::unique_ptr<Decoder> decoder(new Decoder(live, generation));
        return decoder->start(info.absoluteFilePath()) ? std::move(decoder) : nullptr;
    }

    quint64 generation() const { return generation_; }
    bool interrupted() const { return live_.load() != generation_; }
    const QList<qint64>& keyframesMs() const { return keyframesMs_; }

    std::optional<Picture> pictureAt(double seconds) {
        const qint64 key = cacheKey(keyframesMs_, seconds);
        AVStream* stream = format_->streams[stream_];
        // Seeking to the keyframe's own index time lands on exactly that keyframe.
        const qsizetype keyframe =
            std::lower_bound(keyframesMs_.cbegin(), keyframesMs_.cend(), key) - keyframesMs_.cbegin();
        const qint64 target = keyframe < keyframeTimestamps_.size()
                                  ? keyframeTimestamps_[keyframe]
                                  : startTimestamp_ + av_rescale_q(requestMs(seconds), {1, 1000}, stream->time_base);
        if (av_seek_frame(format_.get(), stream_, target, AVSEEK_FLAG_BACKWARD) < 0)
            return std::nullopt;
        avcodec_flush_buffers(codec_.get());
        if (!decodeOneFrame())
            return std::nullopt;
        QImage image = scaled();
        if (image.isNull())
            return std::nullopt;
        return Picture{std::move(image), key};
    }

private:
    Decoder(const std::atomic<quint64>& live, quint64 generation) : live_(live), generation_(generation) {}

    static int interruptCallback(void* opaque) { return static_cast<const Decoder*>(opaque)->interrupted() ? 1 : 0; }

    bool start(const QString& path) {
        AVFormatContext* raw = avformat_alloc_context();
        if (!raw)
            return false;
        raw->interrupt_callback = {&Decoder::interruptCallback, this};
        // "file:" keeps FFmpeg from reading a protocol out of the name, and the white list keeps
        // a file's own references from opening anything but local files.
        const QByteArray url = QByteArrayLiteral("file:") + QFile::encodeName(path);
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        const int opened = avformat_open_input(&raw, url.constData(), nullptr, &options);  // frees `raw` on failure
        const Dictionary unused(options);
        if (opened < 0)
            return false;
        format_.reset(raw);

        const AVCodec* codec = nullptr;
        stream_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (stream_ < 0 && avformat_find_stream_info(format_.get(), nullptr) >= 0)
            stream_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (stream_ < 0 || !codec)
            return false;
        for (unsigned i = 0; i < format_->nb_streams; ++i)
            format_->streams[i]->discard = int(i) == stream_ ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

        codec_.reset(avcodec_alloc_context3(codec));
        if (!codec_ || avcodec_parameters_to_context(codec_.get(), format_->streams[stream_]->codecpar) < 0)
            return false;
        // One thread, no frame-threading delay; a 160-pixel picture does not need the loop filter.
        codec_->thread_count = 1;
        codec_->skip_loop_filter = AVDISCARD_ALL;
        codec_->flags2 |= AV_CODEC_FLAG2_FAST;
        if (avcodec_open2(codec_.get(), codec, nullptr) < 0)
            return false;
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!frame_ || !packet_)
            return false;
        readKeyframes();
        return true;
    }

    // The demuxer's index (MP4 and MOV build it from the header) names every keyframe by its
    // decoding time; with reordered frames (B-frames) a keyframe is shown later by the
    // reorder delay, read from the first packet, which the times given out include.
    void readKeyframes() {
        AVStream* stream = format_->streams[stream_];
        startTimestamp_ = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
        qint64 reorderDelay = 0;
        while (av_read_frame(format_.get(), packet_.get()) >= 0) {
            const bool ours = packet_->stream_index == stream_;
            if (ours && packet_->pts != AV_NOPTS_VALUE && packet_->dts != AV_NOPTS_VALUE)
                reorderDelay = std::max<qint64>(packet_->pts - packet_->dts, 0);
            av_packet_unref(packet_.get());
            if (ours)
                break;
        }
        const int count = avformat_index_get_entries_count(stream);
        for (int i = 0; i < count; ++i) {
            const AVIndexEntry* entry = avformat_index_get_entry(stream, i);
            if (!entry || !(entry->flags & AVINDEX_KEYFRAME))
                continue;
            const qint64 ms =
                av_rescale_q(entry->timestamp + reorderDelay - startTimestamp_, stream->time_base, {1, 1000});
            // Keyframes closer than a millisecond share a key; the first of them is the one sought.
            if (!keyframesMs_.isEmpty() && ms <= keyframesMs_.last())
                continue;
            keyframesMs_.append(ms);
            keyframeTimestamps_.append(entry->timestamp);
        }
    }

    bool decodeOneFrame() {
        bool draining = false;
        for (int packets = 0; packets < maxPacketsPerPicture && !interrupted();) {
            const int received = avcodec_receive_frame(codec_.get(), frame_.get());
            if (received == 0)
                return true;
            if (received != AVERROR(EAGAIN) || draining)
                return false;
            const int read = av_read_frame(format_.get(), packet_.get());
            if (read < 0) {
                // The end of the file: what the decoder still holds comes out after a flush.
                draining = true;
                if (avcodec_send_packet(codec_.get(), nullptr) < 0)
                    return false;
                continue;
            }
            if (packet_->stream_index == stream_) {
                ++packets;
                const int sent = avcodec_send_packet(codec_.get(), packet_.get());
                if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA) {
                    av_packet_unref(packet_.get());
                    return false;
                }
            }
            av_packet_unref(packet_.get());
        }
        return false;
    }

    // The decoded frame at the provider's width and the display aspect, as 32-bit RGB.
    QImage scaled() {
        const AVFrame& frame = *frame_;
        if (frame.width <= 0 || frame.height <= 0)
            return {};
        AVRational sampleAspect = av_guess_sample_aspect_ratio(format_.get(), format_->streams[stream_], frame_.get());
        if (sampleAspect.num <= 0 || sampleAspect.den <= 0)
            sampleAspect = {1, 1};
        const double displayWidth = double(frame.width) * av_q2d(sampleAspect);
        const int height =
            std::max(1, int(std::lround(ThumbnailProvider::width * double(frame.height) / displayWidth)));
        SwsContext* cached = sws_getCachedContext(scaler_.release(), frame.width, frame.height,
                                                  AVPixelFormat(frame.format), ThumbnailProvider::width, height,
                                                  AV_PIX_FMT_RGB32, SWS_AREA, nullptr, nullptr, nullptr);
        scaler_.reset(cached);
        if (!scaler_)
            return {};
        QImage image(ThumbnailProvider::width, height, QImage::Format_RGB32);  // AV_PIX_FMT_RGB32's layout
        if (image.isNull())
            return {};
        uint8_t* const planes[4] = {image.bits(), nullptr, nullptr, nullptr};
        const int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
        if (sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) != height)
            return {};
        return image;
    }

    const std::atomic<quint64>& live_;
    const quint64 generation_;
    FormatContext format_;
    CodecContext codec_;
    Frame frame_;
    Packet packet_;
    Scaler scaler_;
    int stream_ = -1;
    qint64 startTimestamp_ = 0;
    QList<qint64> keyframesMs_;         // from the movie's start, ascending
    QList<qint64> keyframeTimestamps_;  // the same keyframes in the stream's time base
};

}  // namespace

// What a finished decode hands to the provider's thread.
struct ThumbnailProvider::Result {
    quint64 generation = 0;
    qint64 serial = 0;
    double seconds = 0;
    qint64 key = 0;
    QImage image;
    QList<qint64> keyframesMs;
};

// Shared by the provider and its running task, so either may end first.
struct ThumbnailProvider::State {
    struct Job {
        double seconds = 0;
        qint64 serial = 0;
    };

    std::mutex mutex;
    ThumbnailProvider* owner = nullptr;  // null once the provider is gone
    QString path;
    quint64 generation = 1;        // counts setMovie() calls
    quint64 failedGeneration = 0;  // the generation whose file could not be opened
    std::optional<Job> pending;
    bool running = false;
    // The generation the decoder's interrupt callback compares with, read without the lock;
    // 0 once the provider is gone.
    std::atomic<quint64> live{1};
    std::atomic<int> decodes{0};
    std::unique_ptr<Decoder> decoder;  // the running task's; the provider's while none runs

    static void run(const std::shared_ptr<State>& state);
};

void ThumbnailProvider::State::run(const std::shared_ptr<State>& state) {
    for (;;) {
        Job job;
        QString path;
        quint64 generation = 0;
        {
            const std::lock_guard lock(state->mutex);
            if (!state->owner || !state->pending) {
                state->running = false;
                return;
            }
            job = *state->pending;
            state->pending.reset();
            path = state->path;
            generation = state->generation;
        }
        std::unique_ptr<Decoder>& decoder = state->decoder;
        if (!decoder || decoder->generation() != generation) {
            decoder.reset();
            decoder = Decoder::open(path, state->live, generation);
            if (!decoder) {
                const std::lock_guard lock(state->mutex);
                if (state->owner && state->generation == generation && state->live.load() == generation) {
                    qCWarning(lcPlayer) << "no thumbnails: cannot decode the video of" << path;
                    state->failedGeneration = generation;
                    state->pending.reset();
                }
                continue;
            }
        }
        ++state->decodes;
        auto picture = decoder->pictureAt(job.seconds);
        if (!picture) {
            if (!decoder->interrupted())
                qCDebug(lcPlayer) << "no thumbnail of" << path << "at" << job.seconds << "s";
            continue;
        }
        Result result{
            generation, job.serial, job.seconds, picture->key, std::move(picture->image), decoder->keyframesMs()};
        const std::lock_guard lock(state->mutex);
        // Posted under the lock, so the provider cannot be destroyed in between; a provider
        // destroyed before the call runs drops it with its other posted events.
        if (ThumbnailProvider* owner = state->owner)
            QMetaObject::invokeMethod(
                owner, [owner, result = std::move(result)] { owner->deliver(result); }, Qt::QueuedConnection);
    }
}

ThumbnailProvider::ThumbnailProvider(QObject* parent) : QObject(parent), state_(std::make_shared<State>()) {
    state_->owner = this;
}

ThumbnailProvider::~ThumbnailProvider() {
    const std::lock_guard lock(state_->mutex);
    state_->owner = nullptr;
    state_->pending.reset();
    state_->live = 0;  // interrupts the running decode's I/O
}

void ThumbnailProvider::setMovie(const QString& path) {
    path_ = path;
    cache_.clear();
    keyframesMs_.clear();
    const std::lock_guard lock(state_->mutex);
    state_->path = path;
    generation_ = ++state_->generation;
    state_->live = generation_;
    state_->pending.reset();
    if (!state_->running)
        state_->decoder.reset();  // closes the previous movie's file now
}

void ThumbnailProvider::request(double seconds) {
    if (path_.isEmpty() || !std::isfinite(seconds))
        return;
    seconds = std::max(seconds, 0.0);
    const qint64 serial = ++serial_;
    if (const QImage* hit = cache_.object(cacheKey(keyframesMs_, seconds))) {
        QMetaObject::invokeMethod(
            this, [this, serial, seconds, image = *hit] { answer(serial, seconds, image); }, Qt::QueuedConnection);
        const std::lock_guard lock(state_->mutex);
        state_->pending.reset();  // older than this one
        return;
    }
    const std::lock_guard lock(state_->mutex);
    if (state_->failedGeneration == state_->generation)
        return;
    state_->pending = State::Job{seconds, serial};
    if (!state_->running) {
        state_->running = true;
        thumbnailPool().start([state = state_] { State::run(state); });
    }
}

int ThumbnailProvider::decodeCount() const { return state_->decodes.load(); }

bool ThumbnailProvider::isIdle() const {
    const std::lock_guard lock(state_->mutex);
    return !state_->running && !state_->pending;
}

void ThumbnailProvider::deliver(const Result& result) {
    if (result.generation != generation_)
        return;
    keyframesMs_ = result.keyframesMs;
    cache_.insert(result.key, new QImage(result.image));
    answer(result.serial, result.seconds, result.image);
}

void ThumbnailProvider::answer(qint64 serial, double requestedSeconds, const QImage& image) {
    if (serial <= answeredSerial_)
        return;
    answeredSerial_ = serial;
    Q_EMIT thumbnailReady(requestedSeconds, image);
}
