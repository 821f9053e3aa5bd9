#!/bin/sh
# Builds the emulator program "emulate" from emul.c beside this script. It links the audio
# layer libbass.so of the same folder and finds it there at run time ($ORIGIN), wherever the
# program folder lies. An old program is removed first, so a failed build leaves none to run.
#
# The user waits for this build after pressing Play: -O1 builds in about 0.7 of the time of
# -O2 and the program runs as fast, and the gold linker links in a fraction of the default
# linker's time. Where gold is missing the default linker serves.
here=$(cd "$(dirname "$0")" && pwd -P) || exit 1
cd "$here" || exit 1
rm -f "$here/emulate" || exit 1
linker=""
if command -v ld.gold >/dev/null 2>&1; then
    linker="-fuse-ld=gold"
fi
if ! cc -O1 -fwrapv -fno-builtin $linker -o "$here/emulate" "$here/emul.c" \
        -L"$here" -lbass -Wl,-rpath,'$ORIGIN'; then
    rm -f "$here/emulate"
    echo "compile.sh: the emulator program could not be built" >&2
    exit 1
fi
exit 0
