#include "MpvSubtitles.h"

#include <QByteArray>
#include <vector>

namespace {
// Long enough for a loaded machine; reaching it means mpv never answered.
constexpr double eventTimeoutSeconds = 30;
}  // namespace

MpvSubtitles::MpvSubtitles(const QString& clip) : mpv_(mpv_create()) {
    if (!mpv_)
        return;
    for (const auto& [name, value] : {std::pair("vo", "null"), std::pair("ao", "null"), std::pair("pause", "yes"),
                                      std::pair("sub-auto", "no"), std::pair("hr-seek", "yes")})
        mpv_set_option_string(mpv_, name, value);
    if (mpv_initialize(mpv_) < 0)
        return;
    mpv_observe_property(mpv_, 0, "sub-text", MPV_FORMAT_STRING);
    const QByteArray path = clip.toUtf8();
    ready_ = command({"loadfile", path.constData()}) && waitFor(MPV_EVENT_FILE_LOADED);
}

MpvSubtitles::~MpvSubtitles() {
    if (mpv_)
        mpv_terminate_destroy(mpv_);
}

bool MpvSubtitles::command(std::initializer_list<const char*> args) {
    std::vector<const char*> argv(args);
    argv.push_back(nullptr);
    return mpv_command(mpv_, argv.data()) >= 0;
}

bool MpvSubtitles::waitFor(mpv_event_id id) {
    for (;;) {
        const mpv_event* event = mpv_wait_event(mpv_, eventTimeoutSeconds);
        if (event->event_id == id)
            return true;
        if (event->event_id == MPV_EVENT_NONE || event->event_id == MPV_EVENT_SHUTDOWN ||
            event->event_id == MPV_EVENT_END_FILE)
            return false;
    }
}

QString MpvSubtitles::subText() {
    char* value = mpv_get_property_string(mpv_, "sub-text");
    const QString text = QString::fromUtf8(value ? value : "");
    mpv_free(value);
    return text;
}

std::optional<QString> MpvSubtitles::textAt(const QString& vtt, double seconds,
                                            const std::function<bool(const QString&)>& expected) {
    if (!ready_)
        return std::nullopt;
    const QByteArray path = vtt.toUtf8();
    const QByteArray at = QByteArray::number(seconds, 'f', 3);
    // sub-add loads the file before it returns; after the seek mpv updates "sub-text" from
    // its playback loop, so its change events are followed until it is as `expected` (or
    // mpv stays quiet for the whole time-out, and the last text is the answer).
    if (!command({"sub-add", path.constData(), "select"}))
        return std::nullopt;
    std::optional<QString> text;
    if (command({"seek", at.constData(), "absolute+exact"}) && waitFor(MPV_EVENT_PLAYBACK_RESTART)) {
        text = subText();
        for (const mpv_event* event = nullptr; !expected(*text); text = subText()) {
            event = mpv_wait_event(mpv_, eventTimeoutSeconds);
            if (event->event_id == MPV_EVENT_NONE)
                break;
        }
    }
    command({"sub-remove"});
    return text;
}
