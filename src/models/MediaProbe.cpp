#include "models/MediaProbe.h"

#include "models/LibraryLog.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>

namespace MediaProbe {
namespace {

// How long one probe may spend inside FFmpeg before its I/O is interrupted; a file on a
// stalled network mount must not hold the library's refresh forever.
constexpr int probeTimeoutMs = 10000;

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using FormatContext = std::unique_ptr<AVFormatContext, FormatContextCloser>;

struct DictionaryFreer {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};
using Dictionary = std::unique_ptr<AVDictionary, DictionaryFreer>;

void silenceFFmpeg() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::atomic<bool> interrupted{false};

struct SlowFile {
    std::mutex lock;
    QString name;
    int milliseconds = 0;
};
SlowFile& slowFile() {
    static SlowFile slow;
    return slow;
}

// Waits as a stalled read would, when `path` is the slow file of a measurement.
void waitIfSlow(const QFileInfo& info, const QDeadlineTimer& deadline) {
    int milliseconds = 0;
    {
        std::lock_guard guard(slowFile().lock);
        if (slowFile().name.isEmpty() || info.fileName() != slowFile().name)
            return;
        milliseconds = slowFile().milliseconds;
    }
    const QDeadlineTimer slow(milliseconds);
    while (!slow.hasExpired() && !deadline.hasExpired() && !interrupted)
        QThread::msleep(5);
}

int interruptWhenExpired(void* opaque) {
    return interrupted || static_cast<QDeadlineTimer*>(opaque)->hasExpired() ? 1 : 0;
}

// An open demuxer with its headers read; the deadline outlives the context that points at it.
struct OpenFile {
    QDeadlineTimer deadline{probeTimeoutMs};
    FormatContext context;
};

// FFmpeg's description of an error code.
QString errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// Opens `path` as a media file, reading its headers only. Only regular files are opened: a
// FIFO or device named like a movie would block the reader forever.
std::unique_ptr<OpenFile> open(const QString& path) {
    silenceFFmpeg();
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return nullptr;

    auto file = std::make_unique<OpenFile>();
    waitIfSlow(info, file->deadline);
    if (interrupted)
        return nullptr;
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return nullptr;
    raw->interrupt_callback = {&interruptWhenExpired, &file->deadline};

    // "file:" keeps FFmpeg from reading a protocol out of the name, and the white list keeps a
    // file's own references from opening anything but local files.
    const QByteArray url = "file:" + QFile::encodeName(info.absoluteFilePath());
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // On failure avformat_open_input frees the context itself; the options it did not use
    // come back in `options`.
    const int opened = avformat_open_input(&raw, url.constData(), nullptr, &options);
    const Dictionary unused(options);
    if (opened < 0) {
        // A file that is there but cannot be read as a movie; quitting's interruption is no failure.
        if (!interrupted)
            qCWarning(lcLibrary) << "cannot probe" << path << ":" << errorText(opened);
        return nullptr;
    }
    file->context.reset(raw);
    return file;
}

// Some containers only know their streams, or their length, after packets were read.
bool needsStreamInfo(const AVFormatContext& context) {
    return context.nb_streams == 0 || (context.ctx_flags & AVFMTCTX_NOHEADER) != 0;
}

bool readStreamInfo(AVFormatContext& context) { return avformat_find_stream_info(&context, nullptr) >= 0; }

// The container's length, or else the longest stream's, in seconds; 0 when neither is known.
double knownDuration(const AVFormatContext& context) {
    if (context.duration != AV_NOPTS_VALUE && context.duration > 0)
        return static_cast<double>(context.duration) / AV_TIME_BASE;
    double longest = 0;
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVStream* stream = context.streams[i];
        if (stream->duration == AV_NOPTS_VALUE || stream->duration <= 0 || stream->time_base.den == 0)
            continue;
        longest = std::max(longest, static_cast<double>(stream->duration) * av_q2d(stream->time_base));
    }
    return longest;
}

MediaType mediaType(AVMediaType type) {
    switch (type) {
    case AVMEDIA_TYPE_VIDEO:
        return MediaType::video;
    case AVMEDIA_TYPE_AUDIO:
        return MediaType::audio;
    case AVMEDIA_TYPE_SUBTITLE:
        return MediaType::subtitle;
    case AVMEDIA_TYPE_DATA:
        return MediaType::data;
    default:
        return MediaType::other;
    }
}

}  // namespace

double duration(const QString& path) {
    const auto file = open(path);
    if (!file)
        return 0;
    AVFormatContext& context = *file->context;
    double seconds = needsStreamInfo(context) ? 0 : knownDuration(context);
    if (seconds <= 0 && readStreamInfo(context))
        seconds = knownDuration(context);
    return std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

std::optional<QList<Track>> tracks(const QString& path) {
    const auto file = open(path);
    if (!file)
        return std::nullopt;
    AVFormatContext& context = *file->context;
    if (needsStreamInfo(context) && !readStreamInfo(context)) {
        if (!interrupted)
            qCWarning(lcLibrary) << "cannot read the streams of" << path;
        return std::nullopt;
    }
    QList<Track> result;
    result.reserve(static_cast<qsizetype>(context.nb_streams));
    for (unsigned i = 0; i < context.nb_streams; ++i)
        result.append(Track{context.streams[i]->index, mediaType(context.streams[i]->codecpar->codec_type)});
    return result;
}

void interruptAll() { interrupted = true; }

bool isInterrupted() { return interrupted; }

void setSlowFileForTesting(const QString& fileName, int milliseconds) {
    std::lock_guard guard(slowFile().lock);
    slowFile().name = fileName;
    slowFile().milliseconds = milliseconds;
}

}  // namespace MediaProbe
