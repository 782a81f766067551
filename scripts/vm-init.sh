#!/bin/busybox sh
# The QEMU guest's first process (scripts/win32-env.sh packs it into the initramfs as /init): mounts
# the cached system read-only under a tmpfs overlay, this tree at its own path and the job folder,
# runs the job's command in the system, writes its exit code into the job folder and powers off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs dev /dev
for m in $(cat /modules/order); do insmod "/modules/$m" || echo "vm-init: cannot load $m"; done
p9="trans=virtio,version=9p2000.L,msize=512000"
mkdir -p /system /rw /job /root
mount -t ext4 -o ro /dev/vda /system && mount -t 9p -o "$p9" job /job &&
  mount -t tmpfs -o size=90% rw /rw && mkdir /rw/upper /rw/work &&
  mount -t overlay overlay -o lowerdir=/system,upperdir=/rw/upper,workdir=/rw/work /root ||
  { echo "vm-init: cannot mount the system"; poweroff -f; }
tree=$(cat /job/tree)
# The tree last: it may lie under /tmp.
mount -t proc proc /root/proc && mount -t sysfs sysfs /root/sys && mount -t devtmpfs dev /root/dev &&
  mkdir -p /root/dev/pts /root/dev/shm && mount -t devpts devpts /root/dev/pts &&
  mount -t tmpfs tmpfs /root/dev/shm && mount -t tmpfs tmpfs /root/tmp &&
  mkdir -p "/root$tree" && mount -t 9p -o "$p9,cache=mmap" tree "/root$tree" ||
  { echo "vm-init: cannot mount /proc, /sys, /dev, /tmp or the tree"; poweroff -f; }
# Wine's loader reads wrong bytes from programs on 9p (they crash at once; md5sum reads them right),
# so the folders the job names are copied into the guest's memory and mounted over their place.
while read -r d; do
  [ -d "/root$tree/$d" ] || continue
  mkdir -p "/rw/local/$d" && cp -a "/root$tree/$d/." "/rw/local/$d/" &&
    mount --bind "/rw/local/$d" "/root$tree/$d" || { echo "vm-init: cannot copy $d"; poweroff -f; }
done </job/local
cp /job/command /root/tmp/command
run() {
  chroot /root /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    /bin/bash /tmp/command
}
if [ -f /job/interactive ]; then
  run </dev/console >/dev/console 2>&1
  echo $? >/job/rc
else
  # Not on the console itself: a job's programs then print no colours or cursor codes.
  { run; echo $? >/job/rc; } </dev/null 2>&1 | cat >/dev/console
fi
sync
poweroff -f
