// Measures a player from the outside, the same way whichever player it is: starts it, polls the
// X screen until a picture with a known marker colour shows, reads the process's memory after
// some seconds of playback, and drives switches to another movie and back (over MPRIS for
// Reelnook, over the IPC socket for mpv), each timed until the marker shows again. Prints one
// "name value" line per figure; bench/compare_mpv.sh runs it and takes the medians.
//
//   screen_probe [options] -- PROGRAM ARGUMENTS...
//     --colour RRGGBB      the marker colour (default FF00AA)
//     --min-samples N      sampled pixels of the marker colour that count as the picture (300)
//     --timeout-ms N       longest wait for any picture (20000)
//     --log FILE           where the program's output goes (default: discarded)
//     --play mpris         start playback over MPRIS after the first picture
//     --rss-after S        after the first picture, wait S seconds and print the memory
//     --switches N         then N times: away to another movie, back to the marked one
//     --switch-via V       mpris (Next, then Previous) or ipc:SOCKET (mpv loadfile)
//     --away FILE          the movie of the way away (ipc only)
//     --back FILE          the marked movie (ipc only)
//     --quit Q             how the program ends: mpris, ipc:SOCKET or term (default)
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>

namespace {

// The root window through shared memory: a whole-screen grab costs the X server one copy, so
// polling every few milliseconds takes little from the program being measured.
class ScreenGrabber {
public:
    ~ScreenGrabber() {
        if (image_) {
            XShmDetach(display_, &shm_);
            XDestroyImage(image_);
            shmdt(shm_.shmaddr);
        }
        if (display_)
            XCloseDisplay(display_);
    }

    QString open() {
        display_ = XOpenDisplay(nullptr);
        if (!display_)
            return QStringLiteral("no X display");
        if (!XShmQueryExtension(display_))
            return QStringLiteral("the X server has no MIT-SHM");
        const int screen = DefaultScreen(display_);
        root_ = RootWindow(display_, screen);
        image_ = XShmCreateImage(display_, DefaultVisual(display_, screen), DefaultDepth(display_, screen), ZPixmap,
                                 nullptr, &shm_, DisplayWidth(display_, screen), DisplayHeight(display_, screen));
        if (!image_ || image_->bits_per_pixel != 32)
            return QStringLiteral("the screen is not 32 bits per pixel");
        shm_.shmid = shmget(IPC_PRIVATE, size_t(image_->bytes_per_line) * image_->height, IPC_CREAT | 0600);
        if (shm_.shmid < 0)
            return QStringLiteral("no shared memory for the grab");
        shm_.shmaddr = image_->data = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
        shm_.readOnly = False;
        XShmAttach(display_, &shm_);
        XSync(display_, False);
        // Freed once both sides detach.
        shmctl(shm_.shmid, IPC_RMID, nullptr);
        return {};
    }

    // Sampled pixels (every 4th of every 4th row) within `tolerance` of `rgb` per channel.
    int countColour(quint32 rgb, int tolerance) {
        if (!XShmGetImage(display_, root_, image_, 0, 0, AllPlanes))
            return 0;
        const int r = int(rgb >> 16 & 0xff), g = int(rgb >> 8 & 0xff), b = int(rgb & 0xff);
        int count = 0;
        for (int y = 0; y < image_->height; y += 4) {
            const auto* row = reinterpret_cast<const quint32*>(image_->data + qsizetype(y) * image_->bytes_per_line);
            for (int x = 0; x < image_->width; x += 4) {
                const quint32 p = row[x];
                if (std::abs(int(p >> 16 & 0xff) - r) <= tolerance && std::abs(int(p >> 8 & 0xff) - g) <= tolerance &&
                    std::abs(int(p & 0xff) - b) <= tolerance)
                    ++count;
            }
        }
        return count;
    }

private:
    Display* display_ = nullptr;
    Window root_ = 0;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
};

struct Settings {
    quint32 colour = 0xFF00AA;
    int minSamples = 300;
    int timeoutMs = 20000;
    QString log;
    QString play;
    double rssAfter = -1;
    int switches = 0;
    QString switchVia;
    QString away;
    QString back;
    QString quit = QStringLiteral("term");
    QStringList command;
};

[[noreturn]] void fail(const QString& message) {
    std::fprintf(stderr, "screen_probe: %s\n", qPrintable(message));
    std::exit(1);
}

Settings parse(const QStringList& args) {
    Settings s;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                fail(a + QStringLiteral(" needs a value"));
            return args[++i];
        };
        if (a == QStringLiteral("--")) {
            s.command = args.mid(i + 1);
            break;
        }
        if (a == QStringLiteral("--colour"))
            s.colour = value().toUInt(nullptr, 16);
        else if (a == QStringLiteral("--min-samples"))
            s.minSamples = value().toInt();
        else if (a == QStringLiteral("--timeout-ms"))
            s.timeoutMs = value().toInt();
        else if (a == QStringLiteral("--log"))
            s.log = value();
        else if (a == QStringLiteral("--play"))
            s.play = value();
        else if (a == QStringLiteral("--rss-after"))
            s.rssAfter = value().toDouble();
        else if (a == QStringLiteral("--switches"))
            s.switches = value().toInt();
        else if (a == QStringLiteral("--switch-via"))
            s.switchVia = value();
        else if (a == QStringLiteral("--away"))
            s.away = QFileInfo(value()).absoluteFilePath();
        else if (a == QStringLiteral("--back"))
            s.back = QFileInfo(value()).absoluteFilePath();
        else if (a == QStringLiteral("--quit"))
            s.quit = value();
        else
            fail(QStringLiteral("unknown option ") + a);
    }
    if (s.command.isEmpty())
        fail(QStringLiteral("no program to run (give it after --)"));
    return s;
}

class Probe {
public:
    explicit Probe(Settings settings) : s_(std::move(settings)) {}

    int run() {
        if (const QString error = screen_.open(); !error.isEmpty())
            fail(error);
        if (screen_.countColour(s_.colour, tolerance) >= s_.minSamples)
            fail(QStringLiteral("the marker colour is on screen before the program starts"));
        if (!s_.log.isEmpty())
            process_.setStandardOutputFile(s_.log);
        else
            process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.setStandardInputFile(QProcess::nullDevice());

        QElapsedTimer clock;
        clock.start();
        process_.start(s_.command.first(), s_.command.mid(1));
        if (!process_.waitForStarted(10000))
            fail(QStringLiteral("cannot start ") + s_.command.first());
        const auto shown = waitForMarker(true, clock);
        if (!shown)
            return finish(QStringLiteral("no picture within the time limit"));
        std::printf("first_frame_ms %.1f\n", *shown);
        std::fflush(stdout);

        if (s_.play == QStringLiteral("mpris") && !callMpris(QStringLiteral("Play")))
            return finish(QStringLiteral("MPRIS Play failed"));
        if (s_.rssAfter >= 0) {
            sleepMs(int(s_.rssAfter * 1000));
            printMemory();
        }
        for (int i = 0; i < s_.switches; ++i) {
            if (!switchTo(false))
                return finish(QStringLiteral("could not switch away"));
            if (!waitForMarker(false, clock))
                return finish(QStringLiteral("the marked picture stayed after switching away"));
            sleepMs(300);  // the other movie settles, as a user would look at it
            QElapsedTimer sw;
            sw.start();
            if (!switchTo(true))
                return finish(QStringLiteral("could not switch back"));
            const auto back = waitForMarker(true, sw);
            if (!back)
                return finish(QStringLiteral("no picture after switching back"));
            std::printf("switch_ms %.1f\n", *back);
            std::fflush(stdout);
        }
        return finish({});
    }

private:
    static constexpr int tolerance = 48;

    // Milliseconds on `clock` when the marker showed (or went), polling the screen.
    std::optional<double> waitForMarker(bool present, const QElapsedTimer& clock) {
        QElapsedTimer limit;
        limit.start();
        while (limit.elapsed() < s_.timeoutMs) {
            const int count = screen_.countColour(s_.colour, tolerance);
            const double at = double(clock.nsecsElapsed()) / 1e6;
            if (present ? count >= s_.minSamples : count < s_.minSamples / 10)
                return at;
            if (process_.state() == QProcess::NotRunning)
                fail(QStringLiteral("the program ended (exit code %1)").arg(process_.exitCode()));
            QThread::usleep(3000);
        }
        return std::nullopt;
    }

    void sleepMs(int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(20);
        }
    }

    void printMemory() {
        const qint64 pid = process_.processId();
        auto field = [](const QString& path, const QByteArray& name) -> qint64 {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                return -1;
            for (const QByteArray& line : file.readAll().split('\n'))
                if (line.startsWith(name + ':'))
                    return line.mid(name.size() + 1).trimmed().split(' ').first().toLongLong();
            return -1;
        };
        const QString proc = QStringLiteral("/proc/%1/").arg(pid);
        std::printf("rss_kb %lld\n", field(proc + QStringLiteral("status"), "VmRSS"));
        std::printf("pss_kb %lld\n", field(proc + QStringLiteral("smaps_rollup"), "Pss"));
        std::printf("anon_kb %lld\n", field(proc + QStringLiteral("smaps_rollup"), "Anonymous"));
        std::fflush(stdout);
    }

    bool mprisReady() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return false;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            if (bus.interface()->isServiceRegistered(mprisName))
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    // Sends without waiting for the reply: the clock runs from the send.
    bool callMpris(const QString& method, const QString& interface = QStringLiteral("org.mpris.MediaPlayer2.Player")) {
        if (!mprisReady())
            return false;
        QDBusMessage call =
            QDBusMessage::createMethodCall(mprisName, QStringLiteral("/org/mpris/MediaPlayer2"), interface, method);
        return QDBusConnection::sessionBus().send(call);
    }

    bool sendIpc(const QString& socketPath, const QJsonArray& command) {
        if (!ipc_.isOpen()) {
            QElapsedTimer t;
            t.start();
            while (!QFileInfo::exists(socketPath) && t.elapsed() < 10000)
                QThread::msleep(20);
            ipc_.connectToServer(socketPath);
            if (!ipc_.waitForConnected(5000))
                return false;
        }
        QJsonObject message;
        message.insert(QStringLiteral("command"), command);
        ipc_.write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
        return ipc_.waitForBytesWritten(5000);
    }

    bool switchTo(bool back) {
        if (s_.switchVia == QStringLiteral("mpris"))
            return callMpris(back ? QStringLiteral("Previous") : QStringLiteral("Next"));
        if (s_.switchVia.startsWith(QStringLiteral("ipc:")))
            return sendIpc(s_.switchVia.mid(4), QJsonArray{QStringLiteral("loadfile"), back ? s_.back : s_.away});
        fail(QStringLiteral("--switch-via must be mpris or ipc:SOCKET"));
    }

    // Ends the program as the user would, or by SIGTERM; prints `error` and fails when given.
    int finish(const QString& error) {
        bool asked = false;
        if (process_.state() != QProcess::NotRunning) {
            if (s_.quit == QStringLiteral("mpris"))
                asked = callMpris(QStringLiteral("Quit"), QStringLiteral("org.mpris.MediaPlayer2"));
            else if (s_.quit.startsWith(QStringLiteral("ipc:")))
                asked = sendIpc(s_.quit.mid(4), QJsonArray{QStringLiteral("quit")});
            if (!asked)
                process_.terminate();
            if (!process_.waitForFinished(10000)) {
                process_.kill();
                process_.waitForFinished(5000);
            }
        }
        if (!error.isEmpty())
            fail(error);
        return 0;
    }

    static inline const QString mprisName = QStringLiteral("org.mpris.MediaPlayer2.reelnook");

    Settings s_;
    ScreenGrabber screen_;
    QProcess process_;
    QLocalSocket ipc_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Probe probe(parse(app.arguments()));
    return probe.run();
}
