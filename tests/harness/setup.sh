#!/bin/bash
# Prepares the test platform of one build folder: a Wine prefix (created once),
# an Xvfb display and one wineserver kept alive for the whole test run.
# Background processes never hold CTest's output pipe: all their output goes to logs.
set -euo pipefail
export KELM_BUILD_DIR="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
. "$HERE/wine-env.sh"
mkdir -p "$KELM_HARNESS_DIR"
LOG="$KELM_HARNESS_DIR/setup.log"
: > "$LOG"

# What the harness relies on, each with the Debian package that brings it
# (scripts/install-deps.sh installs them all).
TAHOMA=/usr/share/wine/fonts/tahoma.ttf
TAHOMA_BOLD=/usr/share/wine/fonts/tahomabd.ttf
missing=()
for need in wine:wine wineserver:wine wineboot:wine Xvfb:xvfb; do
    command -v "${need%%:*}" >/dev/null 2>&1 || missing+=("${need#*:} (no ${need%%:*})")
done
for font in "$TAHOMA" "$TAHOMA_BOLD"; do
    [ -f "$font" ] || missing+=("fonts-wine (no $font)")
done
if [ "${#missing[@]}" -gt 0 ]; then
    printf 'setup: missing Debian package: %s\n' "${missing[@]}" >&2
    echo "setup: run scripts/install-deps.sh" >&2
    exit 1
fi

start_display() {
    if [ -f "$KELM_HARNESS_DIR/xvfb.pid" ] && kill -0 "$(cat "$KELM_HARNESS_DIR/xvfb.pid")" 2>/dev/null; then
        return
    fi
    # Xvfb picks a free display number itself and writes it to fd 3 once it accepts
    # connections: no race with other harnesses starting at the same moment.
    local number_file="$KELM_HARNESS_DIR/display.number"
    rm -f "$number_file"
    setsid Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$number_file" </dev/null >>"$LOG" 2>&1 &
    echo $! > "$KELM_HARNESS_DIR/xvfb.pid"
    local i n
    for i in $(seq 1 100); do
        n="$(head -n 1 "$number_file" 2>/dev/null || true)"
        if [ -n "$n" ]; then
            echo ":$n" > "$KELM_HARNESS_DIR/display"
            return
        fi
        sleep 0.1
    done
    echo "Xvfb did not start" >&2
    exit 1
}

start_display
export DISPLAY="$(cat "$KELM_HARNESS_DIR/display")"

if [ ! -f "$WINEPREFIX/.kelm-ready" ]; then
    # A new prefix now and then fails its first boot ("could not load kernel32.dll");
    # a clean second try succeeds.
    for attempt in 1 2 3; do
        rm -rf "$WINEPREFIX"
        if wineboot -i </dev/null >>"$LOG" 2>&1; then
            wineserver -w
            break
        fi
        wineserver -k >>"$LOG" 2>&1 || true
        wineserver -w >>"$LOG" 2>&1 || true
        echo "setup: the prefix's first boot failed (attempt $attempt)" >>"$LOG"
        if [ "$attempt" -eq 3 ]; then
            echo "Wine could not create the prefix $WINEPREFIX; see $LOG" >&2
            exit 1
        fi
    done
    # DirectWrite lists only fonts registered in the prefix; Wine ships Tahoma.
    fonts="$WINEPREFIX/drive_c/windows/Fonts"
    mkdir -p "$fonts"
    cp "$TAHOMA" "$TAHOMA_BOLD" "$fonts/"
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' /v 'Tahoma (TrueType)' /t REG_SZ /d tahoma.ttf /f </dev/null >>"$LOG" 2>&1
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' /v 'Tahoma Bold (TrueType)' /t REG_SZ /d tahomabd.ttf /f </dev/null >>"$LOG" 2>&1
    # No window manager runs on Xvfb: with managed windows, Wine waits 2 s for the
    # manager at every hiding of a top-level window.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >>"$LOG" 2>&1
    # A new prefix takes the region of the host's locale, and the settings page
    # follows the region: one region (the United States) whatever machine runs
    # the tests; a test about another region sets it itself.
    wine reg add 'HKCU\Control Panel\International\Geo' /v Nation /t REG_SZ /d 244 /f </dev/null >>"$LOG" 2>&1
    wineserver -w
    touch "$WINEPREFIX/.kelm-ready"
fi

# One persistent wineserver: each test process then starts in a fraction of a second.
# sessions.log is kept across runs (setup.log is not): when each session started,
# how, and whatever its wineserver wrote until its end (the server keeps this
# file as its output).
SESSIONS="$KELM_HARNESS_DIR/sessions.log"
echo "$(date '+%F %T') starting a persistent wineserver" >>"$SESSIONS"
server_rc=0
setsid wineserver -p </dev/null >>"$SESSIONS" 2>&1 || server_rc=$?
# Exit code 2: a wineserver still held the prefix (one that had not ended yet).
echo "$(date '+%F %T') wineserver -p: exit code $server_rc" >>"$SESSIONS"
setsid wine wineboot </dev/null >>"$LOG" 2>&1 || true
echo "harness ready: WINEPREFIX=$WINEPREFIX DISPLAY=$DISPLAY"
