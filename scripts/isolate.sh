#!/usr/bin/env bash
# Runs one test in mount and PID namespaces of its own: a new /proc, its own /dev, /run, /tmp
# and home, so that nothing it starts sees another test's sockets, buses or files, and the
# kernel ends whatever it left running when it ends. The lanes run every test through it
# (NUMARIKA_TEST_LAUNCHER); needs root.
#   bash scripts/isolate.sh CMD...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck disable=SC2016 # expanded by the inner shell
exec unshare --mount --pid --fork --kill-child=TERM --propagation private bash -c '
    set -euo pipefail
    source "$1/roots_lib.sh"
    shift
    mount -t proc proc /proc
    _root_private_dev /dev
    mount -t tmpfs -o mode=755 run /run
    mount -t tmpfs -o mode=1777 tmp /tmp
    install -d -m 1777 /tmp/.X11-unix
    mount -t tmpfs -o mode=700 home /root
    unset DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR
    exec "$@"
' _ "$here" "$@"
