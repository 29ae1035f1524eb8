#pragma once

#include "SlowFolderCounts.h"

#include <QString>
#include <array>
#include <cstdint>
#include <memory>

class QProcess;

// A folder shown at a mount point through reelnook_slow_folder, the FUSE passthrough that waits
// before each request: a network share for the library's tests and benchmarks. Mounted for the
// object's life; the program also ends (and unmounts) when the process that mounted it dies.
class SlowFolder {
public:
    // The requests answered so far, by kind.
    struct Counts {
        std::array<std::uint64_t, SlowFolderCounts::kindCount> byKind{};
        std::uint64_t total() const;
        std::uint64_t operator[](SlowFolderCounts::Kind kind) const { return byKind[kind]; }
        Counts operator-(const Counts& earlier) const;
        // "getattr 12, readdir 3, ..." for the kinds that were asked.
        QString toString() const;
    };

    // Mounts `source` at `mountPoint` (made when missing) with `delayMs` before each answer;
    // isMounted() tells whether it worked and error() why not.
    SlowFolder(const QString& source, const QString& mountPoint, double delayMs);
    SlowFolder(const SlowFolder&) = delete;
    SlowFolder& operator=(const SlowFolder&) = delete;
    ~SlowFolder();

    bool isMounted() const { return mounted_; }
    const QString& error() const { return error_; }
    const QString& mountPoint() const { return mountPoint_; }
    Counts counts() const;

    // Unmounts and ends the program; true when the mount point is free again.
    bool unmount();

    // Why no slow folder can be mounted here at all (no /dev/fuse, built without libfuse3);
    // empty when one may be.
    static QString unavailableReason();
    // Whether `path` is a mount point now, as /proc/self/mountinfo says (asks the folder nothing).
    static bool isMountPoint(const QString& path);

private:
    QString mountPoint_;
    QString countsFile_;
    QString error_;
    std::unique_ptr<QProcess> program_;
    const std::uint64_t* counters_ = nullptr;
    bool mounted_ = false;
};
