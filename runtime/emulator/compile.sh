#!/bin/sh
# Builds the emulator program "emulate" from emul.c beside this script. It links the audio
# layer libbass.so of the same folder and finds it there at run time ($ORIGIN), wherever the
# program folder lies. An old program is removed first, so a failed build leaves none to run.
here=$(cd "$(dirname "$0")" && pwd -P) || exit 1
cd "$here" || exit 1
rm -f "$here/emulate" || exit 1
if ! cc -O2 -fwrapv -fno-builtin -o "$here/emulate" "$here/emul.c" \
        -L"$here" -lbass -Wl,-rpath,'$ORIGIN'; then
    rm -f "$here/emulate"
    echo "compile.sh: the emulator program could not be built" >&2
    exit 1
fi
exit 0
