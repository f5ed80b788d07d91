#!/bin/bash
# First process of the test guest: mounts the checkout and the run folder that scripts/guest
# shares over 9p, runs the run's command once, records its exit status and powers off.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/root LANG=C.UTF-8 TERM=dumb

# The initramfs has moved /dev, /proc, /sys and /run here already; what it leaves out is mounted.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sysfs /sys
mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mountpoint -q /dev/pts || mount -t devpts -o gid=5,mode=620 devpts /dev/pts
mountpoint -q /dev/shm || mount -t tmpfs -o mode=1777 tmpfs /dev/shm
mountpoint -q /run || mount -t tmpfs -o mode=755 tmpfs /run
mount -t tmpfs -o mode=1777 tmpfs /tmp
hostname bvguest
ip link set lo up 2>/dev/null || true

power_off() {
    sync
    echo o >/proc/sysrq-trigger
    sleep 60
}

modprobe 9pnet_virtio && modprobe 9p || { echo "guest: no 9p support" >/dev/console; power_off; }
opts=trans=virtio,version=9p2000.L,msize=262144
mkdir -p /bv /run/bv
if ! mount -t 9p -o "$opts" bvrun /run/bv || ! mount -t 9p -o "$opts" bvroot /bv; then
    echo "guest: the shared folders did not mount" >/dev/console
    power_off
fi

echo "guest: running" >/dev/console
status=0
(cd /bv && exec bash /run/bv/command.sh) >/run/bv/stdout 2>/run/bv/stderr </dev/null || status=$?
echo "$status" >/run/bv/status.tmp && mv /run/bv/status.tmp /run/bv/status
echo "guest: done, status $status" >/dev/console
umount /bv /run/bv 2>/dev/null || true
power_off
