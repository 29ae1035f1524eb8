#include "core/Records.h"

#include <QRandomGenerator>
#include <utility>

namespace {

// A random (version 4) UUID. QUuid::createUuid asks the kernel for every id, which made
// building the items of a large subtitle file several times slower; the process-wide
// generator is seeded from the system once and is just as unique for identities.
QUuid freshId() {
    quint32 words[4];
    QRandomGenerator::global()->fillRange(words);
    const auto byte = [&](int i) { return static_cast<uchar>(words[2 + i / 4] >> (8 * (i % 4))); };
    return QUuid(words[0], static_cast<ushort>(words[1]), static_cast<ushort>(((words[1] >> 16) & 0x0FFF) | 0x4000),
                 static_cast<uchar>((byte(0) & 0x3F) | 0x80), byte(1), byte(2), byte(3), byte(4), byte(5), byte(6),
                 byte(7));
}

// +0 and -0 compare equal, so they must hash alike.
double hashable(double d) noexcept { return d == 0.0 ? 0.0 : d; }

}  // namespace

VideoItem::VideoItem() : id(freshId()) {}

VideoItem::VideoItem(const QUrl& url, QString time, QString text, QString BID, ItemColor color, double duration)
    : id(freshId()),
      path(url.toLocalFile()),
      time(std::move(time)),
      text(std::move(text)),
      BID(std::move(BID)),
      color(color),
      duration(duration) {}

VideoItem VideoItem::atPath(QString path, QString time, QString text, QString BID, ItemColor color, double duration) {
    VideoItem item;
    item.path = std::move(path);
    item.time = std::move(time);
    item.text = std::move(text);
    item.BID = std::move(BID);
    item.color = color;
    item.duration = duration;
    return item;
}

QUrl VideoItem::url() const { return path.isEmpty() ? QUrl() : QUrl::fromLocalFile(path); }

SubtitleItem::SubtitleItem() : id(freshId()) {}

SubtitleItem::SubtitleItem(double stime, double etime, QString text, ItemColor color, double duration)
    : id(freshId()), stime(stime), etime(etime), text(std::move(text)), color(color), duration(duration) {}

size_t qHash(const VideoItem& item, size_t seed) noexcept {
    return qHashMulti(seed, item.id, item.path, item.time, item.text, item.BID, static_cast<int>(item.color),
                      hashable(item.duration));
}

size_t qHash(const SubtitleItem& item, size_t seed) noexcept {
    return qHashMulti(seed, item.id, hashable(item.stime), hashable(item.etime), item.text,
                      static_cast<int>(item.color), hashable(item.duration));
}
