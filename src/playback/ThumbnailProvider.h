#pragma once

#include <QCache>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>

// Pictures of one movie at given times for the timeline's hover preview, decoded with
// libavcodec from an open of the file of its own (never through the player). A request shows
// the keyframe at or before the time, scaled to `width` pixels wide with the movie's display
// aspect (sample aspect included).
//
// One decode at a time per provider, on a thread pool reserved for thumbnails: a request made
// while a decode runs waits as the single pending one, and a newer request replaces it (the
// pointer moved on). Results arrive by thumbnailReady() on the provider's thread, always
// queued (never inside request()); a result whose request was overtaken by one already
// answered is not emitted. The last `cacheSize` pictures of the movie are kept by keyframe,
// so hovering again anywhere within the same keyframe interval is answered without decoding.
//
// A file that cannot be opened or decoded gives no thumbnailReady() at all (the hover shows
// the time alone); the failure is logged once per movie. setMovie() and the destructor never
// wait for a decode: the running one is interrupted and its late result dropped.
class ThumbnailProvider : public QObject {
    Q_OBJECT
public:
    static constexpr int width = 160;
    static constexpr int cacheSize = 64;

    explicit ThumbnailProvider(QObject* parent = nullptr);
    ~ThumbnailProvider() override;

    // The movie file to take pictures from (a local path; empty for none). Drops the cache and
    // any pending request; the file is opened by the first request.
    void setMovie(const QString& path);
    QString movie() const { return path_; }

    // Asks for the picture at `seconds` from the movie's start.
    void request(double seconds);

    // Decodes started for this provider since it was made (cache hits start none).
    int decodeCount() const;
    // No decode running or waiting; every result decoded so far has been posted.
    bool isIdle() const;

Q_SIGNALS:
    void thumbnailReady(double requestedSeconds, const QImage& image);

private:
    struct State;
    struct Result;

    void deliver(const Result& result);
    void answer(qint64 serial, double requestedSeconds, const QImage& image);

    QString path_;
    quint64 generation_ = 1;  // of the current movie; results of an earlier one are dropped
    std::shared_ptr<State> state_;
    QCache<qint64, QImage> cache_{cacheSize};  // by keyframe time in ms (rounded time without an index)
    QList<qint64> keyframesMs_;                // the movie's keyframe times, once a decode told them
    qint64 serial_ = 0;                        // of the newest request
    qint64 answeredSerial_ = 0;                // of the newest request answered
};
