#include "playback/PlayerItem.h"

#include "models/SidecarLoader.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

MediaTime MediaTime::fromSeconds(double seconds, qint32 timescale) {
    if (!std::isfinite(seconds) || seconds <= 0 || timescale <= 0)
        return {0, timescale > 0 ? timescale : millisecondScale};
    const double units = std::min(seconds * timescale, double(std::numeric_limits<qint64>::max() / 2));
    return {std::llround(units), timescale};
}

PlayerItem getPlayerItem(const QUrl& url, double duration) {
    PlayerItem item;
    item.url = url;
    const SidecarLoader::PlayerFile subtitles = SidecarLoader::shared().playerFile(url);
    item.subtitlePath = subtitles.path;
    item.subtitlesPending = subtitles.pending;
    // Only a regular file: mpv would wait forever on a named pipe.
    item.hasSubtitles = !subtitles.pending && QFileInfo(item.subtitlePath).isFile();
    item.range = TimeRange{MediaTime{}, MediaTime::fromSeconds(duration)};
    return item;
}
