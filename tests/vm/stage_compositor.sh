# Sourced by run.sh: a Wayland desktop in the VM, fed by the kernel's input
# stack. From the host's Debian: sway (headless outputs, libinput for
# input), seatd to hand it the input devices, XWayland, wev as the client
# that reports what the pointer does, and what they read: xkb data,
# libinput's quirks, udev's hwdb and the input rules and helpers that
# classify a device as a desktop's udev would; and weston, its DRM backend
# and kiosk shell. sway runs as an ordinary user (it refuses root), so the
# root is open to others and has that user.
#   in: $stage (the VM's root being made), take_libraries

chmod 755 "$stage"
mkdir -p "$stage"/{usr/bin,usr/sbin,usr/libexec/coreutils,usr/share/X11,lib/udev/rules.d,home/user}
cp /usr/bin/sway /usr/bin/swaymsg /usr/bin/wev /usr/bin/Xwayland /usr/bin/xkbcomp /usr/bin/stdbuf \
    "$stage/usr/bin/"
cp /usr/sbin/seatd "$stage/usr/sbin/"
cp /usr/libexec/coreutils/libstdbuf.so "$stage/usr/libexec/coreutils/"
cp -r /usr/share/X11/xkb "$stage/usr/share/X11/"
cp -r /usr/share/libinput "$stage/usr/share/"
cp /lib/udev/hwdb.bin "$stage/lib/udev/"
cp /lib/udev/rules.d/{60-persistent-input,70-mouse,80-libinput-device-groups}.rules \
    /lib/udev/rules.d/90-libinput-fuzz-override.rules "$stage/lib/udev/rules.d/"
cp /lib/udev/libinput-device-group /lib/udev/libinput-fuzz-extract /lib/udev/libinput-fuzz-to-zero \
    "$stage/lib/udev/"
# weston with its DRM backend and kiosk shell, on the VM's virtual display.
weston_lib=/usr/lib/x86_64-linux-gnu
mkdir -p "$stage$weston_lib/libweston-10" "$stage$weston_lib/weston"
cp /usr/bin/weston "$stage/usr/bin/"
cp "$weston_lib/libweston-10/drm-backend.so" "$stage$weston_lib/libweston-10/"
cp "$weston_lib/weston/kiosk-shell.so" "$stage$weston_lib/weston/"
echo "user:x:1000:1000:user:/home/user:/bin/sh" >>"$stage/etc/passwd"
echo "user:x:1000:" >>"$stage/etc/group"
chown 1000:1000 "$stage/home/user"

take_libraries "$stage"/usr/bin/{sway,swaymsg,wev,Xwayland,xkbcomp,stdbuf,weston} "$stage"/usr/sbin/seatd \
    "$stage$weston_lib"/libweston-10/*.so "$stage$weston_lib"/weston/*.so \
    "$stage"/usr/libexec/coreutils/libstdbuf.so "$stage"/lib/udev/libinput-*
