#!/bin/bash
# A Debian root for the 32-bit x86 builds and tests, kept outside the
# checkout (${KSETUP_CACHE:-/var/cache/ksetup}/root-i386): Wine with its
# 32-bit half (a WoW64 prefix runs the i686 KSetup.exe as 64-bit Windows
# would), GCC and clang with their 32-bit libraries, GoogleTest and Google
# Benchmark for i386. The host itself never gets the i386 architecture.
#
#   scripts/root32.sh prepare       makes the root, or remakes it when its
#                                   package list changed (as root)
#   scripts/root32.sh run CMD...    runs CMD in the root where 32-bit code runs
#   scripts/root32.sh build CMD...  runs CMD in the root through chroot: for
#                                   64-bit programs only (compilers, cmake),
#                                   which need no 32-bit support
#   scripts/root32.sh mode          prints the path `run` takes, and why
#
# `run` takes the fastest path the machine allows: where the kernel runs
# 32-bit x86 code, private mount, pid, network and IPC namespaces and a
# chroot (/proc, /dev, /sys, tmpfs on /tmp and /run); elsewhere the root
# booted as a disk image in QEMU's software emulation, the checkout shared
# over 9p. KSETUP_ROOT32_MODE=chroot|qemu forces one. Either way the checkout
# appears at its own path, so build folders configured in one work in the
# other; the command starts in the current folder when that is inside the
# checkout, with a clean environment plus every KSETUP_* variable. The
# emulated machine is about 70 times slower; what it writes outside the
# checkout is gone when it stops. There a new WoW64 prefix must be made by
# the 64-bit loader (/usr/lib/wine/wine64 wineboot --init): its boot takes
# minutes, and a 32-bit process that starts it gives up after five.
set -euo pipefail

checkout=$(cd "$(dirname "$0")/.." && pwd)
cache=${KSETUP_CACHE:-/var/cache/ksetup}
root=$cache/root-i386
suite=bookworm

# What the root holds. Changing this list (or the host's package sources)
# remakes it.
packages=(
  # Wine with its 32-bit half
  wine wine64 wine32:i386 fonts-wine
  # the display and what the Wine tests use
  xvfb xauth x11-apps xdotool imagemagick fonts-ipafont-gothic locales jq procps perl xxd
  # 32-bit builds: -m32 toolchains (GCC's sanitizer runtimes come with the
  # multilib packages, clang's i386 ones with libclang-rt), i386 libraries
  cmake make g++ g++-multilib gcc-multilib clang libclang-rt-14-dev
  libgtest-dev:i386 libbenchmark-dev:i386 libstb-dev libisofs-dev:i386 libssl-dev:i386
  # disc images (the tests read them back with xorriso); signed ones (the
  # Wine test of a signed image makes its test CA with openssl)
  xorriso openssl osslsigncode
  # a kernel and init ramdisk to boot the root under QEMU
  linux-image-amd64 kmod
)

# The emulated machine's init (written into its disk image, not the root):
# mounts the job share, runs its job.sh, keeps the exit status beside it and
# powers off (or resets, which ends QEMU as well: -no-reboot).
qemu_init='#!/bin/sh
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mountpoint -q /run || mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
modprobe -a 9pnet_virtio 9p
mkdir -p /ksjob
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 ksjob /ksjob; then
  bash /ksjob/job.sh </dev/null
  echo $? >/ksjob/rc
else
  echo "ksetup-init: no job share" >&2
fi
sync
echo o >/proc/sysrq-trigger
sleep 30
echo b >/proc/sysrq-trigger
while :; do sleep 60; done'

say() { echo "root32: $*" >&2; }
die() { say "$*"; exit 1; }

# The host's Debian mirror: the first URI that serves the suite.
host_mirror() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$suite" '
      /^URIs:/ { uri = $2 } /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == suite) ok = 1 }
      /^$/ { if (ok && uri) print uri; uri = ""; ok = 0 }
      END { if (ok && uri) print uri }' "$f"
  done
  grep -hs "^deb .* $suite " /etc/apt/sources.list /etc/apt/sources.list.d/*.list | awk '{ print $2 }'
  echo http://deb.debian.org/debian
}

# Everything the root is made from; its hash is the root's stamp.
recipe() {
  printf '%s\n' "$suite" "${packages[@]}"
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null || true
}
recipe_hash() { recipe | sha256sum | cut -d' ' -f1; }

root_ready() { [ -f "$root/.ksetup-recipe" ] && [ "$(cat "$root/.ksetup-recipe")" = "$(recipe_hash)" ]; }

# ---- prepare ------------------------------------------------------------------

prepare() {
  [ "$(id -u)" = 0 ] || die "preparing the root needs root"
  mkdir -p "$cache"
  exec 9>"$cache/root-i386.lock"
  flock 9
  if root_ready; then
    say "root up to date: $root"
    return 0
  fi
  command -v debootstrap >/dev/null || die "debootstrap is missing (scripts/deps.sh root32)"
  local start=$SECONDS new=$root.new mirror
  mirror=$(host_mirror)
  mirror=${mirror%%$'\n'*}
  rm -rf "$new"
  say "making $root from $mirror (a few minutes)"
  debootstrap --variant=minbase "$suite" "$new" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    { tail -20 "$cache/debootstrap.log" >&2; die "debootstrap failed (log: $cache/debootstrap.log)"; }
  say "base system: $((SECONDS - start)) s"

  # The host's package sources, their keys and its apt settings.
  rm -f "$new/etc/apt/sources.list"
  cp -a /etc/apt/sources.list "$new/etc/apt/" 2>/dev/null || true
  local f key
  for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    cp -a "$f" "$new/etc/apt/sources.list.d/"
    for key in $(sed -n 's/.*[Ss]igned-[Bb]y[:=] *\([^] ]*\).*/\1/p' "$f"); do
      [ -f "$key" ] && [ ! -e "$new$key" ] && mkdir -p "$new$(dirname "$key")" && cp -a "$key" "$new$key"
    done
  done
  cp -a /etc/apt/apt.conf.d/. "$new/etc/apt/apt.conf.d/" 2>/dev/null || true
  cp -a /etc/apt/trusted.gpg.d/. "$new/etc/apt/trusted.gpg.d/" 2>/dev/null || true

  # No services start while packages install.
  printf '#!/bin/sh\nexit 101\n' >"$new/usr/sbin/policy-rc.d"
  chmod +x "$new/usr/sbin/policy-rc.d"
  local log=$cache/root-packages.log
  root_network=1 with_root_mounts "$new" /bin/bash -c '
    set -e
    export DEBIAN_FRONTEND=noninteractive LC_ALL=C
    dpkg --add-architecture i386
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "$@"
    sed -i "s/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/" /etc/locale.gen
    grep -q "^ja_JP.UTF-8 UTF-8" /etc/locale.gen || echo "ja_JP.UTF-8 UTF-8" >>/etc/locale.gen
    locale-gen
    apt-get clean
  ' bash "${packages[@]}" >"$log" 2>&1 ||
    { tail -30 "$log" >&2; die "installing the packages failed (log: $log)"; }
  rm -f "$new/usr/sbin/policy-rc.d"
  recipe_hash >"$new/.ksetup-recipe"

  rm -rf "$root" "$cache/root-i386.img"
  mv "$new" "$root"
  say "root ready: $root, $(du -sh "$root" | cut -f1), $((SECONDS - start)) s"
}

# ---- the paths ------------------------------------------------------------------

# True when this kernel runs 32-bit x86 programs: a static one of our own
# (no library involved) prints its word; without an assembler, the root's
# 32-bit loader is asked for its version.
runs_i386() {
  local dir
  dir=$(mktemp -d "$cache/probe-XXXXXX")
  local ok=1
  if command -v as >/dev/null && command -v ld >/dev/null; then
    cat >"$dir/probe.s" <<'EOF'
        .globl _start
        .text
_start: movl $4, %eax           # write(1, word, 5)
        movl $1, %ebx
        movl $word, %ecx
        movl $5, %edx
        int $0x80
        movl $1, %eax           # exit(0)
        xorl %ebx, %ebx
        int $0x80
        .data
word:   .ascii "i386\n"
EOF
    as --32 -o "$dir/probe.o" "$dir/probe.s" && ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" &&
      [ "$("$dir/probe" 2>/dev/null)" = i386 ] && ok=0
  elif [ -x "$root/lib/ld-linux.so.2" ]; then
    "$root/lib/ld-linux.so.2" --version >/dev/null 2>&1 && ok=0
  fi
  rm -rf "$dir"
  return $ok
}

# Prints "chroot" or "qemu" and, on the second line, why.
choose_mode() {
  mkdir -p "$cache"
  case "${KSETUP_ROOT32_MODE:-auto}" in
    chroot) echo chroot; echo "forced by KSETUP_ROOT32_MODE" ;;
    qemu) echo qemu; echo "forced by KSETUP_ROOT32_MODE" ;;
    auto)
      if runs_i386; then echo chroot; echo "this kernel runs 32-bit x86 code"
      else echo qemu; echo "this kernel does not run 32-bit x86 code"; fi ;;
    *) die "KSETUP_ROOT32_MODE is auto, chroot or qemu" ;;
  esac
}

# The caller's KSETUP_* variables as NAME=VALUE words, NUL-separated.
passed_env() {
  local name
  for name in $(compgen -e); do
    case "$name" in KSETUP_*) printf '%s=%s\0' "$name" "${!name}" ;; esac
  done
}

# The folder a command starts in: the current one when it is in the checkout.
start_folder() {
  case "$PWD/" in "$checkout"/*) echo "$PWD" ;; *) echo / ;; esac
}

# with_root_mounts DIR CMD...: CMD in chroot DIR inside new mount, pid,
# network (unless root_network=1: installing packages) and IPC namespaces.
# Everything mounted there, and every process started there, ends with the
# command.
root_network=0
with_root_mounts() {
  local dir=$1; shift
  local envs=() net=--net
  [ "$root_network" = 1 ] && net=
  mapfile -d '' envs < <(passed_env)
  unshare --mount --pid $net --ipc --fork --kill-child -- /bin/bash -c '
    set -e
    dir=$1 checkout=$2; shift 2
    mount --make-rprivate /
    mount -t proc proc "$dir/proc"
    mount --rbind /dev "$dir/dev"
    mount -t tmpfs -o mode=1777 tmpfs "$dir/dev/shm"
    mount --rbind /sys "$dir/sys"
    mount -t tmpfs -o mode=1777 tmpfs "$dir/tmp"
    mount -t tmpfs -o mode=755 tmpfs "$dir/run"
    mkdir -p "$dir$checkout"
    mount --bind "$checkout" "$dir$checkout"
    if command -v ip >/dev/null; then ip link set lo up 2>/dev/null || true; fi
    "$@" || exit $?  # not exec: a crash is then told in one short line
  ' bash "$dir" "$checkout" chroot "$dir" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "${envs[@]}" \
    /bin/bash -c 'cd "$1" && shift && exec "$@"' bash "$(start_folder)" "$@"
}

# The root as a disk image for QEMU, with the init added, made once per root
# and init (the machine boots it with snapshot=on: it is never written to).
qemu_image() {
  local image=$cache/root-i386.img stamp
  stamp="$(cat "$root/.ksetup-recipe") $(printf '%s\n' "$qemu_init" | sha256sum | cut -d' ' -f1)"
  exec 8>"$cache/root-i386.img.lock"
  flock 8
  if [ ! -f "$image.recipe" ] || [ "$(cat "$image.recipe")" != "$stamp" ]; then
    local start=$SECONDS
    rm -f "$image" "$image.recipe"
    truncate -s 8G "$image.new"
    mkfs.ext4 -q -F -L ksetup-root -d "$root" "$image.new" >&2 || die "cannot make the disk image"
    printf '%s\n' "$qemu_init" >"$cache/ksetup-init"
    debugfs -w -R "write $cache/ksetup-init /ksetup-init" "$image.new" >/dev/null 2>&1 &&
      debugfs -w -R "set_inode_field /ksetup-init mode 0100755" "$image.new" >/dev/null 2>&1 ||
      die "cannot add the init to the disk image"
    rm -f "$cache/ksetup-init"
    mv "$image.new" "$image"
    echo "$stamp" >"$image.recipe"
    say "disk image made in $((SECONDS - start)) s: $image"
  fi
  exec 8>&-
  echo "$image"
}

# run_qemu CMD...: boots the root, runs CMD there and returns its status.
run_qemu() {
  command -v qemu-system-x86_64 >/dev/null || die "qemu-system-x86_64 is missing (scripts/deps.sh root32)"
  local image kernel initrd job
  image=$(qemu_image)
  kernel=$(ls "$root"/boot/vmlinuz-* | sort -V | tail -1)
  initrd=$(ls "$root"/boot/initrd.img-* | sort -V | tail -1)
  [ -f "$kernel" ] && [ -f "$initrd" ] || die "the root has no kernel or init ramdisk"
  job=$(mktemp -d "$cache/job-XXXXXX")
  local envs=() e
  mapfile -d '' envs < <(passed_env)
  {
    echo '#!/bin/bash'
    echo 'mkdir -p' "$(printf '%q' "$checkout")"
    echo 'mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=mmap ksetup' "$(printf '%q' "$checkout")" '|| exit 125'
    echo 'cd' "$(printf '%q' "$(start_folder)")" '|| exit 125'
    echo 'export HOME=/root TERM=dumb PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin'
    for e in "${envs[@]}"; do echo "export $(printf '%q' "$e")"; done
    printf '%q ' "$@"; echo
  } >"$job/job.sh"
  local start=$SECONDS rc=0
  # -cpu max without SMAP (with it every 32-bit Wine process crashes) and
  # without 5-level paging (with it Wine's 32-bit half never starts).
  timeout "${KSETUP_ROOT32_TIMEOUT:-3600}" qemu-system-x86_64 \
    -accel tcg,thread=multi -cpu max,-smap,-la57 -m 4G -smp 2 \
    -kernel "$kernel" -initrd "$initrd" \
    -append "root=/dev/vda rw console=ttyS0 quiet loglevel=3 init=/ksetup-init panic=-1" \
    -drive "file=$image,format=raw,if=virtio,snapshot=on" \
    -virtfs "local,path=$job,mount_tag=ksjob,security_model=passthrough,id=ksjob" \
    -virtfs "local,path=$checkout,mount_tag=ksetup,security_model=passthrough,id=ksetup" \
    -nic none -display none -monitor none -serial stdio -no-reboot </dev/null |
    sed -u -e 's/\r$//' -e '/^\[ *[0-9.]*\] \(sysrq: Power Off\|reboot: Power down\)$/d' ||
    rc=$?
  if [ -f "$job/rc" ]; then
    rc=$(cat "$job/rc")
  else
    say "the emulated machine ended without the job's status (qemu status $rc)"
    [ "$rc" != 0 ] || rc=1
  fi
  rm -rf "$job"
  say "emulated machine: $((SECONDS - start)) s, status $rc"
  return "$rc"
}

# ---- main -------------------------------------------------------------------------

case "${1:-}" in
  prepare) prepare ;;
  mode) choose_mode ;;
  run|build)
    what=$1; shift
    [ $# -gt 0 ] || die "usage: $0 $what CMD..."
    root_ready || die "no root at $root, or an outdated one: run scripts/root32.sh prepare"
    if [ "$what" = build ]; then
      with_root_mounts "$root" "$@"
    else
      { read -r mode; read -r why; } < <(choose_mode)
      say "path: $mode ($why)"
      if [ "$mode" = chroot ]; then
        if [ "${KSETUP_ROOT32_MODE:-auto}" = chroot ] && ! runs_i386; then
          die "this kernel does not run 32-bit x86 code: the chroot path cannot work here"
        fi
        with_root_mounts "$root" "$@"
      else
        run_qemu "$@"
      fi
    fi ;;
  *) echo "usage: $0 prepare | run CMD... | build CMD... | mode" >&2; exit 2 ;;
esac
