#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

class QSettings;

// Where the user left each movie, kept in one JSON file of the program's own data folder
// (never beside the movie). A movie is known by its file's identity (device, inode, size),
// so a renamed or moved file keeps its place; a file that cannot be looked at any more is
// matched by its path, and one found at the same path with the same size but a new inode (a
// copy put back, a mount that numbers files anew) counts as the same movie. A file of another
// size at a known path is another movie.
//
// The file holds the 500 most recently remembered movies and is rewritten atomically on every
// change; a damaged or foreign file is ignored (logged) and replaced at the next change.
// Main thread only; the file is read on first use.
class ResumeStore {
public:
    // A position this close to the start or the end opens the movie at 0.
    static constexpr double edgeSeconds = 5.0;
    static constexpr int capacity = 500;
    // A positions file larger than this is none of ours (500 entries of the longest paths fit)
    // and is not read.
    static constexpr qint64 maxFileBytes = qint64(16) << 20;

    // The program's positions file: <XDG data home>/reelnook/positions.json.
    static QString defaultPath();

    explicit ResumeStore(QString path = defaultPath());

    // Where to open the movie: the remembered position, unless it lies within edgeSeconds of
    // the start or of `duration` (an unknown duration, 0, only checks the start).
    std::optional<double> position(const QUrl& movie, double duration);

    // Remembers `seconds` for the movie, or forgets it when that is within edgeSeconds of
    // either end (so a finished movie opens at 0 next time). False when the file could not be
    // written (logged); the position is still known for this run.
    bool remember(const QUrl& movie, double seconds, double duration);

    // The "Playback → Resume Where Left Off" choice, on unless turned off.
    static bool enabled(const QSettings& settings);
    static void setEnabled(QSettings& settings, bool on);

private:
    struct Entry {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;  // -1: the file's identity was not known when it was remembered
        QString path;
        double seconds = 0;
    };

    void load();
    bool save() const;
    qsizetype find(const QString& path) const;

    QString path_;
    bool loaded_ = false;
    QList<Entry> entries_;  // most recently remembered first
};
