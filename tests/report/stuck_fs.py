#!/usr/bin/env python3
"""A file system whose folder "stuck" never answers a listing, as a hung
network share does: everything else answers at once.

    stuck_fs.py MOUNT_POINT SIGNAL_FILE

Runs in the foreground until unmounted or killed. SIGNAL_FILE is written
when the listing of "stuck" has begun (and hangs), so a test knows the
reader is stuck in the kernel before it acts.
"""
import errno
import os
import stat
import sys
import threading
import time

try:
    from fusepy import FUSE, FuseOSError, Operations  # Debian's name for it
except ImportError:
    from fuse import FUSE, FuseOSError, Operations

FOLDERS = {"/": ["open", "stuck"], "/open": ["f.bin"], "/stuck": []}
FILE_BYTES = 5000


class StuckFileSystem(Operations):
    def __init__(self, signal_file):
        self.signal_file = signal_file
        self.never = threading.Event()

    def getattr(self, path, fh=None):
        now = time.time()
        common = dict(st_uid=os.getuid(), st_gid=os.getgid(), st_atime=now, st_mtime=now,
                      st_ctime=now)
        if path in FOLDERS:
            return dict(common, st_mode=stat.S_IFDIR | 0o755, st_nlink=2, st_size=0)
        if path == "/open/f.bin":
            return dict(common, st_mode=stat.S_IFREG | 0o644, st_nlink=1, st_size=FILE_BYTES,
                        st_blocks=(FILE_BYTES + 511) // 512)
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        if path == "/stuck":
            with open(self.signal_file, "w") as signal:
                signal.write("listing\n")
            self.never.wait()
        if path not in FOLDERS:
            raise FuseOSError(errno.ENOENT)
        return [".", ".."] + FOLDERS[path]


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: stuck_fs.py MOUNT_POINT SIGNAL_FILE")
    FUSE(StuckFileSystem(sys.argv[2]), sys.argv[1], foreground=True, ro=True)


if __name__ == "__main__":
    main()
