#!/bin/busybox sh
# The VM's first process. devtmpfs makes the nodes, udevd describes them, and
# the modules are loaded here in the order the host worked out.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/shm
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
mount -t cgroup2 cgroup2 /sys/fs/cgroup
exec </dev/console >/dev/console 2>&1

# Each line: a module file, then its parameters. hid comes with
# ignore_special_drivers=1, so the generic driver takes the remote.
while read -r module parameters; do
    insmod "/vm/modules/$module" $parameters || echo "vm-guest: cannot load $module"
done </vm/base.modules

# As on a desktop: udevd classifies devices and journald takes what
# services print. /run/systemd/system lets a user manager run under
# busybox's init.
mkdir -p /run/systemd/system
/lib/systemd/systemd-journald &
/lib/systemd/systemd-udevd --daemon
udevadm trigger --action=add
udevadm settle

echo "vm-guest: ready after $(cut -d' ' -f1 /proc/uptime) s"
# run.sh's LUMADRIFTER_VM_FILTER, as vm.filter= on the kernel's command line.
filter=$(sed -n 's/.*vm\.filter=\([^ ]*\).*/\1/p' /proc/cmdline)
cd /tmp
/vm/vm_guest_tests --gtest_color=no --gtest_filter="${filter:-*}"
echo "vm-guest: done, status $? after $(cut -d' ' -f1 /proc/uptime) s"
poweroff -f
