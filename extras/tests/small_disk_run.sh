#!/usr/bin/env bash
# Runs the file-share window test's full-disk case with its download folder
# on a 1 MB tmpfs. Mounting needs root: otherwise the case is skipped (77).
# Usage: small_disk_run.sh WINDOW_TEST.exe   (under the win64 test environment)
set -u
exe=$1
[ "$(id -u)" = 0 ] || { echo "not root: no small filesystem"; exit 77; }
dir=$(mktemp -d /tmp/corvisk-small-disk.XXXXXX)
if ! mount -t tmpfs -o size=1m tmpfs "$dir"; then
    rmdir "$dir"
    echo "tmpfs could not be mounted"
    exit 77
fi
trap 'umount "$dir"; rmdir "$dir"' EXIT
CORVISK_SMALL_DISK="Z:${dir//\//\\}" wine "$exe" --gtest_filter='*AFullDiskEndsTheDownloadNotDownloaded*'
