// A drive with unreadable sectors for the UI tests: tests/faults/bad_sector_fs.py, a FUSE
// file system run by the host's Python, serves a folder read-only and fails every read that
// touches a bad byte range of a file (EIO), mounted over a Unix folder that a test then maps
// as a drive letter with set_drive. The folder it serves is best a link: re-pointed, it is
// another disk in the drive.
//   bad_disk_unavailable - why no such drive can be mounted here (no /dev/fuse, not root,
//                          the Python module missing, a trial mount failed), or ""
//   BadDisk              - mounts one for the life of the object, like Medium
#ifndef SLIVERDISK_BAD_DISK_H
#define SLIVERDISK_BAD_DISK_H

#include <cstdint>
#include <string>
#include <vector>

namespace drv {

// [from, to) of a host file, named by a path whose links are resolved as it is served.
struct BadBytes {
    std::string unix_file;
    uint64_t from, to;
};

std::string bad_disk_unavailable();

// Made before the Program that uses it; unmounted (lazily, should the program still hold a
// file there) when it goes, however the test ends.
class BadDisk {
public:
    BadDisk(const std::string& mount_dir, const std::string& served_dir,
            const std::vector<BadBytes>& bad);
    ~BadDisk();
    BadDisk(const BadDisk&) = delete;
    BadDisk& operator=(const BadDisk&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::string dir_;
    bool mounted_;
};

} // namespace drv

#endif
