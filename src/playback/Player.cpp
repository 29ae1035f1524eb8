#include "playback/Player.h"

#include "playback/PlayerLog.h"

#include <mpv/client.h>
#include <QDateTime>
#include <QMetaObject>
#include <QVariant>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <utility>

namespace {

// The mpv options, properties and commands the player uses.
namespace Mpv {
constexpr const char* vo = "vo";
constexpr const char* ao = "ao";
constexpr const char* keepOpen = "keep-open";
constexpr const char* idle = "idle";
constexpr const char* pause = "pause";
constexpr const char* speed = "speed";
constexpr const char* volume = "volume";
constexpr const char* timePos = "time-pos";
constexpr const char* duration = "duration";
constexpr const char* eofReached = "eof-reached";
constexpr const char* subAuto = "sub-auto";
constexpr const char* subVisibility = "sub-visibility";
constexpr const char* subPos = "sub-pos";
constexpr const char* subAlignY = "sub-align-y";
constexpr const char* subColor = "sub-color";
constexpr const char* subBackColor = "sub-back-color";
constexpr const char* subFont = "sub-font";
constexpr const char* subFontSize = "sub-font-size";
constexpr const char* subBorderSize = "sub-border-size";
constexpr const char* subShadowOffset = "sub-shadow-offset";
constexpr const char* firstPlaylistEntryId = "playlist/0/id";
constexpr const char* loadfile = "loadfile";
constexpr const char* seek = "seek";
constexpr const char* stop = "stop";
constexpr const char* mute = "mute";
constexpr const char* showText = "show-text";
constexpr const char* audioTrack = "aid";
constexpr const char* subtitleTrack = "sid";
constexpr const char* secondarySubtitleTrack = "secondary-sid";
constexpr const char* trackList = "track-list";
}  // namespace Mpv

// Reply ids of the observed properties.
enum Observed : quint64 { observedPause = 1, observedSpeed, observedTimePos, observedEofReached, observedDuration };

// Options set before mpv starts: a quiet embedded player that only does what it is told.
struct StartOption {
    const char* name;
    const char* value;
};
constexpr StartOption startOptions[] = {
    {Mpv::keepOpen, "yes"},  // the last frame stays, and a seek after the end still works
    {Mpv::idle, "yes"},      // an empty or failed item leaves the player waiting
    {Mpv::pause, "yes"},     // like a new player: nothing plays until asked
    {Mpv::subAuto, "no"},    // the movie's own sidecar files are not subtitles
    {"audio-file-auto", "no"},
    {"config", "no"},
    {"terminal", "no"},
    {"input-default-bindings", "no"},
    {"input-vo-keyboard", "no"},
    {"osc", "no"},
    {"ytdl", "no"},
    {"load-scripts", "no"},
    // mpv's built-in Lua scripts (statistics page, console, conditional profiles) answer
    // keys and profiles that this player never gives them; each costs a Lua state and a thread.
    {"load-stats-overlay", "no"},
    {"load-osd-console", "no"},
    {"load-auto-profiles", "no"},
    // Decoding stays in software (mpv's default), so the render context need not load and
    // probe every hardware decoding interop (VA-API, VDPAU, CUDA) when it starts.
    {"gpu-hwdec-interop", "no"},
    {"hr-seek", "yes"},
    {"video-timing-offset", "0"},  // rendering on the GUI thread must not wait for display time
    {"audio-client-name", "Reelnook"},
};

QString secondsText(double seconds) { return QString::number(seconds, 'f', 3); }

// "#AARRGGBB", as mpv takes colours.
QString argbText(const QColor& color) { return color.name(QColor::HexArgb).toUpper(); }

}  // namespace

Player::Player(QObject* parent) : Player(Options{}, parent) {}

Player::Player(Options options, QObject* parent) : QObject(parent), options_(options) {
    surfaceReady_ = !options_.video;
    // mpv refuses to start under a locale whose decimal separator is not ".".
    std::setlocale(LC_NUMERIC, "C");
    mpv_ = mpv_create();
    if (!mpv_)
        return;
    mpv_set_option_string(mpv_, Mpv::vo, options_.video ? "libmpv" : "null");
    if (!options_.audio)
        mpv_set_option_string(mpv_, Mpv::ao, "null");
    for (const StartOption& option : startOptions)
        mpv_set_option_string(mpv_, option.name, option.value);
    if (mpv_initialize(mpv_) < 0) {
        mpv_terminate_destroy(mpv_);
        mpv_ = nullptr;
        return;
    }
    double fontSize = 0;
    if (mpv_get_property(mpv_, Mpv::subFontSize, MPV_FORMAT_DOUBLE, &fontSize) >= 0 && fontSize > 0)
        defaultFontSize_ = fontSize;

    mpv_observe_property(mpv_, observedPause, Mpv::pause, MPV_FORMAT_FLAG);
    mpv_observe_property(mpv_, observedSpeed, Mpv::speed, MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv_, observedTimePos, Mpv::timePos, MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv_, observedEofReached, Mpv::eofReached, MPV_FORMAT_FLAG);
    mpv_observe_property(mpv_, observedDuration, Mpv::duration, MPV_FORMAT_DOUBLE);
    mpv_set_wakeup_callback(mpv_, &Player::wakeup, this);
}

Player::~Player() {
    if (!mpv_)
        return;
    mpv_set_wakeup_callback(mpv_, nullptr, nullptr);
    mpv_terminate_destroy(mpv_);
}

// Called on one of mpv's threads: only queue the draining onto the player's thread.
void Player::wakeup(void* context) {
    auto* self = static_cast<Player*>(context);
    if (!self->drainQueued_.exchange(true))
        QMetaObject::invokeMethod(self, &Player::drainEvents, Qt::QueuedConnection);
}

void Player::drainEvents() {
    drainQueued_ = false;
    while (alive()) {
        const mpv_event* event = mpv_wait_event(mpv_, 0);
        switch (event->event_id) {
        case MPV_EVENT_NONE:
            return;
        case MPV_EVENT_SHUTDOWN:
            shutDown_ = true;
            messagesSent_.clear();
            load_ = item_ ? Load::failed : Load::none;
            Q_EMIT stateChanged();
            return;
        case MPV_EVENT_PROPERTY_CHANGE: {
            const auto* change = static_cast<const mpv_event_property*>(event->data);
            if (change)
                handlePropertyChange(event->reply_userdata, change->format, change->data);
            break;
        }
        case MPV_EVENT_START_FILE:
            if (const auto* start = static_cast<const mpv_event_start_file*>(event->data))
                startedEntry_ = start->playlist_entry_id;
            break;
        case MPV_EVENT_FILE_LOADED:
            if (startedEntry_ == expectedEntry_ && load_ == Load::loading)
                fileLoaded();
            break;
        case MPV_EVENT_END_FILE:
            if (const auto* end = static_cast<const mpv_event_end_file*>(event->data))
                fileEnded(end->playlist_entry_id, end->reason, end->error);
            break;
        case MPV_EVENT_COMMAND_REPLY:
            messageReplied(event->reply_userdata, event->error);
            break;
        case MPV_EVENT_PLAYBACK_RESTART:
            // The first picture after opening or after a seek: the position jumped. A seek
            // issued since is still on its way.
            openedAt_.reset();
            if (seekTarget_ && std::abs(currentTime() - *seekTarget_) < 0.25)
                seekTarget_.reset();
            if (isLoaded())
                report(currentTime());
            break;
        default:
            break;
        }
    }
}

void Player::handlePropertyChange(quint64 id, int format, void* data) {
    // An unavailable property arrives without data (MPV_FORMAT_NONE).
    const bool hasFlag = format == MPV_FORMAT_FLAG && data;
    const bool hasDouble = format == MPV_FORMAT_DOUBLE && data;
    switch (id) {
    case observedPause:
        if (hasFlag)
            setPaused(*static_cast<int*>(data) != 0);
        break;
    case observedSpeed:
        if (hasDouble) {
            speed_ = *static_cast<double*>(data);
            Q_EMIT stateChanged();
        }
        break;
    case observedEofReached: {
        const bool reached = hasFlag && *static_cast<int*>(data) != 0;
        if (reached != endReached_) {
            endReached_ = reached;
            Q_EMIT stateChanged();
        }
        break;
    }
    case observedDuration:
        openedLength_ = hasDouble ? *static_cast<double*>(data) : 0;
        break;
    case observedTimePos:
        if (hasDouble && rate() != 0) {
            const double seconds = *static_cast<double*>(data);
            if (qint64(std::floor(seconds)) != lastReportedSecond_)
                report(seconds);
        }
        break;
    default:
        break;
    }
}

void Player::report(double seconds) {
    lastReportedSecond_ = qint64(std::floor(seconds));
    Q_EMIT positionReported(seconds);
}

bool Player::setOption(const char* name, const QString& value) {
    return alive() && mpv_set_property_string(mpv_, name, value.toUtf8().constData()) >= 0;
}

void Player::replaceCurrentItem(const PlayerItem& item, double startAt) {
    item_ = item;
    error_.clear();
    endReached_ = false;
    trackChoice_ = {};
    pendingSeek_.reset();
    if (startAt > 0)
        pendingSeek_ = startAt;
    // From here on nothing of the replaced item is reported: its position is not the new
    // item's, and a pause now must not announce it.
    load_ = item.subtitlesPending ? Load::waitingForSubtitles : Load::waitingForSurface;
    lastReportedSecond_ = -1;
    pause();
    if (load_ == Load::waitingForSubtitles) {
        // The replaced movie must not go on playing, or be played, while the new one waits.
        // Nothing waits for mpv here: the stop runs before any later command all the same.
        const char* stop[] = {Mpv::stop, nullptr};
        if (alive())
            mpv_command_async(mpv_, 0, stop);
    } else if (surfaceReady_) {
        startLoad();
    }
    Q_EMIT stateChanged();
}

void Player::subtitlesWritten(const PlayerItem& item) {
    if (load_ != Load::waitingForSubtitles || !item_ || item.url != item_->url || item.subtitlesPending)
        return;
    item_->subtitlePath = item.subtitlePath;
    item_->hasSubtitles = item.hasSubtitles;
    item_->subtitlesPending = false;
    load_ = Load::waitingForSurface;
    if (surfaceReady_)
        startLoad();
    Q_EMIT stateChanged();
}

void Player::startLoad() {
    if (!item_ || !alive())
        return;
    const QByteArray path = item_->url.toLocalFile().toUtf8();
    const QByteArray end = secondsText(item_->range.duration.seconds()).toUtf8();
    openingAt_ = std::max(0.0, pendingSeek_.value_or(0.0));
    const QByteArray start = secondsText(openingAt_).toUtf8();
    pendingSeek_.reset();

    // Options that hold for this file only. A length of 0 means the length is unknown, and
    // the whole file plays.
    mpv_node_list optionList{};
    mpv_node optionValues[6];
    char* optionKeys[6];
    auto addOption = [&](const char* key, const QByteArray& value) {
        optionKeys[optionList.num] = const_cast<char*>(key);
        optionValues[optionList.num].format = MPV_FORMAT_STRING;
        optionValues[optionList.num].u.string = const_cast<char*>(value.constData());
        ++optionList.num;
    };
    addOption("start", start);
    if (item_->range.duration.value > 0)
        addOption("end", end);
    // The subtitles open with the movie, so that no later track change makes mpv seek again
    // while the user may be seeking already; "-append" takes the path as it is.
    const QByteArray subtitles = item_->subtitlePath.toUtf8();
    if (item_->hasSubtitles)
        addOption("sub-files-append", subtitles);
    // Opened again where it is (a new length, a new surface): the tracks chosen stay.
    const std::pair<const char*, const QByteArray&> choices[] = {
        {Mpv::audioTrack, trackChoice_.audio},
        {Mpv::subtitleTrack, trackChoice_.subtitle},
        {Mpv::secondarySubtitleTrack, trackChoice_.secondarySubtitle},
    };
    for (const auto& [option, value] : choices)
        if (!value.isEmpty())
            addOption(option, value);
    optionList.keys = optionKeys;
    optionList.values = optionValues;

    mpv_node args[4];
    char* argKeys[4] = {const_cast<char*>("name"), const_cast<char*>("url"), const_cast<char*>("flags"),
                        const_cast<char*>("options")};
    args[0].format = MPV_FORMAT_STRING;
    args[0].u.string = const_cast<char*>(Mpv::loadfile);
    args[1].format = MPV_FORMAT_STRING;
    args[1].u.string = const_cast<char*>(path.constData());
    args[2].format = MPV_FORMAT_STRING;
    args[2].u.string = const_cast<char*>("replace");
    args[3].format = MPV_FORMAT_NODE_MAP;
    args[3].u.list = &optionList;
    mpv_node_list argList{4, args, argKeys};
    mpv_node command;
    command.format = MPV_FORMAT_NODE_MAP;
    command.u.list = &argList;

    load_ = Load::loading;
    if (mpv_command_node(mpv_, &command, nullptr) < 0) {
        load_ = Load::failed;
        error_ = QStringLiteral("the movie could not be queued");
        qCWarning(lcPlayer) << "cannot play" << (item_ ? item_->url.toLocalFile() : QString()) << ":" << error_;
        Q_EMIT loadFinished(false);
        Q_EMIT stateChanged();
        return;
    }
    // "replace" leaves the new file as the only playlist entry.
    int64_t entry = -1;
    mpv_get_property(mpv_, Mpv::firstPlaylistEntryId, MPV_FORMAT_INT64, &entry);
    expectedEntry_ = entry;
}

void Player::fileLoaded() {
    load_ = Load::loaded;
    openedAt_ = openingAt_;
    error_.clear();
    if (pendingSeek_)
        seek(*std::exchange(pendingSeek_, std::nullopt));
    Q_EMIT loadFinished(true);
    Q_EMIT stateChanged();
    // The position it opened at, before its first picture comes.
    report(currentTime());
}

void Player::fileEnded(qint64 entry, int reason, int error) {
    if (entry != expectedEntry_ || reason != MPV_END_FILE_REASON_ERROR)
        return;
    if (load_ != Load::loading && load_ != Load::loaded)
        return;
    load_ = Load::failed;
    error_ = QString::fromUtf8(mpv_error_string(error));
    qCWarning(lcPlayer) << "cannot play" << (item_ ? item_->url.toLocalFile() : QString()) << ":" << error_;
    pendingSeek_.reset();
    Q_EMIT loadFinished(false);
    Q_EMIT stateChanged();
}

void Player::attachSurface() {
    surfaceReady_ = true;
    if (load_ == Load::waitingForSurface)
        startLoad();
}

void Player::detachSurface() {
    if (!options_.video)
        return;
    surfaceReady_ = false;
    // Without its surface mpv drops the video; the item opens again, where it was, once a
    // new surface is ready.
    if (load_ == Load::loading || load_ == Load::loaded) {
        const double position = currentTime();
        const char* stop[] = {Mpv::stop, nullptr};
        if (alive())
            mpv_command(mpv_, stop);
        load_ = Load::waitingForSurface;
        pendingSeek_ = position;
        Q_EMIT stateChanged();
    }
}

void Player::play() {
    if (!alive() || !item_)
        return;
    int no = 0;
    if (mpv_set_property(mpv_, Mpv::pause, MPV_FORMAT_FLAG, &no) >= 0)
        setPaused(false);
}

void Player::pause() {
    if (!alive())
        return;
    int yes = 1;
    if (mpv_set_property(mpv_, Mpv::pause, MPV_FORMAT_FLAG, &yes) >= 0)
        setPaused(true);
}

// Starting and stopping playback also report the position.
void Player::setPaused(bool paused) {
    if (paused_ == paused)
        return;
    paused_ = paused;
    Q_EMIT stateChanged();
    if (isLoaded())
        report(currentTime());
}

double Player::rate() const {
    if (!alive() || !isLoaded() || paused_ || endReached_)
        return 0;
    return speed_;
}

void Player::setVolume(float volume) {
    const float previous = volume_;
    volume_ = std::isfinite(volume) ? std::clamp(volume, 0.0f, 1.0f) : 0.0f;
    if (volume_ != previous)
        Q_EMIT volumeChanged(volume_);
    if (!alive())
        return;
    double percent = double(volume_) * 100.0;
    mpv_set_property(mpv_, Mpv::volume, MPV_FORMAT_DOUBLE, &percent);
}

void Player::setLength(double seconds) {
    if (!item_)
        return;
    const bool wholeFile = item_->range.duration.value == 0;
    item_->range.duration = MediaTime::fromSeconds(seconds);
    // A movie opened before its length was known plays whole already; it needs opening again
    // only when the file grew since mpv read it.
    if (wholeFile && (isOpening() || (isLoaded() && openedLength_ + lengthTolerance >= seconds)))
        return;
    // mpv read the file's index when it opened it: the open file is opened again where it is,
    // playing or paused as it was, to reach its new end.
    if (isLoaded() || isOpening()) {
        pendingSeek_ = currentTime();
        load_ = surfaceReady_ ? Load::loading : Load::waitingForSurface;
        if (surfaceReady_)
            startLoad();
    }
}

void Player::seek(double seconds) { seek(MediaTime::fromSeconds(seconds)); }

void Player::seek(MediaTime time) {
    if (!alive() || !item_)
        return;
    const double seconds = time.seconds();
    if (!isLoaded()) {
        if (load_ != Load::failed)
            pendingSeek_ = seconds;
        return;
    }
    endReached_ = false;
    seekTarget_ = seconds;
    seekIssuedMs_ = QDateTime::currentMSecsSinceEpoch();
    const QByteArray target = secondsText(seconds).toUtf8();
    const char* command[] = {Mpv::seek, target.constData(), "absolute+exact", nullptr};
    // Not waited for: right after a movie opens, mpv's core may wait for the picture this
    // thread is to render, and a call that waits for the core holds both until mpv gives up
    // on the picture (a fifth of a second). Commands still run in the order given.
    mpv_command_async(mpv_, 0, command);
}

std::optional<double> Player::seekTarget() const {
    // A seek mpv could not land where asked (past the end, say) is given up on after a second.
    if (seekTarget_ && QDateTime::currentMSecsSinceEpoch() - seekIssuedMs_ < 1000)
        return seekTarget_;
    return std::nullopt;
}

void Player::setMuted(bool muted) {
    if (!alive())
        return;
    int flag = muted ? 1 : 0;
    if (mpv_set_property(mpv_, Mpv::mute, MPV_FORMAT_FLAG, &flag) < 0 || muted_ == muted)
        return;
    muted_ = muted;
    Q_EMIT mutedChanged(muted);
}

void Player::showMessage(const QString& text, int milliseconds) {
    if (!alive())
        return;
    const QByteArray message = text.toUtf8();
    const QByteArray duration = QByteArray::number(milliseconds);
    const char* command[] = {Mpv::showText, message.constData(), duration.constData(), nullptr};
    const quint64 reply = ++lastMessageReply_;
    if (mpv_command_async(mpv_, reply, command) >= 0)
        messagesSent_.insert(reply, text);
}

void Player::messageReplied(quint64 reply, int error) {
    const auto sent = messagesSent_.find(reply);
    if (sent == messagesSent_.end())
        return;
    const QString text = *sent;
    messagesSent_.erase(sent);
    if (error < 0)
        qCWarning(lcPlayer) << "mpv did not show the message" << text << ":" << mpv_error_string(error);
    else
        Q_EMIT messageShown(text);
}

double Player::currentTime() const {
    if (pendingSeek_)
        return *pendingSeek_;
    if (!alive() || !isLoaded())
        return 0;
    // mpv goes to the start it was given only after it says the file is loaded.
    if (openedAt_)
        return *openedAt_;
    double seconds = 0;
    if (mpv_get_property(mpv_, Mpv::timePos, MPV_FORMAT_DOUBLE, &seconds) < 0 || !std::isfinite(seconds))
        return 0;
    return seconds;
}

namespace {
namespace Mpv {
constexpr const char* frameDropCount = "frame-drop-count";
constexpr const char* decoderFrameDropCount = "decoder-frame-drop-count";
}  // namespace Mpv
}  // namespace

Player::DroppedFrames Player::droppedFrames() const {
    DroppedFrames dropped;
    if (!alive() || !isLoaded())
        return dropped;
    int64_t count = 0;
    if (mpv_get_property(mpv_, Mpv::frameDropCount, MPV_FORMAT_INT64, &count) >= 0)
        dropped.output = count;
    count = 0;
    if (mpv_get_property(mpv_, Mpv::decoderFrameDropCount, MPV_FORMAT_INT64, &count) >= 0)
        dropped.decoder = count;
    return dropped;
}

void Player::setSubtitleStyle(const SubtitleStyle& style) {
    if (style_ == style)
        return;
    style_ = style;
    // Cues that show at once are stacked away from the edge they are aligned to: aligned to
    // the bottom and only moved up (sub-pos), a second cue would go off the top.
    setOption(Mpv::subAlignY, style.atTop ? QStringLiteral("top") : QStringLiteral("bottom"));
    setOption(Mpv::subPos, style.atTop ? QStringLiteral("0") : QStringLiteral("100"));
    setOption(Mpv::subColor, argbText(style.text));
    setOption(Mpv::subBackColor, argbText(style.background));
    setOption(Mpv::subFont, style.fontFamily);
    setOption(Mpv::subFontSize, QString::number(defaultFontSize_ * style.relativeSize / 100.0, 'f', 2));
    if (style.plainEdges) {
        setOption(Mpv::subBorderSize, QStringLiteral("0"));
        setOption(Mpv::subShadowOffset, QStringLiteral("0"));
    }
    setOption(Mpv::subVisibility, style.visible ? QStringLiteral("yes") : QStringLiteral("no"));
}

// --- Frame-exact stepping and playback speed ---

void Player::stepFrame(int direction) {
    if (!alive() || !isLoaded() || direction == 0)
        return;
    endReached_ = false;
    const char* command[] = {direction > 0 ? "frame-step" : "frame-back-step", nullptr};
    mpv_command_async(mpv_, 0, command);
}

double Player::frameDuration() const {
    constexpr double fallback = 1.0 / 25;
    if (!alive() || !isLoaded())
        return fallback;
    for (const char* rate : {"container-fps", "estimated-vf-fps"}) {
        double fps = 0;
        if (mpv_get_property(mpv_, rate, MPV_FORMAT_DOUBLE, &fps) >= 0 && std::isfinite(fps) && fps >= 1)
            return 1.0 / fps;
    }
    return fallback;
}

void Player::setSpeed(double speed) {
    if (!alive() || !std::isfinite(speed))
        return;
    speed = std::clamp(speed, minSpeed, maxSpeed);
    if (mpv_set_property(mpv_, Mpv::speed, MPV_FORMAT_DOUBLE, &speed) >= 0 && speed_ != speed) {
        speed_ = speed;
        Q_EMIT stateChanged();
    }
}

// --- The movie's audio and subtitle tracks ---

namespace {

// The value of `key` in an mpv node map; null when it is not there.
const mpv_node* member(const mpv_node& map, const char* key) {
    if (map.format != MPV_FORMAT_NODE_MAP)
        return nullptr;
    for (int i = 0; i < map.u.list->num; ++i)
        if (qstrcmp(map.u.list->keys[i], key) == 0)
            return &map.u.list->values[i];
    return nullptr;
}

QString textMember(const mpv_node& map, const char* key) {
    const mpv_node* value = member(map, key);
    return value && value->format == MPV_FORMAT_STRING ? QString::fromUtf8(value->u.string) : QString();
}

bool flagMember(const mpv_node& map, const char* key) {
    const mpv_node* value = member(map, key);
    return value && value->format == MPV_FORMAT_FLAG && value->u.flag != 0;
}

QString trackOption(qint64 id) { return id > 0 ? QString::number(id) : QStringLiteral("no"); }

}  // namespace

QList<Player::Track> Player::tracks(const char* type) const {
    QList<Track> found;
    mpv_node list;
    if (!alive() || !isLoaded() || mpv_get_property(mpv_, Mpv::trackList, MPV_FORMAT_NODE, &list) < 0)
        return found;
    if (list.format == MPV_FORMAT_NODE_ARRAY)
        for (int i = 0; i < list.u.list->num; ++i) {
            const mpv_node& entry = list.u.list->values[i];
            const mpv_node* id = member(entry, "id");
            if (textMember(entry, "type") != QLatin1String(type) || !id || id->format != MPV_FORMAT_INT64)
                continue;
            found << Track{id->u.int64, textMember(entry, "title"), textMember(entry, "lang"),
                           flagMember(entry, "external"), flagMember(entry, "selected")};
        }
    mpv_free_node_contents(&list);
    return found;
}

qint64 Player::audioTrack() const {
    int64_t id = 0;
    if (!alive() || !isLoaded() || mpv_get_property(mpv_, Mpv::audioTrack, MPV_FORMAT_INT64, &id) < 0)
        return 0;  // "no"
    return id;
}

void Player::setAudioTrack(qint64 id) {
    if (!isLoaded())
        return;
    const QString value = trackOption(id);
    if (setOption(Mpv::audioTrack, value))
        trackChoice_.audio = value.toUtf8();
}

qint64 Player::movieSubtitleTrack() const {
    for (const Track& track : subtitleTracks())
        if (track.selected && !track.external)
            return track.id;
    return 0;
}

void Player::setMovieSubtitleTrack(qint64 id) {
    if (!isLoaded())
        return;
    const QList<Track> all = subtitleTracks();
    const bool besideMarks = std::any_of(all.begin(), all.end(), [](const Track& track) { return track.external; });
    const QString value = trackOption(id);
    if (!setOption(besideMarks ? Mpv::secondarySubtitleTrack : Mpv::subtitleTrack, value))
        return;
    (besideMarks ? trackChoice_.secondarySubtitle : trackChoice_.subtitle) = value.toUtf8();
    // mpv takes a new track's cues with the next picture: a movie that does not play makes the
    // picture where it is again, or the cue showing there would not show.
    if (rate() == 0)
        seek(seekTarget().value_or(currentTime()));
}
