#!/usr/bin/env bash
# The Debian roots the lanes build and test in, one folder per release, kept between runs on
# one machine. Sourced by scripts/root.sh and scripts/lane.sh.
#
#   roots_dir                      where the roots live ($NUMARIKA_ROOTS, else a system cache)
#   root_release_known RELEASE     trixie (Debian 13) and testing are the lanes' releases
#   root_ensure RELEASE            makes the root anew when it is missing, its package set
#                                  changed or it is older than a week; the caller holds the
#                                  release's lock exclusively (root_lock)
#   root_lock RELEASE MODE         takes the release's lock (MODE -x or -s) on a new file
#                                  descriptor, kept in ROOT_LOCK_FD
#   root_enter ROOT SCRATCH CMD... runs CMD as root inside ROOT seen through an overlay (its
#                                  writes land in SCRATCH and go with it), in mount, PID and
#                                  network namespaces of its own: own /dev, /run, /tmp, a
#                                  loopback-only network; the checkout is bound at its own path
set -euo pipefail

roots_dir() { echo "${NUMARIKA_ROOTS:-/var/cache/numarika/roots}"; }

root_release_known() { [[ $1 == trixie || $1 == testing ]]; }

# The first Debian archive the machine's apt is configured with (deb822 or one-line sources);
# the security archive is not one that carries the releases.
root_mirror() {
    local uri
    uri=$(
        {
            grep -hsE '^URIs:' /etc/apt/sources.list.d/*.sources | sed 's/^URIs:[[:space:]]*//' |
                tr ' ' '\n'
            grep -hsE '^deb[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list |
                sed -E 's/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+).*/\2/'
        } | grep -v -e security -e '^$' | head -n 1
    )
    [ -n "$uri" ] || {
        echo "roots: no Debian archive in the apt sources of this machine" >&2
        return 1
    }
    echo "$uri"
}

# What a root is made of: its packages, and the way it is made (the number below goes up when
# _root_make changes what it lays down). When this changes, the root is made again.
root_recipe() {
    { echo 1; cat "$(dirname "${BASH_SOURCE[0]}")/install-deps.sh"; } | sha256sum | cut -d' ' -f1
}

root_lock() {
    local dir
    dir=$(roots_dir)
    mkdir -p "$dir"
    exec {ROOT_LOCK_FD}>>"$dir/$1.lock"
    flock "$2" "$ROOT_LOCK_FD"
}

# Whether the root of RELEASE is there, of today's recipe and younger than a week.
root_fresh() {
    local stamp
    stamp="$(roots_dir)/$1/.numarika-root"
    [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$(root_recipe)" ] &&
        [ -n "$(find "$stamp" -mmin -$((7 * 24 * 60)))" ]
}

# /dev as a container has it: the harmless nodes, a pty instance of its own.
_root_private_dev() {
    local dev=$1 node
    mount -t tmpfs -o mode=755,nosuid dev "$dev"
    # Made, not bound: a /dev laid over the one in use has no nodes left to bind from.
    for node in null:3 zero:5 full:7 random:8 urandom:9; do
        mknod -m 666 "$dev/${node%:*}" c 1 "${node#*:}"
    done
    mknod -m 666 "$dev/tty" c 5 0
    mkdir "$dev/pts" "$dev/shm"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$dev/pts"
    ln -s pts/ptmx "$dev/ptmx"
    mount -t tmpfs -o mode=1777,nosuid,nodev shm "$dev/shm"
    ln -s /proc/self/fd "$dev/fd"
}

# Runs inside the new namespaces (see root_enter): lays out the root and enters it.
_root_inside() {
    local lower=$1 scratch=$2 checkout=$3
    shift 3
    local top=$scratch/merged
    mount --make-rprivate /
    ip link set lo up
    mkdir -p "$scratch/upper" "$scratch/work" "$top"
    mount -t overlay overlay -o "lowerdir=$lower,upperdir=$scratch/upper,workdir=$scratch/work" "$top"
    mount -t proc proc "$top/proc"
    mount -t sysfs -o ro sysfs "$top/sys"
    _root_private_dev "$top/dev"
    mount -t tmpfs -o mode=755 run "$top/run"
    mount -t tmpfs -o mode=1777 tmp "$top/tmp"
    install -d -m 1777 "$top/tmp/.X11-unix"
    mkdir -p "$top$checkout" "$top/root/.ccache"
    mount --bind "$checkout" "$top$checkout"
    mkdir -p "$(roots_dir)/$ROOT_RELEASE.ccache"
    mount --bind "$(roots_dir)/$ROOT_RELEASE.ccache" "$top/root/.ccache"
    cp /etc/resolv.conf "$top/etc/resolv.conf" 2>/dev/null || true
    exec chroot "$top" /usr/bin/env -i HOME=/root USER=root LOGNAME=root TERM=dumb LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin CI="${CI:-}" \
        CCACHE_DIR=/root/.ccache "$@"
}

root_enter() {
    local lower=$1 scratch=$2 checkout
    shift 2
    checkout=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    # The kernel ends every process in the PID namespace when its first one ends, and takes
    # the mounts with the namespace: nothing outlives the lane, however it ends.
    unshare --mount --pid --net --fork --kill-child=TERM --propagation private \
        env ROOT_RELEASE="$ROOT_RELEASE" NUMARIKA_ROOTS="$(roots_dir)" \
        bash -c "source '$checkout/scripts/roots_lib.sh' && _root_inside \"\$@\"" _ \
        "$lower" "$scratch" "$checkout" "$@"
}

# Makes the root of RELEASE anew beside the old one and puts it in its place.
_root_make() {
    local release=$1 dir new mirror script start=$SECONDS
    dir="$(roots_dir)/$release"
    new="$dir.new"
    mirror=$(root_mirror)
    script=$release
    # Debian 12's debootstrap has no script of its own for testing; sid's is the same.
    [ -e "/usr/share/debootstrap/scripts/$release" ] || script=sid
    echo "=== root $release: making it from $mirror (a few minutes, once a week)"
    rm -rf "$new"
    debootstrap --variant=minbase --include=ca-certificates,iproute2 "$release" "$new" "$mirror" \
        "/usr/share/debootstrap/scripts/$script" >"$(roots_dir)/$release.debootstrap.log" 2>&1 || {
        tail -n 20 "$(roots_dir)/$release.debootstrap.log" >&2
        return 1
    }
    # No service of a package starts while the root is made.
    printf '#!/bin/sh\nexit 101\n' >"$new/usr/sbin/policy-rc.d"
    chmod 755 "$new/usr/sbin/policy-rc.d"
    # The root fetches as the machine does: the machine's own settings of how apt reaches its
    # archive (a mirror frozen in time needs its dates unchecked, say) come along.
    # Only the machine's own files: a package's would clash with the root's copy of it.
    grep -ls '^Acquire::' /etc/apt/apt.conf.d/* | while IFS= read -r conf; do
        dpkg -S "$conf" >/dev/null 2>&1 || cp "$conf" "$new/etc/apt/apt.conf.d/"
    done
    cp "$(dirname "${BASH_SOURCE[0]}")/install-deps.sh" "$new/usr/local/sbin/numarika-install-deps"
    cp /etc/resolv.conf "$new/etc/resolv.conf"
    # shellcheck disable=SC2016 # expanded by the inner shell
    unshare --mount --pid --fork --propagation private bash -c '
        set -e
        mount -t proc proc "$1/proc"
        mount --rbind /dev "$1/dev"
        mount -t tmpfs tmp "$1/tmp"
        chroot "$1" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
            bash /usr/local/sbin/numarika-install-deps
    ' _ "$new" >"$(roots_dir)/$release.install.log" 2>&1 || {
        tail -n 30 "$(roots_dir)/$release.install.log" >&2
        return 1
    }
    # The host's clock, network and name are the tests' own business, not the root's.
    rm -f "$new/etc/resolv.conf"
    root_recipe >"$new/.numarika-root"
    rm -rf "$dir"
    mv "$new" "$dir"
    echo "=== root $release: made in $((SECONDS - start)) s"
}

root_ensure() {
    local release=$1
    root_release_known "$release" || {
        echo "roots: unknown release $release (trixie or testing)" >&2
        return 1
    }
    command -v debootstrap >/dev/null || {
        echo "roots: debootstrap is missing (scripts/install-deps.sh installs it)" >&2
        return 1
    }
    root_fresh "$release" || _root_make "$release"
}
