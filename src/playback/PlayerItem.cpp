#include "playback/PlayerItem.h"

#include "subtitles/SubtitleVTT.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <latch>
#include <thread>

MediaTime MediaTime::fromSeconds(double seconds, qint32 timescale) {
    if (!std::isfinite(seconds) || seconds <= 0 || timescale <= 0)
        return {0, timescale > 0 ? timescale : millisecondScale};
    const double units = std::min(seconds * timescale, double(std::numeric_limits<qint64>::max() / 2));
    return {std::llround(units), timescale};
}

QList<PlayerTrack> PlayerItem::tracksFrom(const QString& path) const {
    QList<PlayerTrack> found;
    for (const PlayerTrack& track : tracks)
        if (track.source == path)
            found.append(track);
    return found;
}

namespace {

// Appends every stream of the file at `path`, each cut to `range`. An unreadable file adds
// nothing.
void loadTracks(QList<PlayerTrack>& tracks, const TimeRange& range, const QString& path) {
    const auto streams = MediaProbe::tracks(path);
    if (!streams)
        return;
    for (const MediaProbe::Track& stream : *streams)
        tracks.append(PlayerTrack{path, stream.index, stream.type, range});
}

}  // namespace

PlayerItem getPlayerItem(const QUrl& url, double duration) {
    PlayerItem item;
    item.url = url;
    item.subtitlePath = SubtitleVTT::cacheURL(url).toLocalFile();
    item.range = TimeRange{MediaTime{}, MediaTime::fromSeconds(duration)};

    // A thread of its own rather than a pool: a pool thread may be busy handing work back to
    // this (waiting) thread, and the wait would never end.
    std::latch done(1);
    QList<PlayerTrack> tracks;
    std::jthread worker([&] {
        loadTracks(tracks, item.range, url.toLocalFile());
        loadTracks(tracks, item.range, item.subtitlePath);
        done.count_down();
    });
    done.wait();
    item.tracks = std::move(tracks);
    return item;
}
