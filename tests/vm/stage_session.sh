# Sourced by run.sh: what a desktop session adds to the VM around the
# program. The program's own files as `cmake --install` lays them out under
# /usr (the package is made from the same install), and from the host's
# Debian: udevd with the rules that classify input devices, journald, and
# the service manager to run as a user manager.
#   in: $build (the build folder), $stage (the VM's root being made),
#       Abort and take_libraries

DESTDIR=$stage cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; Abort "cmake --install failed"; }

mkdir -p "$stage"/{etc,root,run,lib/systemd,lib/udev/rules.d,usr/bin,usr/lib/systemd/user}
cp /lib/systemd/systemd /lib/systemd/systemd-journald "$stage/lib/systemd/"
cp /bin/udevadm /usr/bin/systemctl /usr/bin/journalctl "$stage/usr/bin/"
ln -s /usr/bin/udevadm "$stage/lib/systemd/systemd-udevd"
cp /lib/udev/rules.d/{50-udev-default,60-input-id,60-evdev,70-uaccess,99-systemd}.rules \
    "$stage/lib/udev/rules.d/"
# A user manager's own targets and slices.
cp /usr/lib/systemd/user/{basic,default,exit,paths,shutdown,sockets,timers}.target \
    /usr/lib/systemd/user/{app,background,session}.slice /usr/lib/systemd/user/systemd-exit.service \
    "$stage/usr/lib/systemd/user/"
echo "root:x:0:0:root:/root:/bin/sh" >"$stage/etc/passwd"
echo "root:x:0:" >"$stage/etc/group"
echo 4c756d61647269667465727669727475 >"$stage/etc/machine-id"

take_libraries "$stage"/lib/systemd/{systemd,systemd-journald} \
    "$stage"/usr/bin/{udevadm,systemctl,journalctl,lumadrifter}
