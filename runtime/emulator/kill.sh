#!/bin/sh
# Ends the emulator programs started from this program folder: compile/emulator/emulate and
# the prebuilt preset programs in presets/emulator/. A process is matched by the path of its
# executable, so programs of the same name elsewhere are left alone.
#
# The editor waits for this script at start, with hundreds of processes running, so the scan
# starts nothing per process: the shell itself reads each process's name, and only a process
# named like one of our programs has its executable looked at. Nor does it start anything to
# find its folder ($0 is the path it was started by): on a busy machine each start costs
# milliseconds.
case $0 in
*/*) cd -P -- "${0%/*}" || exit 1 ;;
*) cd -P . || exit 1 ;;
esac
here=$PWD
cd -P ../.. || exit 1
root=$PWD
own="$here/emulate"
presets="$root/presets/emulator"

# "/emulate/" and "/NAME/" for each preset program. The kernel keeps the first 15 bytes of a
# program's name, so a process name is matched as the start of one of these.
names="/emulate/"
for program in "$presets"/*; do
    [ -f "$program" ] && names="$names${program##*/}/"
done

# Succeeds when process $1 runs one of our programs. A program replaced on disk while it runs
# shows its old path with " (deleted)" appended.
ours() {
    exe=$(readlink "/proc/$1/exe" 2>/dev/null) || return 1
    exe=${exe%" (deleted)"}
    [ "$exe" = "$own" ] || [ "${exe%/*}" = "$presets" ]
}

# Error output goes for the whole loop: a process may end before its name is read.
pids=""
for entry in /proc/[0-9]*; do
    name=""
    IFS= read -r name <"$entry/comm"
    case $name in
    "") continue ;;
    esac
    case $names in
    *"/$name"*) ;;
    *) continue ;;
    esac
    pid=${entry#/proc/}
    if ours "$pid"; then
        pids="$pids $pid"
    fi
done 2>/dev/null
[ -n "$pids" ] || exit 0

for pid in $pids; do
    kill "$pid" 2>/dev/null
done

# Give them a moment to end on their own, then force the ones still running.
tries=0
while [ "$tries" -lt 20 ]; do
    alive=""
    for pid in $pids; do
        if ours "$pid"; then
            alive="$alive $pid"
        fi
    done
    [ -n "$alive" ] || exit 0
    pids=$alive
    sleep 0.1
    tries=$((tries + 1))
done
for pid in $pids; do
    kill -s KILL "$pid" 2>/dev/null
done
exit 0
