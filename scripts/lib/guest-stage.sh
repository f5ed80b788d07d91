#!/usr/bin/env bash
# Runs inside the test guest (started by scripts/guest-stage): the 32-bit build on a WoW64 prefix
# (64-bit Windows, demo machine) and on a 32-bit prefix (32-bit Windows, home32 machine).
#
# Per prefix: all of wintests.exe under Xvfb, scan parity with the simulated machine (its scan
# was written to build/guest-stage/ on the host beforehand), the fix round trip through the
# real editor, and one scan of the real window with a screenshot. Writes its logs, screenshots
# and build/guest-stage/results-ARCH.txt (one "pass|fail|gtest NAME SECONDS [STATUS]" line per
# step) into the shared checkout. BV_GUEST_PARALLEL=0 runs the prefixes one after the other.
set -uo pipefail

share=$(pwd)
out=$share/build/guest-stage
work=/root/bv

# Wine maps no program from the 9p share: the scripts, machines and programs go onto the disk.
rm -rf "$work"
mkdir -p "$work/build/win32/ui" "$work/tests"
cp -a "$share/scripts" "$work/"
cp -a "$share/tests/machines" "$work/tests/"
cp "$share/build/win32/wintests.exe" "$share/build/win32/brimvale-cli.exe" "$work/build/win32/"
cp "$share/build/win32/ui/Brimvale.exe" "$share/build/win32/ui/uidriver.exe" "$work/build/win32/ui/"
cd "$work"

# One Xvfb per prefix; Wine's server must start with the display its windows use. Under
# emulation on a loaded host its start can take a minute or more: it gets five, and a second try
# when it died; what it said goes to the stage's log folder.
start_display() {  # $1 display number
    local attempt waited pid
    for attempt in 1 2; do
        Xvfb ":$1" -screen 0 1280x1024x24 -nolisten tcp >>"$out/xvfb-$1.log" 2>&1 &
        pid=$!
        for waited in $(seq 1 1500); do
            [[ -S /tmp/.X11-unix/X$1 ]] && return 0
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.2
        done
        kill "$pid" 2>/dev/null || true
        rm -f "/tmp/.X$1-lock" "/tmp/.X11-unix/X$1"
        echo "Xvfb :$1 did not start (attempt $attempt)" >&2
    done
    return 1
}

# The window on a prefix seeded from MACHINE: a scan clicked through uidriver, a screenshot,
# and the window's error count checked against the command-line scan of the same registry.
window_scan() {  # $1 machine, $2 display, $3 screenshot
    local machine=$1 display=$2 shot=$3
    local prefix=$work/build/window-$BV_WINE_ARCH
    scripts/wine-machine "tests/machines/$machine" --prefix "$prefix" -- \
        build/win32/brimvale-cli.exe scan >"$prefix.scan" 2>/dev/null || {
        echo "seeding the prefix or the command-line scan failed"
        return 1
    }
    (
        source scripts/lib/wine-env.sh
        BV_WINE_DISPLAY=:$display wine_env_init || exit 1
        # A Wine virtual desktop: Wine draws the title bars itself (Xvfb has no window manager).
        printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"Default"="1280x1024"\r\n' \
            >"$prefix.desktop.reg"
        wine_run "$prefix" regedit /s "$(wine_host_path "$prefix.desktop.reg")"
        wine_stop "$prefix"
        wine_server_start "$prefix"
        trap 'wine_stop "$prefix"' EXIT
        wine_run "$prefix" build/win32/ui/Brimvale.exe &
        app=$!
        status=$(wine_run "$prefix" build/win32/ui/uidriver.exe scan | tr -d '\r')
        echo "window: $status"
        read -r x y w h < <(wine_run "$prefix" build/win32/ui/uidriver.exe rect | tr -d '\r')
        sleep 1
        DISPLAY=:$display import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shot" ||
            echo "no screenshot"
        wine_run "$prefix" build/win32/ui/uidriver.exe close
        wait "$app" || true
        expected=$(wc -l <"$prefix.scan")
        echo "command-line scan of the same prefix: $expected findings"
        [[ -s $shot ]] || exit 1
        [[ $status == "Summary: $expected errors found." ]]
    )
}

stage() {  # $1 arch, $2 machine, $3 display number
    local arch=$1 machine=$2 display=$3
    export BV_WINE_ARCH=$arch BV_WINE_TEMPLATE=/var/cache/bv/wine-template-$arch
    local results=$out/results-$arch.txt start
    : >"$results"
    record() {  # $1 kind, $2 name, $3 status
        local secs=$((SECONDS - start))
        if [[ $1 == gtest ]]; then
            echo "gtest $2 $secs $3" >>"$results"
        elif (($3 == 0)); then
            echo "pass $2 $secs" >>"$results"
        else
            echo "fail $2 $secs" >>"$results"
        fi
        echo "$arch: $2 ended with $3 after $secs s"
    }
    start_display "$display" || { echo "fail display-$arch 0" >>"$results"; return; }
    local rc

    start=$SECONDS
    rc=0
    BV_WINE_DISPLAY=:$display scripts/wine-tests build/win32/wintests.exe \
        >"$out/wintests-$arch.log" 2>&1 || rc=$?
    record gtest "wintests-$arch" "$rc"

    start=$SECONDS
    rc=0
    scripts/wine-scan-parity --host-scan "$out/host-scan-$machine.txt" build/win32/brimvale-cli.exe \
        "tests/machines/$machine" >"$out/parity-$arch.log" 2>&1 || rc=$?
    record step "parity-$machine-$arch" "$rc"

    start=$SECONDS
    rc=0
    scripts/wine-fix-roundtrip build/win32/brimvale-cli.exe "tests/machines/$machine" \
        >"$out/roundtrip-$arch.log" 2>&1 || rc=$?
    record step "roundtrip-$machine-$arch" "$rc"

    start=$SECONDS
    rc=0
    window_scan "$machine" "$display" "$out/brimvale-$arch.png" >"$out/window-$arch.log" 2>&1 ||
        rc=$?
    record step "window-$machine-$arch" "$rc"
}

if [[ ${BV_GUEST_PARALLEL:-1} == 1 ]]; then
    stage win64 demo 91 &
    stage win32 home32 92 &
    wait
else
    stage win64 demo 91
    stage win32 home32 92
fi
