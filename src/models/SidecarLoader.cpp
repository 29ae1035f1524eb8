#include "models/SidecarLoader.h"

#include "core/WorkQueues.h"
#include "models/LibraryLog.h"
#include "models/SubtitlesViewModel.h"
#include "subtitles/SubtitleMatroska.h"
#include "subtitles/SubtitleSRT.h"
#include "subtitles/SubtitleText.h"
#include "subtitles/SubtitleVTT.h"

#include <QFileInfo>
#include <QThreadPool>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// One sidecar at a time, in the order they were opened: a load that was dropped ends before
// the next begins, so that its file can never land after a newer one.
QThreadPool& loadPool() { return workQueues().sidecars(); }

// The C library keeps memory freed by a thread for that thread's later use; reading half a
// million cues leaves tens of megabytes of it between the items that stay. Given back to
// the system once the load is done.
void releaseFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

}  // namespace

SidecarLoader& SidecarLoader::shared() {
    static auto* instance = new SidecarLoader;  // lives as long as the process
    return *instance;
}

void SidecarLoader::open(const QUrl& movieURL, double duration) {
    const quint64 opening = ++opening_;
    latestOpening_.store(opening);
    openMovie_ = movieURL;
    const QUrl srt = SubtitleSRT::sidecarURL(movieURL);
    // A stat, as the player item's; what is no regular file is read as before, which refuses it.
    const QFileInfo file(srt.toLocalFile());
    // Too large to read whole: refused at once, without a worker, and said.
    const bool tooLarge = file.isFile() && file.size() > SubtitleText::maxFileSize;
    refusal_ = tooLarge ? QStringLiteral("%1 is not shown: it is larger than %2 MB")
                              .arg(file.fileName())
                              .arg(SubtitleText::maxFileSize >> 20)
                        : QString();
    large_ = !tooLarge && file.isFile() && file.size() > largeFileBytes;
    writing_ = large_;
    SubtitlesViewModel& list = SubtitlesViewModel::shared();
    if (!large_) {
        list.load(srt, duration);
        SubtitleVTT::shared().convert(srt, SubtitleVTT::cacheURL(movieURL));
        if (tooLarge) {
            qCWarning(lcLibrary) << refusal_;
            Q_EMIT sidecarRefused(movieURL, refusal_);
        }
        return;
    }
    const quint64 load = list.startLoading(duration);
    const QUrl matroska = SubtitleMatroska::cacheURL(movieURL);
    loadPool().start([this, opening, load, srt, duration, movieURL, matroska] {
        readOnWorker(opening, load, srt, duration, movieURL, matroska);
        releaseFreedMemory();
    });
}

// On the worker: reads the cues, hands them to the list, and writes the player's file from
// them, unless another movie was opened meanwhile.
void SidecarLoader::readOnWorker(quint64 opening, quint64 load, const QUrl& srt, double duration, const QUrl& movieURL,
                                 const QUrl& matroska) {
    const auto current = [this, opening] { return latestOpening_.load() == opening; };
    if (!current())
        return;
    const QList<SubtitleItem> items = SubtitlesViewModel::readItems(srt, duration);
    if (!current())
        return;
    QMetaObject::invokeMethod(
        this,
        [this, opening, load, items] {
            if (opening == opening_)
                SubtitlesViewModel::shared().takeLoaded(load, items);
        },
        Qt::QueuedConnection);
    if (!current())
        return;
    // A file without cues gives no subtitle file, as with the WebVTT form.
    if (!items.isEmpty())
        SubtitleMatroska::write(items, matroska);
    QMetaObject::invokeMethod(
        this, [this, opening, movieURL] { finishPlayerFile(opening, movieURL); }, Qt::QueuedConnection);
}

void SidecarLoader::dropLoads() { latestOpening_.store(++opening_); }

void SidecarLoader::finishPlayerFile(quint64 opening, const QUrl& movieURL) {
    if (opening != opening_)
        return;
    writing_ = false;
    Q_EMIT playerFileWritten(movieURL);
}

SidecarLoader::PlayerFile SidecarLoader::playerFile(const QUrl& movieURL) const {
    if (opening_ > 0 && movieURL == openMovie_ && large_)
        return {SubtitleMatroska::cacheURL(movieURL).toLocalFile(), writing_};
    return {SubtitleVTT::cacheURL(movieURL).toLocalFile(), false};
}
