#!/usr/bin/python3
"""A drive with bad sectors: serves a folder read-only and answers EIO to every read that
touches a bad byte range of a file, as a floppy with an unreadable sector does.

Usage: bad_sector_fs.py SERVED MOUNTPOINT [--bad FILE:FROM:TO ...] [FUSE options]
FILE is a host path, compared after its links are resolved: a SERVED that is a link and is
re-pointed between reads is another disk in the drive, and only the files on the disk that
was bad have bad sectors. [FROM, TO) is half-open, in bytes. The file system is looked up
afresh for every call and keeps no file open, so the swap shows at the next call as long as
the kernel caches nothing: mount with -o direct_io,attr_timeout=0,entry_timeout=0.

  BadSectorFS - getattr, readdir, open, read, statfs, access: the FUSE calls served
  main        - splits the command line into the bad ranges and FUSE's own arguments
"""
import errno
import os
import sys

import fuse

fuse.fuse_python_api = (0, 2)


class BadSectorFS(fuse.Fuse):
    def __init__(self, served, bad, *args, **kw):
        super().__init__(*args, **kw)
        self.served = served
        self.bad = bad  # (real path, from, to)

    def real(self, path):
        return os.path.join(self.served, path.lstrip("/"))

    def getattr(self, path):
        return os.stat(self.real(path))

    def readdir(self, path, offset):
        for name in [".", ".."] + os.listdir(self.real(path)):
            yield fuse.Direntry(name)

    def open(self, path, flags):
        if flags & (os.O_WRONLY | os.O_RDWR):
            return -errno.EROFS
        return -errno.ENOENT if not os.path.isfile(self.real(path)) else 0

    def read(self, path, size, offset):
        real = os.path.realpath(self.real(path))
        for file, start, end in self.bad:
            if file == real and offset < end and offset + size > start:
                return -errno.EIO
        with open(real, "rb") as f:
            f.seek(offset)
            return f.read(size)

    def statfs(self):
        return os.statvfs(self.served)

    def access(self, path, mode):
        if mode & os.W_OK:
            return -errno.EROFS
        return 0 if os.path.exists(self.real(path)) else -errno.ENOENT


def main(argv):
    served, rest, bad = argv[0], [], []
    args = iter(argv[1:])
    for arg in args:
        if arg == "--bad":
            file, start, end = next(args).rsplit(":", 2)
            bad.append((os.path.realpath(file), int(start), int(end)))
        else:
            rest.append(arg)
    fs = BadSectorFS(served, bad, dash_s_do="setsingle")
    fs.parse(rest, errex=1)
    fs.main()


if __name__ == "__main__":
    main(sys.argv[1:])
