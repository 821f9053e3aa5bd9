#!/bin/sh
# Copies firmware.bin beside this script onto the device's bootloader volume, whose folder the
# editor passes in KNOTLATTICE_DEVICE_VOLUME. The device is there when the volume holds a
# firmware.bin. Its bootloader takes a new image as a delete followed by a fresh copy, so the
# old image is removed only once the new one is known to be complete and readable, and the
# copy is checked afterwards.
here=$(cd "$(dirname "$0")" && pwd -P) || exit 1
image="$here/firmware.bin"
volume=${KNOTLATTICE_DEVICE_VOLUME:-}

fail() {
    echo "copy.sh: $1" >&2
    exit 1
}

[ -n "$volume" ] || fail "no device volume was given"
target="$volume/firmware.bin"
[ -f "$target" ] || fail "no device at \"$volume\" (it holds no firmware.bin)"
[ -f "$image" ] && [ -s "$image" ] || fail "there is no firmware image to copy"
size=$(wc -c <"$image") || fail "the firmware image cannot be read"
size=$((size + 0))
# The image with its patch record must fit the device's flash.
flash=$(sed -n 's/^ *FLASH (rx) : ORIGIN = 0x00000000, LENGTH = \([0-9][0-9]*\)K$/\1/p' \
    "$here/device/device.ld")
[ -n "$flash" ] || fail "the flash size of the device is unknown"
[ "$size" -le $((flash * 1024)) ] ||
    fail "the firmware with its patch ($size bytes) does not fit the device's $((flash * 1024)) bytes of flash"
cat "$image" >/dev/null || fail "the firmware image cannot be read"

rm -f "$target" || fail "the old firmware on the device cannot be removed"
cp "$image" "$target" || fail "the firmware could not be copied to the device"
sync
copied=$(wc -c <"$target" 2>/dev/null) || fail "the copied firmware cannot be read back"
[ $((copied + 0)) -eq "$size" ] ||
    fail "the copy on the device has $((copied + 0)) bytes instead of $size"
exit 0
