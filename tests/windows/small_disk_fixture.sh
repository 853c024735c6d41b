#!/bin/sh
# The small disk of the Windows-side tests: a tmpfs of 192 KiB that a test
# gives the launcher as its temporary folder, so a download fills it.
# CTest runs it natively, beside the back office's start and stop:
#
#   small_disk_fixture.sh mount DIR     mounts it on DIR (made when missing)
#   small_disk_fixture.sh unmount DIR   unmounts it
#
# Mounting needs root (or sudo without a password). DIR.state says what came
# of it: "mounted", or one line "skipped: cannot mount a small disk here
# (...)", which the test prints and scripts/test shows in its summary. Either
# way the script succeeds: a machine that cannot mount skips one test.
set -u

mounted() {
  mountpoint -q "$1" 2>/dev/null
}

case "${1:-}" in
  mount)
    [ $# -eq 2 ] || { echo "usage: $0 mount DIR" >&2; exit 2; }
    dir=$2
    mkdir -p "$dir"
    # A disk left by a run that died still holds that run's files.
    mounted "$dir" && umount "$dir" 2>/dev/null
    options="size=192k,mode=0777"
    if [ "$(id -u)" -eq 0 ]; then
      why=$(mount -t tmpfs -o "$options" tmpfs "$dir" 2>&1)
    else
      why=$(sudo -n mount -t tmpfs -o "$options" tmpfs "$dir" 2>&1)
    fi
    if mounted "$dir"; then
      echo mounted >"$dir.state"
    else
      echo "skipped: cannot mount a small disk here (${why:-not root})" | head -n 1 >"$dir.state"
    fi
    cat "$dir.state"
    ;;
  unmount)
    [ $# -eq 2 ] || { echo "usage: $0 unmount DIR" >&2; exit 2; }
    if mounted "$2"; then
      if [ "$(id -u)" -eq 0 ]; then umount "$2"; else sudo -n umount "$2"; fi
    fi
    exit 0
    ;;
  *)
    echo "usage: $0 mount DIR | unmount DIR" >&2
    exit 2
    ;;
esac
