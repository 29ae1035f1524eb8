#pragma once

#include "core/Records.h"

#include <QByteArray>
#include <QList>
#include <QUrl>

// The player's subtitle file for a movie whose sidecar holds many cues: the cues as one WebVTT
// text track of a Matroska file. The player reads all cues of a WebVTT file when it opens the
// movie, holding its core (and every call into it) meanwhile and keeping all of them in
// memory; a Matroska file it reads as playback goes, and after a seek it finds the cluster to
// read from in the file's cue index. Stateless.
class SubtitleMatroska {
public:
    // Cues per cluster: the unit the player reads after a seek, and one index entry each.
    static constexpr int cuesPerCluster = 128;

    // The file's bytes. Each item becomes a cue from `stime` to `etime` at millisecond
    // resolution, its text lines as the cue's lines; items whose end is not after their start
    // show nowhere and are left out. Any order.
    static QByteArray fromItems(const QList<SubtitleItem>& items);

    // Writes the file for `items` at `url`, atomically. False, logged, when it could not be
    // written.
    static bool write(const QList<SubtitleItem>& items, const QUrl& url);

    // Where a movie's Matroska subtitle file lives: beside its WebVTT file in the program's
    // cache folder, named like the movie file with its last extension replaced by "mks".
    static QUrl cacheURL(const QUrl& movieURL);
};
