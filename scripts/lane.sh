#!/usr/bin/env bash
# One lane: the whole build and suite of numarika inside a root of another Debian release,
# made (or refreshed) by scripts/root.sh:
#   bash scripts/lane.sh trixie|testing            lint, build (warnings are errors), every
#                                                  test, the package installed, started, purged
#   bash scripts/lane.sh RELEASE --shell [CMD...]  a shell (or CMD) in the lane's root instead
# The root is seen through an overlay whose writes go with the lane; the checkout is bound at
# its own path, and the build lies in build-RELEASE/ of the checkout. Each test runs in
# namespaces of its own (scripts/isolate.sh). Must run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/roots_lib.sh
if [ $# -lt 1 ] || ! root_release_known "$1"; then
    echo "usage: scripts/lane.sh trixie|testing [--shell [CMD...]]" >&2
    exit 2
fi
[ "$(id -u)" -eq 0 ] || {
    echo "lane: the lanes need root (namespaces, mounts, chroot)" >&2
    exit 2
}
ROOT_RELEASE=$1
shift
start=$SECONDS
# Made under the lock held alone; used under it shared, so that no lane beside this one makes
# the root anew while this one is in it.
root_lock "$ROOT_RELEASE" -x
root_ensure "$ROOT_RELEASE"
flock -s "$ROOT_LOCK_FD"
made=$((SECONDS - start))

scratch=$(mktemp -d "${TMPDIR:-/tmp}/numarika-lane-$ROOT_RELEASE.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
if [ "${1:-}" = --shell ]; then
    shift
    [ $# -gt 0 ] || set -- bash
    # shellcheck disable=SC2016 # expanded by the inner shell
    root_enter "$(roots_dir)/$ROOT_RELEASE" "$scratch" bash -c 'cd "$1" && shift && exec "$@"' _ \
        "$PWD" "$@"
    exit
fi
echo "=== lane $ROOT_RELEASE: root ready in $made s"
root_enter "$(roots_dir)/$ROOT_RELEASE" "$scratch" bash "$PWD/scripts/test.sh" --lane "$ROOT_RELEASE"
echo "=== lane $ROOT_RELEASE: passed in $((SECONDS - start)) s"
