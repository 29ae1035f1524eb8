// A read-only FUSE passthrough that shows the folder SOURCE at MOUNTPOINT and waits a set time
// before answering each request, as a network share or a NAS does; it counts the requests by
// kind (SlowFolderCounts.h) for the library's tests and benchmarks to read.
//
//   reelnook_slow_folder SOURCE MOUNTPOINT [--delay-ms=MS] [--counts=FILE] [-f] [-o OPTION...]
//
// --delay-ms: the wait before each answer, in milliseconds (fractions allowed; default 0).
// --counts: a file of SlowFolderCounts::kindCount 64-bit counters, made or emptied at the start
// and counted into while the folder is mounted (mapped shared: readers see the counts at once).
// The counts are also printed on stderr at the end. Other options are libfuse's (-f keeps the
// program in the foreground; SIGTERM or an unmount ends it). Inode numbers are the source's.
//
// Requests are answered side by side, up to 64 at a time, lookups in one folder included, as a
// share answers the stats of many clients' threads.
#define FUSE_USE_VERSION 312

#include "SlowFolderCounts.h"

#include <fuse.h>
#include <fuse_lowlevel.h>
#include <linux/fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/uio.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

using SlowFolderCounts::Kind;

struct Options {
    char* delayMs = nullptr;
    char* counts = nullptr;
    char* source = nullptr;
    int positional = 0;
};

int sourceFd = -1;
std::string sourcePath;
long long delayNs = 0;
std::uint64_t* counters = nullptr;

// Counts the request, then waits the set time before it is answered.
void arrive(Kind kind) {
    __atomic_fetch_add(&counters[kind], 1, __ATOMIC_RELAXED);
    if (delayNs <= 0)
        return;
    timespec wait{time_t(delayNs / 1'000'000'000), long(delayNs % 1'000'000'000)};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

// A FUSE path ("/", "/a/b") relative to the source folder.
const char* relative(const char* path) { return path[1] != '\0' ? path + 1 : "."; }

int fail() { return -errno; }

int getattrOp(const char* path, struct stat* st, fuse_file_info* fi) {
    arrive(Kind::getattr);
    const int result = fi ? fstat(int(fi->fh), st) : fstatat(sourceFd, relative(path), st, AT_SYMLINK_NOFOLLOW);
    return result == 0 ? 0 : fail();
}

int readlinkOp(const char* path, char* buffer, size_t size) {
    arrive(Kind::readlink);
    const ssize_t length = readlinkat(sourceFd, relative(path), buffer, size - 1);
    if (length < 0)
        return fail();
    buffer[length] = '\0';
    return 0;
}

// An open folder: its stream and the entry that did not fit into the last answer.
struct OpenFolder {
    DIR* stream = nullptr;
    dirent* pending = nullptr;
    off_t offset = 0;
};

int opendirOp(const char* path, fuse_file_info* fi) {
    arrive(Kind::opendir);
    const int fd = openat(sourceFd, relative(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return fail();
    DIR* stream = fdopendir(fd);
    if (!stream) {
        const int error = errno;
        close(fd);
        return -error;
    }
    fi->fh = reinterpret_cast<std::uintptr_t>(new OpenFolder{stream});
    return 0;
}

// One answer per kernel request: entries as far as the kernel's buffer takes them, each with
// the offset to go on from, so that a long folder costs as many requests (and waits) as it would
// on a share.
int readdirOp(const char*, void* buffer, fuse_fill_dir_t fill, off_t offset, fuse_file_info* fi, fuse_readdir_flags) {
    arrive(Kind::readdir);
    auto* folder = reinterpret_cast<OpenFolder*>(fi->fh);
    if (offset != folder->offset) {
        seekdir(folder->stream, offset);
        folder->pending = nullptr;
        folder->offset = offset;
    }
    for (;;) {
        if (!folder->pending) {
            errno = 0;
            folder->pending = readdir(folder->stream);
            if (!folder->pending)
                return errno == 0 ? 0 : fail();
        }
        struct stat st {};
        st.st_ino = folder->pending->d_ino;
        st.st_mode = mode_t(folder->pending->d_type) << 12;
        const off_t next = telldir(folder->stream);
        if (fill(buffer, folder->pending->d_name, &st, next, fuse_fill_dir_flags(0)) != 0)
            return 0;
        folder->pending = nullptr;
        folder->offset = next;
    }
}

int releasedirOp(const char*, fuse_file_info* fi) {
    arrive(Kind::releasedir);
    auto* folder = reinterpret_cast<OpenFolder*>(fi->fh);
    closedir(folder->stream);
    delete folder;
    return 0;
}

int openOp(const char* path, fuse_file_info* fi) {
    arrive(Kind::open);
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    const int fd = openat(sourceFd, relative(path), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail();
    fi->fh = std::uint64_t(fd);
    return 0;
}

int readOp(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
    arrive(Kind::read);
    const ssize_t length = pread(int(fi->fh), buffer, size, offset);
    return length < 0 ? fail() : int(length);
}

int flushOp(const char*, fuse_file_info*) {
    arrive(Kind::flush);
    return 0;
}

int releaseOp(const char*, fuse_file_info* fi) {
    arrive(Kind::release);
    close(int(fi->fh));
    return 0;
}

int statfsOp(const char*, struct statvfs* st) {
    arrive(Kind::statfs);
    return fstatvfs(sourceFd, st) == 0 ? 0 : fail();
}

int accessOp(const char* path, int mask) {
    arrive(Kind::access);
    return faccessat(sourceFd, relative(path), mask, 0) == 0 ? 0 : fail();
}

int getxattrOp(const char* path, const char* name, char* value, size_t size) {
    arrive(Kind::getxattr);
    const ssize_t length = lgetxattr((sourcePath + path).c_str(), name, value, size);
    return length < 0 ? fail() : int(length);
}

int listxattrOp(const char* path, char* list, size_t size) {
    arrive(Kind::listxattr);
    const ssize_t length = llistxattr((sourcePath + path).c_str(), list, size);
    return length < 0 ? fail() : int(length);
}

void* initOp(fuse_conn_info*, fuse_config* config) {
    config->use_ino = 1;  // the source's inode numbers, the same at every mount
    return nullptr;
}

// libfuse 3.14 wants parallel lookups (FUSE_CAP_PARALLEL_DIROPS) but leaves the flag out of its
// answer to the kernel's INIT (mended in libfuse 3.16), so the kernel asks about one name of a
// folder at a time. The answers are written through here, and the INIT answer, the first one,
// gets the flag: the operations above share nothing but the source folder's descriptor.
bool initAnswered = false;

ssize_t writeAnswer(int fd, iovec* parts, int count, void*) {
    if (!initAnswered && count >= 2 && parts[1].iov_len >= offsetof(fuse_init_out, flags) + sizeof(std::uint32_t)) {
        initAnswered = true;
        auto* init = static_cast<fuse_init_out*>(parts[1].iov_base);
        init->flags |= FUSE_PARALLEL_DIROPS;
    }
    return writev(fd, parts, count);
}

ssize_t readRequest(int fd, void* buffer, size_t size, void*) { return read(fd, buffer, size); }

// Mounts the folder and answers requests until it is unmounted or the program is told to end.
int serve(fuse_args* args, const fuse_operations& operations) {
    fuse_cmdline_opts options{};
    if (fuse_parse_cmdline(args, &options) != 0)
        return 2;
    if (!options.mountpoint) {
        std::fprintf(stderr, "no mount point given\n");
        return 2;
    }
    int status = 1;
    fuse* filesystem = fuse_new(args, &operations, sizeof(operations), nullptr);
    if (filesystem && fuse_mount(filesystem, options.mountpoint) == 0) {
        fuse_session* session = fuse_get_session(filesystem);
        const fuse_custom_io io{writeAnswer, readRequest, nullptr, nullptr};
        if (fuse_session_custom_io(session, &io, fuse_session_fd(session)) == 0 &&
            fuse_daemonize(options.foreground) == 0 && fuse_set_signal_handlers(session) == 0) {
            fuse_loop_config* loop = fuse_loop_cfg_create();
            fuse_loop_cfg_set_max_threads(loop, 64);
            status = options.singlethread ? fuse_loop(filesystem) : fuse_loop_mt(filesystem, loop);
            fuse_loop_cfg_destroy(loop);
            fuse_remove_signal_handlers(session);
        }
        fuse_unmount(filesystem);
    }
    if (filesystem)
        fuse_destroy(filesystem);
    std::free(options.mountpoint);
    return status < 0 ? 1 : status;
}

// The first positional argument is the source folder; the second, the mount point, is libfuse's.
int takeArgument(void* data, const char* argument, int key, fuse_args*) {
    auto* options = static_cast<Options*>(data);
    if (key == FUSE_OPT_KEY_NONOPT && options->positional++ == 0) {
        options->source = strdup(argument);
        return 0;
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    fuse_args args = FUSE_ARGS_INIT(argc, argv);
    Options options;
    const fuse_opt specs[] = {
        {"--delay-ms=%s", offsetof(Options, delayMs), 0}, {"--counts=%s", offsetof(Options, counts), 0}, FUSE_OPT_END};
    if (fuse_opt_parse(&args, &options, specs, takeArgument) != 0)
        return 2;
    if (!options.source) {
        std::fprintf(stderr, "usage: %s SOURCE MOUNTPOINT [--delay-ms=MS] [--counts=FILE] [libfuse options]\n",
                     argv[0]);
        return 2;
    }
    char* resolved = realpath(options.source, nullptr);
    if (!resolved) {
        std::fprintf(stderr, "%s: %s: %s\n", argv[0], options.source, std::strerror(errno));
        return 1;
    }
    sourcePath = resolved;
    std::free(resolved);
    sourceFd = open(sourcePath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (sourceFd < 0) {
        std::fprintf(stderr, "%s: %s: %s\n", argv[0], sourcePath.c_str(), std::strerror(errno));
        return 1;
    }
    if (options.delayMs) {
        char* end = nullptr;
        const double ms = std::strtod(options.delayMs, &end);
        if (end == options.delayMs || *end != '\0' || ms < 0) {
            std::fprintf(stderr, "%s: --delay-ms wants a number of milliseconds, not %s\n", argv[0], options.delayMs);
            return 2;
        }
        delayNs = static_cast<long long>(ms * 1e6);
    }
    void* counts = MAP_FAILED;
    if (options.counts) {
        const int fd = open(options.counts, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ftruncate(fd, SlowFolderCounts::fileSize) != 0) {
            std::fprintf(stderr, "%s: %s: %s\n", argv[0], options.counts, std::strerror(errno));
            return 1;
        }
        counts = mmap(nullptr, SlowFolderCounts::fileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        close(fd);
    } else {
        counts = mmap(nullptr, SlowFolderCounts::fileSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    }
    if (counts == MAP_FAILED) {
        std::fprintf(stderr, "%s: cannot map the counts: %s\n", argv[0], std::strerror(errno));
        return 1;
    }
    counters = static_cast<std::uint64_t*>(counts);
    fuse_opt_add_arg(&args, "-ofsname=reelnook-slow-folder,subtype=slowfolder");

    fuse_operations operations{};
    operations.getattr = getattrOp;
    operations.readlink = readlinkOp;
    operations.open = openOp;
    operations.read = readOp;
    operations.statfs = statfsOp;
    operations.flush = flushOp;
    operations.release = releaseOp;
    operations.getxattr = getxattrOp;
    operations.listxattr = listxattrOp;
    operations.opendir = opendirOp;
    operations.readdir = readdirOp;
    operations.releasedir = releasedirOp;
    operations.init = initOp;
    operations.access = accessOp;
    const int status = serve(&args, operations);
    fuse_opt_free_args(&args);
    for (unsigned kind = 0; kind < SlowFolderCounts::kindCount; ++kind)
        std::fprintf(stderr, "%s %llu\n", SlowFolderCounts::names[kind],
                     static_cast<unsigned long long>(__atomic_load_n(&counters[kind], __ATOMIC_RELAXED)));
    return status;
}
