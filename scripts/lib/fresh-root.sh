# A bare Debian 12 root to try things on as a new user would: sourced by scripts/check-package
# and scripts/ci-fresh-root (as root). The root is made once by debootstrap (minbase) and kept
# as a tar in $FRESH_ROOT_CACHE (by default ~/.cache/quorvane); each use unpacks a copy.

fresh_root_cache=${FRESH_ROOT_CACHE:-$HOME/.cache/quorvane}
fresh_root_mirror=http://deb.debian.org/debian
# debootstrap, chroot and friends live in sbin, which a non-login root shell may not have.
export PATH=$PATH:/usr/sbin:/sbin

# Deletes a root only once nothing is mounted below it any more: a bind of the host's /dev
# that is still mounted would be deleted through.
remove_root() {
  local dir=$1
  [ -d "$dir" ] || return 0
  umount -R "$dir" 2>/dev/null || true
  if grep -q " $dir[/ ]" /proc/mounts; then
    echo "fresh root: still mounted below $dir, not deleting it:" >&2
    grep " $dir[/ ]" /proc/mounts >&2
    return 1
  fi
  rm -rf --one-file-system "$dir"
}

# The cached tar of a bare root, made on the first call.
bare_root_tar() {
  local bare=$fresh_root_cache/bookworm-minbase.tar.gz
  if [ ! -f "$bare" ]; then
    mkdir -p "$fresh_root_cache"
    echo "fresh root: making a bare Debian 12 root (once; kept in $bare)" >&2
    # A staging folder of this run's own, and the tar put in place in one step: another
    # check making the same root at the same time does not get in the way.
    local staging
    staging=$(mktemp -d "$fresh_root_cache/bootstrap.XXXXXX")
    debootstrap --variant=minbase bookworm "$staging" "$fresh_root_mirror" >"$staging.log" 2>&1 \
      || { echo "fresh root: debootstrap failed, see $staging.log" >&2; remove_root "$staging"; return 1; }
    tar -C "$staging" -czf "$staging.tar.gz" .
    mv "$staging.tar.gz" "$bare"
    mv "$staging.log" "$fresh_root_cache/debootstrap.log"
    remove_root "$staging"
  fi
  echo "$bare"
}

# Unpacks a bare root into the empty folder $1 and mounts what programs expect there. The
# root is a mount point of its own, so that scripts/isolated can make its mounts private
# inside it; its /dev is a small one of its own, not the machine's: the few nodes programs
# expect and a private instance of devpts for the emulated ports' terminals, and no serial
# port or USB node of the machine. apt there reads the same mirror.
unpack_root() {
  local root=$1 bare
  bare=$(bare_root_tar)
  tar -C "$root" -xzf "$bare"
  mount --bind "$root" "$root"
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount -t tmpfs -o mode=0755,nosuid tmpfs "$root/dev"
  cp -a /dev/null /dev/zero /dev/full /dev/random /dev/urandom /dev/tty "$root/dev/"
  mkdir "$root/dev/pts" "$root/dev/shm"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"
  ln -s pts/ptmx "$root/dev/ptmx"
  ln -s /proc/self/fd "$root/dev/fd"
  mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  cat >"$root/etc/apt/sources.list" <<SOURCES
deb $fresh_root_mirror bookworm main
deb $fresh_root_mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES
}

# Runs a command in the root $1 (in_root: in $root) with a clean environment, as a login
# there would have it.
in_root_at() {
  local dir=$1
  shift
  chroot "$dir" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root TMPDIR=/tmp LANG=C.UTF-8 "$@"
}
in_root() { in_root_at "$root" "$@"; }
