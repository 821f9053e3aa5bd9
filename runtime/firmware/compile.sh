#!/bin/sh
# Builds the firmware image firmware.bin from main.c beside this script, with the device layer
# of device/ (start-up code, vector table, system calls, linker script). An old image is removed
# first, so a failed build leaves none to upload.
#   compile.sh          for the device (device/board.h)
#   compile.sh test     for the test board (device/test/board.h: semihosting files)
# The blocks rely on wrap-around (-fwrapv), sin is the runtime's own (-fno-builtin) and plain
# char must be signed as on the desktop (-fsigned-char).
here=$(cd "$(dirname "$0")" && pwd -P) || exit 1
cd "$here" || exit 1
rm -f "$here/firmware.bin" "$here/firmware.elf" || exit 1

case "${1:-}" in
"") board="$here/device" ;;
test) board="$here/device/test" ;;
*)
    echo "compile.sh: unknown board \"$1\"" >&2
    exit 2
    ;;
esac

fail() {
    rm -f "$here/firmware.bin" "$here/firmware.elf"
    echo "compile.sh: $1" >&2
    exit 1
}

command -v arm-none-eabi-gcc >/dev/null 2>&1 ||
    fail "the ARM cross compiler arm-none-eabi-gcc is not installed"
[ -f "$here/main.c" ] || fail "there is no main.c to build"

arm-none-eabi-gcc -mcpu=cortex-m3 -mthumb -O2 -fwrapv -fno-builtin -fsigned-char \
    -ffunction-sections -fdata-sections -nostartfiles --specs=nano.specs \
    -I"$board" -I"$here/device" \
    -T"$here/device/device.ld" -Wl,--gc-sections \
    -o "$here/firmware.elf" \
    "$here/main.c" "$here/device/startup.c" "$here/device/syscalls.c" ||
    fail "the firmware could not be built"
arm-none-eabi-objcopy -O binary "$here/firmware.elf" "$here/firmware.bin" ||
    fail "the firmware image could not be made"
[ -s "$here/firmware.bin" ] || fail "the firmware image is empty"
exit 0
