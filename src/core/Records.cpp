#include "core/Records.h"

#include <utility>

namespace {

// +0 and -0 compare equal, so they must hash alike.
double hashable(double d) noexcept { return d == 0.0 ? 0.0 : d; }

}  // namespace

VideoItem::VideoItem() : id(QUuid::createUuid()) {}

VideoItem::VideoItem(QUrl url, QString time, QString text, QString BID, ItemColor color, double duration)
    : id(QUuid::createUuid()),
      url(std::move(url)),
      time(std::move(time)),
      text(std::move(text)),
      BID(std::move(BID)),
      color(color),
      duration(duration) {}

SubtitleItem::SubtitleItem() : id(QUuid::createUuid()) {}

SubtitleItem::SubtitleItem(double stime, double etime, QString text, ItemColor color, double duration)
    : id(QUuid::createUuid()), stime(stime), etime(etime), text(std::move(text)), color(color), duration(duration) {}

size_t qHash(const VideoItem& item, size_t seed) noexcept {
    return qHashMulti(seed, item.id, item.url, item.time, item.text, item.BID, static_cast<int>(item.color),
                      hashable(item.duration));
}

size_t qHash(const SubtitleItem& item, size_t seed) noexcept {
    return qHashMulti(seed, item.id, hashable(item.stime), hashable(item.etime), item.text,
                      static_cast<int>(item.color), hashable(item.duration));
}
