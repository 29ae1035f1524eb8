#pragma once

#include <array>
#include <cstdint>

// The requests a slow folder answered, by kind: an array of 64-bit counters in a file that the
// folder's program maps shared and counts into as it answers, and that anyone may map and read
// at any time.
namespace SlowFolderCounts {

enum Kind : unsigned {
    getattr,
    readlink,
    opendir,
    readdir,
    releasedir,
    open,
    read,
    flush,
    release,
    statfs,
    access,
    getxattr,
    listxattr,
    kindCount
};

inline constexpr std::array<const char*, kindCount> names = {"getattr", "readlink", "opendir",  "readdir", "releasedir",
                                                             "open",    "read",     "flush",    "release", "statfs",
                                                             "access",  "getxattr", "listxattr"};

inline constexpr std::size_t fileSize = kindCount * sizeof(std::uint64_t);

}  // namespace SlowFolderCounts
