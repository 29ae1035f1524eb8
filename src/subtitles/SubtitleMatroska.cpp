#include "subtitles/SubtitleMatroska.h"

#include "core/AppState.h"
#include "subtitles/AtomicWrite.h"
#include "subtitles/FileNaming.h"
#include "subtitles/SubtitlesLog.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// The element ids of the Matroska file (their length marker included).
namespace Id {
constexpr quint32 ebml = 0x1A45DFA3;
constexpr quint32 ebmlVersion = 0x4286;
constexpr quint32 ebmlReadVersion = 0x42F7;
constexpr quint32 ebmlMaxIdLength = 0x42F2;
constexpr quint32 ebmlMaxSizeLength = 0x42F3;
constexpr quint32 docType = 0x4282;
constexpr quint32 docTypeVersion = 0x4287;
constexpr quint32 docTypeReadVersion = 0x4285;
constexpr quint32 segment = 0x18538067;
constexpr quint32 seekHead = 0x114D9B74;
constexpr quint32 seek = 0x4DBB;
constexpr quint32 seekId = 0x53AB;
constexpr quint32 seekPosition = 0x53AC;
constexpr quint32 info = 0x1549A966;
constexpr quint32 timecodeScale = 0x2AD7B1;
constexpr quint32 muxingApp = 0x4D80;
constexpr quint32 writingApp = 0x5741;
constexpr quint32 duration = 0x4489;
constexpr quint32 tracks = 0x1654AE6B;
constexpr quint32 trackEntry = 0xAE;
constexpr quint32 trackNumber = 0xD7;
constexpr quint32 trackUid = 0x73C5;
constexpr quint32 trackType = 0x83;
constexpr quint32 flagLacing = 0x9C;
constexpr quint32 codecId = 0x86;
constexpr quint32 cluster = 0x1F43B675;
constexpr quint32 timecode = 0xE7;
constexpr quint32 blockGroup = 0xA0;
constexpr quint32 block = 0xA1;
constexpr quint32 blockDuration = 0x9B;
constexpr quint32 cues = 0x1C53BB6B;
constexpr quint32 cuePoint = 0xBB;
constexpr quint32 cueTime = 0xB3;
constexpr quint32 cueTrackPositions = 0xB7;
constexpr quint32 cueTrack = 0xF7;
constexpr quint32 cueClusterPosition = 0xF1;
}  // namespace Id

constexpr quint64 subtitleTrack = 0x11;
constexpr qint64 nanosecondsPerTick = 1'000'000;  // time stamps in milliseconds
constexpr qint64 longestBlockOffset = std::numeric_limits<qint16>::max();

void putBigEndian(QByteArray& out, quint64 value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out += char((value >> (8 * i)) & 0xFF);
}

void putId(QByteArray& out, quint32 id) {
    int bytes = 4;
    while (bytes > 1 && (id >> (8 * (bytes - 1))) == 0)
        --bytes;
    putBigEndian(out, id, bytes);
}

// A size as an EBML variable-length number, as short as it goes (all ones is reserved).
void putSize(QByteArray& out, quint64 size) {
    int bytes = 1;
    while (bytes < 8 && size >= (quint64(1) << (7 * bytes)) - 1)
        ++bytes;
    putBigEndian(out, size | (quint64(1) << (7 * bytes)), bytes);
}

void putElement(QByteArray& out, quint32 id, const QByteArray& body) {
    putId(out, id);
    putSize(out, quint64(body.size()));
    out += body;
}

// An unsigned number in `bytes` bytes, or as few as hold it (at least one) when 0.
void putUnsigned(QByteArray& out, quint32 id, quint64 value, int bytes = 0) {
    if (bytes == 0) {
        bytes = 1;
        while (bytes < 8 && (value >> (8 * bytes)) != 0)
            ++bytes;
    }
    putId(out, id);
    putSize(out, quint64(bytes));
    putBigEndian(out, value, bytes);
}

void putText(QByteArray& out, quint32 id, const QByteArray& text) { putElement(out, id, text); }

void putFloat(QByteArray& out, quint32 id, double value) {
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    putId(out, id);
    putSize(out, 8);
    putBigEndian(out, bits, 8);
}

// Where the reader finds the top-level elements, as positions from the segment's data start;
// every position takes eight bytes, so the size does not depend on them.
QByteArray seekHead(const std::initializer_list<std::pair<quint32, quint64>>& entries) {
    QByteArray body;
    for (const auto& [id, position] : entries) {
        QByteArray seek;
        QByteArray idBytes;
        putId(idBytes, id);
        putElement(seek, Id::seekId, idBytes);
        putUnsigned(seek, Id::seekPosition, position, 8);
        putElement(body, Id::seek, seek);
    }
    QByteArray out;
    putElement(out, Id::seekHead, body);
    return out;
}

struct Cue {
    qint64 start;  // milliseconds
    qint64 end;
    qsizetype item;
};

// The cue's lines as a WebVTT block of a Matroska track holds them: an empty identifier
// line, an empty settings line, then the text with "\n" between its lines.
QByteArray blockPayload(const QString& text) {
    QByteArray payload = "\n\n";
    payload += QStringView(text).toUtf8();
    payload.replace("\r\n", "\n");
    return payload;
}

}  // namespace

QByteArray SubtitleMatroska::fromItems(const QList<SubtitleItem>& items) {
    std::vector<Cue> cues;
    cues.reserve(size_t(items.size()));
    for (qsizetype i = 0; i < items.size(); ++i) {
        const double start = std::round(items[i].stime * 1000);
        const double end = std::round(items[i].etime * 1000);
        if (!(start >= 0) || !(end > start) || end > double(std::numeric_limits<qint64>::max() / 2))
            continue;
        cues.push_back(Cue{qint64(start), qint64(end), i});
    }
    std::stable_sort(cues.begin(), cues.end(), [](const Cue& a, const Cue& b) { return a.start < b.start; });

    // Clusters of up to `cuesPerCluster` cues, each listed in the index. An index entry's time
    // is not its cluster's start but the end of every cue before the cluster: the reader seeks
    // to the last entry at or before the target time, and reads from there on, so each cue
    // still showing at the target is at or after the cluster it lands on.
    QByteArray clusters;
    struct Entry {
        qint64 time;
        qint64 offset;  // of the cluster, from the first cluster
    };
    std::vector<Entry> index;
    qint64 endOfEarlierCues = 0;
    for (size_t first = 0; first < cues.size();) {
        const qint64 clusterStart = cues[first].start;
        QByteArray body;
        putUnsigned(body, Id::timecode, quint64(clusterStart));
        size_t next = first;
        qint64 latestEnd = endOfEarlierCues;
        for (; next < cues.size() && next - first < size_t(cuesPerCluster) &&
               cues[next].start - clusterStart <= longestBlockOffset;
             ++next) {
            const Cue& cue = cues[next];
            const QByteArray payload = blockPayload(items[cue.item].text);
            // Block: track number 1, the start from the cluster's, no lacing, the payload.
            QByteArray group;
            putId(group, Id::block);
            putSize(group, quint64(4 + payload.size()));
            group += char(0x81);
            putBigEndian(group, quint64(cue.start - clusterStart), 2);
            group += char(0x00);
            group += payload;
            putUnsigned(group, Id::blockDuration, quint64(cue.end - cue.start));
            putElement(body, Id::blockGroup, group);
            latestEnd = std::max(latestEnd, cue.end);
        }
        index.push_back(Entry{endOfEarlierCues, clusters.size()});
        putElement(clusters, Id::cluster, body);
        endOfEarlierCues = latestEnd;
        first = next;
    }

    QByteArray header;
    putUnsigned(header, Id::ebmlVersion, 1);
    putUnsigned(header, Id::ebmlReadVersion, 1);
    putUnsigned(header, Id::ebmlMaxIdLength, 4);
    putUnsigned(header, Id::ebmlMaxSizeLength, 8);
    putText(header, Id::docType, "matroska");
    putUnsigned(header, Id::docTypeVersion, 4);
    putUnsigned(header, Id::docTypeReadVersion, 2);

    QByteArray info;
    {
        QByteArray body;
        putUnsigned(body, Id::timecodeScale, quint64(nanosecondsPerTick));
        putText(body, Id::muxingApp, "Reelnook");
        putText(body, Id::writingApp, "Reelnook");
        if (endOfEarlierCues > 0)
            putFloat(body, Id::duration, double(endOfEarlierCues));
        putElement(info, Id::info, body);
    }

    QByteArray tracks;
    {
        QByteArray entry;
        putUnsigned(entry, Id::trackNumber, 1);
        putUnsigned(entry, Id::trackUid, 1);
        putUnsigned(entry, Id::trackType, subtitleTrack);
        putUnsigned(entry, Id::flagLacing, 0);
        putText(entry, Id::codecId, "D_WEBVTT/SUBTITLES");
        QByteArray body;
        putElement(body, Id::trackEntry, entry);
        putElement(tracks, Id::tracks, body);
    }

    const qsizetype seekHeadSize = seekHead({{Id::info, 0}, {Id::tracks, 0}, {Id::cues, 0}}).size();
    const quint64 infoAt = quint64(seekHeadSize);
    const quint64 tracksAt = infoAt + quint64(info.size());
    const quint64 clustersAt = tracksAt + quint64(tracks.size());
    const quint64 cuesAt = clustersAt + quint64(clusters.size());

    QByteArray cueIndex;
    {
        QByteArray body;
        for (const Entry& entry : index) {
            QByteArray position;
            putUnsigned(position, Id::cueTrack, 1);
            putUnsigned(position, Id::cueClusterPosition, clustersAt + quint64(entry.offset));
            QByteArray point;
            putUnsigned(point, Id::cueTime, quint64(entry.time));
            putElement(point, Id::cueTrackPositions, position);
            putElement(body, Id::cuePoint, point);
        }
        putElement(cueIndex, Id::cues, body);
    }

    const QByteArray head = seekHead({{Id::info, infoAt}, {Id::tracks, tracksAt}, {Id::cues, cuesAt}});
    const quint64 segmentSize = cuesAt + quint64(cueIndex.size());
    QByteArray out;
    out.reserve(qsizetype(segmentSize) + header.size() + 32);
    putElement(out, Id::ebml, header);
    putId(out, Id::segment);
    putSize(out, segmentSize);
    out += head;
    out += info;
    out += tracks;
    out += clusters;
    out += cueIndex;
    return out;
}

bool SubtitleMatroska::write(const QList<SubtitleItem>& items, const QUrl& url) {
    QString error;
    if (!writePrivately(url.toLocalFile(), fromItems(items), &error)) {
        qCWarning(lcSubtitles) << "could not write" << url.toLocalFile() << ":" << error;
        return false;
    }
    return true;
}

QUrl SubtitleMatroska::cacheURL(const QUrl& movieURL) {
    return QUrl::fromLocalFile(userCachePath() + u'/' +
                               replacingLastExtension(movieURL.fileName(), QStringLiteral("mks")));
}
