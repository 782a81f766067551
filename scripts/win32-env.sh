#!/usr/bin/env bash
# The 32-bit Windows test system: a Debian bookworm root file system with 64-bit Wine and its
# 32-bit half (a WoW64 prefix runs i686 programs beside a 64-bit kernel driver), built once with
# mmdebstrap and cached outside the tree. Commands run in it see this tree at its own path.
#   scripts/win32-env.sh build          make the cached system (and QEMU's parts where it boots
#                                       under QEMU), or check it and reuse it
#   scripts/win32-env.sh run CMD [ARG]  run CMD in it, in the current folder; exits with CMD's code
#   scripts/win32-env.sh shell          an interactive shell in it
#   scripts/win32-env.sh mode           prints how commands run here: chroot or qemu
# Where this machine's kernel runs 32-bit code, CMD runs in a chroot in private mount and PID
# namespaces over a throwaway overlay, so the cached system stays clean and nothing outlives the
# run. Where it does not, the same system boots under QEMU (software emulation) and CMD runs there.
#   VANTOR_WIN32_CACHE  where the system lives (default /var/cache/vantor-win32)
#   VANTOR_WIN32_VM     auto (default), chroot or qemu: how to run it
#   VANTOR_WIN32_QEMU_CPU  QEMU's -cpu (default max,-smap)
#   VANTOR_WIN32_LOCAL  under QEMU, the tree's folders (colon-separated, default build/win32-wine)
#                       copied into the guest's memory first: Wine cannot run programs over 9p
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tree=$(cd "$here/.." && pwd)
cache=${VANTOR_WIN32_CACHE:-/var/cache/vantor-win32}
mirror=http://deb.debian.org/debian
# bookworm and bookworm-updates only: security-updated amd64 libraries beside plain i386 ones make
# wine32 uninstallable. cmake gives ctest inside; busybox-static:i386 is the 32-bit probe.
packages=(wine wine64 wine32:i386 busybox-static:i386 cmake)
stamp_text="bookworm bookworm-updates amd64+i386 ${packages[*]}"

die() { echo "win32-env: $*" >&2; exit 1; }

system_complete() {
  [ "$(cat "$cache/root.ok" 2>/dev/null)" = "$stamp_text" ] &&
    [ -x "$cache/root/usr/lib/wine/wine" ] && [ -x "$cache/root/usr/lib/wine/wine64" ] &&
    [ -x "$cache/root/bin/busybox" ] && [ -x "$cache/root/usr/bin/ctest" ]
}

build_system() {
  system_complete && return 0
  command -v mmdebstrap >/dev/null || die "mmdebstrap is missing (bash scripts/deps.sh all installs it)"
  [ "$(id -u)" -eq 0 ] || die "building the system needs root"
  echo "win32-env: building the 32-bit test system in $cache/root (about 5 min, 352 MB download)"
  rm -rf "$cache/root" "$cache/root.new" "$cache/root.ok"
  mkdir -p "$cache/debs" || die "cannot create $cache"
  local start=$SECONDS
  # The .deb files are kept in $cache/debs, so a rebuild downloads nothing that has not changed.
  if ! mmdebstrap --mode=root --variant=minbase --architectures=amd64,i386 \
      --aptopt='APT::Install-Recommends "false"' --include="$(IFS=,; echo "${packages[*]}")" \
      --skip=download/empty --skip=essential/unlink \
      --setup-hook='mkdir -p "$1"/var/cache/apt/archives' \
      --setup-hook="sync-in '$cache/debs' /var/cache/apt/archives" \
      --customize-hook="sync-out /var/cache/apt/archives '$cache/debs'" \
      --customize-hook='rm -f "$1"/var/cache/apt/archives/*.deb' \
      bookworm "$cache/root.new" "deb $mirror bookworm main" "deb $mirror bookworm-updates main" \
      >"$cache/build.log" 2>&1; then
    tail -20 "$cache/build.log" >&2
    die "mmdebstrap failed (whole log: $cache/build.log)"
  fi
  mv "$cache/root.new" "$cache/root"
  echo "$stamp_text" >"$cache/root.ok"
  system_complete || die "the new system lacks Wine, busybox or ctest (see $cache/build.log)"
  echo "win32-env: system built in $((SECONDS - start)) s"
}

# Builds and checks under one lock, so two runs never build the same cache at once.
locked_build() {
  mkdir -p "$cache" || die "cannot create $cache"
  exec 9>"$cache/lock"
  flock 9
  build_system
  flock -u 9
  exec 9>&-
}

# Whether this kernel runs 32-bit x86 code: the system's static i386 busybox is the probe.
kernel_runs_i386() {
  "$cache/root/bin/busybox" true 2>/dev/null
}

# What a command sees of the caller's environment: the project's and CI's own variables only.
passed_env() {
  env | grep -E '^(VANTOR_|CTEST_|CI=|TERM=)' | grep -v '^VANTOR_WIN32_'
}

# The chroot, from inside fresh mount, PID, IPC and UTS namespaces (see run_chroot): a tmpfs holds
# the overlay's writable layer, so every write lands there and is gone when the last process ends.
enter_chroot() {
  local mnt=$cache/mnt dir=$1
  shift
  mount -t tmpfs vantor-win32 "$mnt" && mkdir "$mnt/upper" "$mnt/work" "$mnt/root" &&
    mount -t overlay overlay -o "lowerdir=$cache/root,upperdir=$mnt/upper,workdir=$mnt/work" \
      "$mnt/root" || die "cannot mount the overlay on $mnt"
  local r=$mnt/root n
  mount -t proc proc "$r/proc" && mount -t sysfs -o ro sysfs "$r/sys" &&
    mount -t tmpfs -o mode=755 dev "$r/dev" && mount -t tmpfs tmpfs "$r/tmp" || die "cannot mount /proc, /sys, /dev or /tmp"
  for n in null zero full random urandom tty; do
    touch "$r/dev/$n" && mount --bind "/dev/$n" "$r/dev/$n" || die "cannot bind /dev/$n"
  done
  mkdir "$r/dev/pts" "$r/dev/shm"
  mount -t devpts -o newinstance,ptmxmode=0666 devpts "$r/dev/pts" && ln -s pts/ptmx "$r/dev/ptmx" &&
    mount -t tmpfs tmpfs "$r/dev/shm" || die "cannot mount /dev/pts or /dev/shm"
  ln -s /proc/self/fd "$r/dev/fd"
  mkdir -p "$r$tree" && mount --bind "$tree" "$r$tree" || die "cannot bind $tree"
  [ -d "$r$dir" ] || dir=$tree
  local vars
  mapfile -t vars < <(passed_env)
  chroot "$r" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "${vars[@]}" \
    /bin/sh -c 'cd "$1" && shift && exec "$@"' sh "$dir" "$@"
}

run_chroot() {
  mkdir -p "$cache/mnt"
  unshare --mount --propagation private --pid --fork --ipc --uts -- \
    bash "$here/win32-env.sh" enter-chroot "$PWD" "$@"
}

# The QEMU path's own parts, cached beside the system: Debian's kernel (the host's apt fetches its
# package), a small initramfs of busybox and the modules below, whose init mounts the system
# read-only under a tmpfs overlay and runs the job (vm-init.sh), and the system as an ext4 disk
# image: Wine reads hundreds of megabytes of DLLs while it makes a prefix, far faster from a virtio
# disk than over 9p. crc32c is ext4's checksum, which modules.dep does not list.
qemu_modules=(9p 9pnet_virtio virtio_pci virtio_blk crc32c_generic ext4 overlay)
qemu_stamp="${qemu_modules[*]} ext4-image"
qemu_parts_complete() {
  [ "$(cat "$cache/qemu.ok" 2>/dev/null)" = "$qemu_stamp" ] && [ -f "$cache/qemu/vmlinuz" ] &&
    [ -f "$cache/qemu/initrd.gz" ] && [ -f "$cache/qemu/system.img" ] &&
    [ ! "$cache/root.ok" -nt "$cache/qemu/system.img" ]
}

# The initramfs again whenever vm-init.sh has changed.
pack_initrd() {
  local q=$cache/qemu
  cmp -s "$here/vm-init.sh" "$q/initrd/init" && [ -f "$q/initrd.gz" ] && return 0
  cp "$here/vm-init.sh" "$q/initrd/init" && chmod +x "$q/initrd/init" &&
    (cd "$q/initrd" && find . | cpio -o -H newc --quiet | gzip -1 >"$q/initrd.gz") || die "cannot pack the initramfs"
}

build_qemu_parts() {
  qemu_parts_complete && { pack_initrd; return 0; }
  bash "$here/deps.sh" win32-vm || die "cannot install QEMU"
  echo "win32-env: fetching Debian's kernel and making the initramfs in $cache/qemu"
  rm -rf "$cache/qemu" "$cache/qemu.ok"
  local q=$cache/qemu kernel
  mkdir -p "$q/debs" "$q/x" "$q/initrd/"{bin,modules,proc,sys,dev} || die "cannot create $q"
  kernel=$(apt-cache depends linux-image-amd64 | awk '$1 == "Depends:" && $2 ~ /^linux-image-/ {print $2; exit}')
  [ -n "$kernel" ] || die "apt knows no linux-image-amd64 (run apt-get update)"
  (cd "$q/debs" && apt-get download -q -o APT::Sandbox::User=root "$kernel" busybox-static >/dev/null) || die "cannot download $kernel and busybox-static"
  local deb
  for deb in "$q"/debs/*.deb; do dpkg-deb -x "$deb" "$q/x" || die "cannot unpack $deb"; done
  cp "$q"/x/boot/vmlinuz-* "$q/vmlinuz" && cp "$q/x/bin/busybox" "$q/initrd/bin/" ||
    die "unexpected package contents"
  # Each module after the ones it needs, as modules.dep lists them (built-in ones have no file).
  local moddir
  moddir=$(echo "$q"/x/lib/modules/*)
  # The package leaves modules.dep to its install script.
  depmod -b "$q/x" "$(basename "$moddir")" || die "depmod failed"
  local order=() seen=" " m dep
  add_module() {
    local name=$1 line
    line=$(grep -E "(^|/)$name\.ko(\.xz)?:" "$moddir/modules.dep") || return 0
    for dep in ${line#*:}; do add_module "$(basename "${dep%%.ko*}")"; done
    [[ $seen == *" $name "* ]] && return 0
    seen+="$name "
    order+=("${line%%:*}")
  }
  for m in "${qemu_modules[@]}"; do add_module "$m"; done
  for m in "${order[@]}"; do
    case $m in
      *.xz) xz -dc "$moddir/$m" >"$q/initrd/modules/$(basename "${m%.xz}")" ;;
      *) cp "$moddir/$m" "$q/initrd/modules/" ;;
    esac || die "cannot copy module $m"
    basename "${m%.xz}" >>"$q/initrd/modules/order"
  done
  grep -qx 9p.ko "$q/initrd/modules/order" 2>/dev/null || die "no 9p module in $kernel"
  pack_initrd
  rm -rf "$q/x" "$q/debs"
  # Sparse: the file takes the system's size on disk (about 1.8 GB), made in about 15 s.
  mke2fs -q -t ext4 -O ^has_journal -L vantor-win32 -d "$cache/root" "$q/system.img" 3G ||
    die "cannot make the system's disk image"
  echo "$qemu_stamp" >"$cache/qemu.ok"
}

locked_qemu_parts() {
  exec 9>"$cache/lock"
  flock 9
  build_qemu_parts
  flock -u 9
  exec 9>&-
}

# The system booted under QEMU's software emulation (TCG; the nested hypervisor behind /dev/kvm
# here cannot run a stock kernel). -smap is off: with it, QEMU 7.2 faults the guest kernel on
# Wine's iretq and every Wine process dies. The system is the disk image; this tree and a job
# folder (the command in, its exit code out) are shared over 9p; the guest prints on the serial
# console.
run_qemu() {
  local qemu_cpu=${VANTOR_WIN32_QEMU_CPU:-max,-smap}
  locked_qemu_parts
  local job
  job=$(mktemp -d) || die "no temporary folder"
  local dir=$PWD
  [[ $dir == "$tree" || $dir == "$tree"/* ]] || dir=$tree
  {
    echo "cd $(printf '%q' "$dir") || exit 1"
    passed_env | while IFS= read -r v; do printf 'export %q\n' "$v"; done
    printf '%q ' "$@"; echo
  } >"$job/command"
  echo "$tree" >"$job/tree"
  tr : '\n' <<<"${VANTOR_WIN32_LOCAL:-build/win32-wine}" >"$job/local"
  local vm=(qemu-system-x86_64 -machine q35 -accel tcg,thread=multi -cpu "$qemu_cpu" -smp "$(nproc)"
    -m 6144 -nic none -no-reboot -kernel "$cache/qemu/vmlinuz" -initrd "$cache/qemu/initrd.gz"
    -append "console=ttyS0 quiet loglevel=3 panic=-1"
    -drive "file=$cache/qemu/system.img,if=virtio,format=raw,readonly=on"
    -virtfs "local,path=$tree,mount_tag=tree,security_model=passthrough"
    -virtfs "local,path=$job,mount_tag=job,security_model=passthrough")
  if [ -t 0 ]; then
    touch "$job/interactive"
    "${vm[@]}" -nographic -serial mon:stdio
  else
    # The serial console ends lines with CR LF.
    "${vm[@]}" -display none -monitor none -serial stdio </dev/null | stdbuf -oL tr -d '\r'
  fi
  local rc
  rc=$(cat "$job/rc" 2>/dev/null)
  rm -rf "$job"
  [ -n "$rc" ] || die "the QEMU guest ended without running the command to its end"
  return "$rc"
}

run_in_system() {
  [ $# -gt 0 ] || die "run: name a command"
  locked_build || exit 1
  local vm=${VANTOR_WIN32_VM:-auto}
  case $vm in
    auto)
      if kernel_runs_i386; then
        run_chroot "$@"
      else
        echo "win32-env: this kernel does not run 32-bit x86 code; booting the system under QEMU" >&2
        run_qemu "$@"
      fi ;;
    chroot)
      kernel_runs_i386 || die "VANTOR_WIN32_VM=chroot, but this kernel does not run 32-bit x86 code"
      run_chroot "$@" ;;
    qemu) run_qemu "$@" ;;
    *) die "VANTOR_WIN32_VM='$vm': use auto, chroot or qemu" ;;
  esac
}

# How commands will run: "chroot" or "qemu" (builds the system first: the probe is in it).
run_mode() {
  locked_build || exit 1
  case ${VANTOR_WIN32_VM:-auto} in
    auto) if kernel_runs_i386; then echo chroot; else echo qemu; fi ;;
    chroot | qemu) echo "$VANTOR_WIN32_VM" ;;
    *) die "VANTOR_WIN32_VM='$VANTOR_WIN32_VM': use auto, chroot or qemu" ;;
  esac
}

case "${1:-}" in
  build) [ $# -eq 1 ] || die "build takes no arguments"
    mode=$(run_mode) || exit 1
    [ "$mode" != qemu ] || locked_qemu_parts ;;
  mode) [ $# -eq 1 ] || die "mode takes no arguments"; run_mode ;;
  run) shift; [ "${1:-}" != "--" ] || shift; run_in_system "$@" ;;
  shell) [ $# -eq 1 ] || die "shell takes no arguments"; run_in_system /bin/bash -i ;;
  enter-chroot) shift; enter_chroot "$@" ;;
  *) echo "usage: $0 build | run CMD [ARG]... | shell | mode" >&2; exit 2 ;;
esac
