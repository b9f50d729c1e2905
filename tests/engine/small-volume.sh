#!/bin/bash
# A volume of 8 MiB for the tests of a full disk: a tmpfs mounted on
# <build folder>/harness/small-volume, which a Windows program under Wine sees
# as a volume of its own (GetDiskFreeSpaceEx reads the file system's figures).
# Where the machine refuses the mount (no root, a container without the right),
# the folder stays an ordinary one and the tests that need the volume say so
# and skip.
# Usage: small-volume.sh mount|unmount <build folder>
set -uo pipefail
folder="$2/harness/small-volume"
case "$1" in
mount)
    mkdir -p "$folder"
    mountpoint -q "$folder" && umount "$folder"
    if mount -t tmpfs -o size=8m,mode=0777 kelm-small-volume "$folder" 2>/dev/null; then
        echo "small volume mounted on $folder"
    else
        echo "no small volume: this machine refuses the tmpfs mount; the tests that need it skip"
    fi
    ;;
unmount)
    mountpoint -q "$folder" && umount "$folder"
    rm -rf "$folder"
    ;;
*)
    echo "usage: $0 mount|unmount <build folder>" >&2
    exit 2
    ;;
esac
exit 0
