#!/usr/bin/env bash
# Makes (or refreshes) the root of a lane's release and prints its folder:
#   bash scripts/root.sh trixie|testing
# A root is made anew when it is missing, its package set changed or it is a week old, under a
# lock that lanes running at the same time share.
set -euo pipefail
source "$(dirname "$0")/roots_lib.sh"
[ $# -eq 1 ] || {
    echo "usage: scripts/root.sh trixie|testing" >&2
    exit 2
}
ROOT_RELEASE=$1
root_lock "$ROOT_RELEASE" -x
root_ensure "$ROOT_RELEASE"
echo "$(roots_dir)/$ROOT_RELEASE"
