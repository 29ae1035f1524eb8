#pragma once

#include <mpv/client.h>
#include <QString>
#include <functional>
#include <optional>

// A real libmpv player without picture or sound (vo=null, ao=null) that plays one clip,
// paused, and tells which subtitle text a WebVTT file shows at a given time.
class MpvSubtitles {
public:
    explicit MpvSubtitles(const QString& clip);
    ~MpvSubtitles();
    MpvSubtitles(const MpvSubtitles&) = delete;
    MpvSubtitles& operator=(const MpvSubtitles&) = delete;

    bool isReady() const { return ready_; }

    // The "sub-text" property at `seconds` with `vtt` as the only subtitle track, once it is
    // as `expected` or mpv has nothing more to tell; absent when mpv could not load the file
    // or seek.
    std::optional<QString> textAt(const QString& vtt, double seconds,
                                  const std::function<bool(const QString&)>& expected);
    std::optional<QString> textAt(const QString& vtt, double seconds, const QString& expected) {
        return textAt(vtt, seconds, [&expected](const QString& text) { return text == expected; });
    }

private:
    bool command(std::initializer_list<const char*> args);
    bool waitFor(mpv_event_id id);
    QString subText();

    mpv_handle* mpv_ = nullptr;
    bool ready_ = false;
};
