#!/bin/busybox sh
# The VM's first process. There is no udev: devtmpfs makes the nodes, and
# the modules are loaded here in the order the host worked out.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
exec </dev/console >/dev/console 2>&1

# Each line: a module file, then its parameters. hid comes with
# ignore_special_drivers=1, so the generic driver takes the remote.
while read -r module parameters; do
    insmod "/vm/modules/$module" $parameters || echo "vm-guest: cannot load $module"
done </vm/base.modules

echo "vm-guest: ready after $(cut -d' ' -f1 /proc/uptime) s"
cd /tmp
/vm/vm_guest_tests --gtest_color=no
echo "vm-guest: done, status $? after $(cut -d' ' -f1 /proc/uptime) s"
poweroff -f
