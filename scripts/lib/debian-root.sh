# SPDX-License-Identifier: GPL-3.0-or-later
# A bare Debian root to try the project in, as a new user's machine would be; sourced by
# check-distro.sh and check-package.sh (as root, with the Debian archive in reach):
#   root_create SUITE [PACKAGE...]   a minbase root of SUITE (bookworm, trixie) in $root, with
#                                    the packages named installed, its file systems mounted
#   inside COMMAND...                runs COMMAND in the root with a clean environment
# The cleanup runs on every way out (EXIT, and Ctrl-C or a TERM through it): it ends what still
# runs in the root, unmounts, and removes the root unless KALINDOR_KEEP_ROOT=1.
# The bootstrapped base of each suite is kept as a tarball in KALINDOR_CACHE_DIR (default
# /var/cache/kalindor) and made again when a week old, so later runs start in seconds; the
# packages apt downloads there are kept beside it for the same reason (apt still resolves and
# installs every one of them). KALINDOR_MIRROR sets the mirror (default deb.debian.org).

root=""
root_mounts=()
root_cache=${KALINDOR_CACHE_DIR:-/var/cache/kalindor}
root_mirror=${KALINDOR_MIRROR:-http://deb.debian.org/debian}

root_cleanup() {
    [ -n "$root" ] || return 0
    # Processes still running inside the root hold its mounts; the first TERM, then KILL.
    local signal link pid
    for signal in TERM KILL; do
        for link in /proc/[0-9]*/root; do
            if [ "$(readlink "$link" 2>/dev/null)" = "$root" ]; then
                pid=${link#/proc/}
                kill "-$signal" "${pid%/root}" 2>/dev/null || true
            fi
        done
        [ "$signal" = KILL ] || sleep 1
    done
    local i
    for (( i = ${#root_mounts[@]} - 1; i >= 0; i-- )); do
        umount "${root_mounts[i]}" 2>/dev/null || umount -l "${root_mounts[i]}" || true
    done
    root_mounts=()
    if [ "${KALINDOR_KEEP_ROOT:-0}" = 1 ]; then
        echo "the root is kept in $root" >&2
    elif [ -d "$root" ]; then
        rm -rf --one-file-system "$root"
    fi
    root=""
}
trap root_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

inside() {
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        TERM="${TERM:-dumb}" CI="${CI:-}" "$@"
}

root_mount() {  # root_mount TYPE-OR-bind SOURCE TARGET-IN-ROOT
    mkdir -p "$root$3"
    if [ "$1" = bind ]; then
        mount --bind "$2" "$root$3"
    else
        mount -t "$1" "$2" "$root$3"
    fi
    root_mounts+=("$root$3")
}

root_create() {
    local suite=$1
    shift
    case $suite in
        bookworm | trixie) ;;
        *) echo "unknown suite '$suite' (bookworm or trixie)" >&2; return 2 ;;
    esac
    [ "$(id -u)" -eq 0 ] || { echo "making a Debian root needs root" >&2; return 1; }
    command -v debootstrap >/dev/null || { echo "debootstrap is missing" >&2; return 1; }

    mkdir -p "$root_cache/apt-$suite"
    local base="$root_cache/$suite-minbase.tar"
    # Outside /tmp and mode 0755: the root's own users (apt's _apt, olad running as nobody)
    # must be able to read it; mktemp makes 0700.
    root=$(mktemp -d /var/tmp/kalindor-root.XXXXXX)
    chmod 755 "$root"
    if [ -z "$(find "$base" -mtime -7 2>/dev/null)" ]; then
        echo "bootstrapping $suite (minbase) into $base" >&2
        local log="$root_cache/$suite-debootstrap.log"
        debootstrap --variant=minbase "$suite" "$root" "$root_mirror" >"$log" 2>&1 ||
            { tail -20 "$log" >&2; return 1; }
        tar -C "$root" -cf "$base.part" . && mv "$base.part" "$base"
    else
        tar -C "$root" -xf "$base"
    fi
    root_mount proc proc /proc
    root_mount sysfs sysfs /sys
    root_mount bind /dev /dev
    root_mount bind /dev/pts /dev/pts
    root_mount tmpfs tmpfs /dev/shm
    root_mount bind "$root_cache/apt-$suite" /var/cache/apt/archives
    cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
    if [ $# -gt 0 ]; then
        inside apt-get update -qq
        inside env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "$@" >/dev/null
    fi
}
