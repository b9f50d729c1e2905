#!/bin/bash
# Installs the demo product with the installer under Wine, from the demo's own
# package server on 127.0.0.1. Called by scripts/run.sh after the build, and by
# the end-to-end test. See docs/demo.md.
#
# Usage: demo/run-demo.sh [options] [-- installer options...]
#   --build DIR     build folder (default: build)
#   --state DIR     where the demo keeps its Wine prefix, installer folder, site,
#                   logs and screenshots (default: <build>/demo-run)
#   --update        update path: make sure release 8.0.1.0 is installed, publish
#                   8.1.0.0 on the server and run the installer again
#   --silent        silent path: run the installer with "/s" and check that no
#                   window of it is ever visible
#   --lang ID       pass "/lang ID" to the installer; on the update path, also record
#                   ID as the installed product's language before updating
#   --automatic     answer the wizard automatically under Xvfb even when a display
#                   is reachable (always so without a display)
#   --keep          keep what earlier runs installed (a plain run starts clean)
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DEMO="$ROOT/demo"
BUILD="$ROOT/build"
STATE=""
SCENARIO=fresh
LANGUAGE=""
AUTOMATIC=0
KEEP=0
INSTALLER_OPTIONS=()

while [ $# -gt 0 ]; do
    case "$1" in
        --build) BUILD="$(cd "$2" && pwd)"; shift 2 ;;
        --state) STATE="$2"; shift 2 ;;
        --update) SCENARIO=update; shift ;;
        --silent) SCENARIO=silent; shift ;;
        --lang) LANGUAGE="$2"; shift 2 ;;
        --automatic) AUTOMATIC=1; shift ;;
        --keep) KEEP=1; shift ;;
        --) shift; INSTALLER_OPTIONS+=("$@"); break ;;
        -h|--help) awk 'NR > 1 && /^#/ {sub(/^# ?/, ""); print; next} NR > 1 {exit}' "$0"; exit 0 ;;
        *) echo "unknown option: $1 (see --help)" >&2; exit 2 ;;
    esac
done
STATE="${STATE:-$BUILD/demo-run}"
mkdir -p "$STATE"
STATE="$(cd "$STATE" && pwd)"

PRODUCT_CODE='{580D94DB-01C3-4959-9172-4F6E1569690A}'
PRODUCT_KEY='SOFTWARE\Kelmware\Zunder Pro\080'
RUNTIME_KEY='SOFTWARE\Kelmware\Zunder Runtime 8'
UNINSTALL_KEY="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$PRODUCT_CODE"
FIRST_RELEASE=8.0.1.0
UPDATE_RELEASE=8.1.0.0

INSTALLER_DIR="$STATE/installer"
SITE="$STATE/site"
TOOLS="$STATE/tools"
LOGS="$STATE/logs"
SHOTS="$STATE/screenshots"
RESULT="$STATE/result.txt"
INSTALLER_EXE="$BUILD/app/KelmWebInstaller.exe"

say() { printf '%s\n' "$*"; }
step() { printf '\n== %s\n' "$*"; }
fail() { printf '\nFAILED: %s\n' "$*" >&2; exit 1; }
windows_path() { local p="$1"; printf 'Z:%s' "${p//\//\\}"; }

# --- what the build holds --------------------------------------------------------
[ -f "$INSTALLER_EXE" ] || fail "no installer in $BUILD (run scripts/build.sh first)"
for needed in demo/release-$FIRST_RELEASE/ZunderPro8.msi demo/release-$UPDATE_RELEASE/ZunderPro8.msi \
              demo/zunder_runtime_setup.exe demo/zunder_driver.exe demo/zunder_url_recorder.exe; do
    [ -f "$BUILD/$needed" ] || fail "missing build output $BUILD/$needed (are wixl and msitools installed?)"
done
MISSING_PARTS=()
for part in config transfer engine skin wizard; do
    [ -f "$BUILD/$part/libkelm_$part.a" ] || MISSING_PARTS+=("$part")
done

USER_DISPLAY="${DISPLAY:-}"
VISIBLE=0
if [ "$AUTOMATIC" -eq 0 ] && [ -n "$USER_DISPLAY" ] && xdpyinfo -display "$USER_DISPLAY" >/dev/null 2>&1; then
    VISIBLE=1
fi

# --- Wine prefix, display, wineserver ------------------------------------------------
export KELM_BUILD_DIR="$STATE"
. "$ROOT/tests/harness/wine-env.sh"
mkdir -p "$LOGS" "$SHOTS" "$TOOLS"
rm -f "$SHOTS"/*.png "$RESULT"
: > "$LOGS/installer.log"
rm -f "$LOGS/run.log"

SERVER_PID=""
cleanup() {
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null || true
    if [ "$VISIBLE" -eq 1 ]; then
        wineserver -k >/dev/null 2>&1 || true
    else
        "$ROOT/tests/harness/cleanup.sh" "$STATE" >/dev/null 2>&1 || true
    fi
}
trap cleanup EXIT

step "Wine prefix $WINEPREFIX"
[ -f "$WINEPREFIX/.kelm-ready" ] || say "creating it (about half a minute, once)"
"$ROOT/tests/harness/setup.sh" "$STATE" >"$LOGS/harness.log" 2>&1 || fail "Wine set-up failed, see $LOGS/harness.log"
. "$ROOT/tests/harness/wine-env.sh"
if [ "$VISIBLE" -eq 1 ]; then
    # Everything of this run, the desktop shell included, shows on the user's display.
    "$ROOT/tests/harness/cleanup.sh" "$STATE" >/dev/null 2>&1 || true
    export DISPLAY="$USER_DISPLAY"
    setsid wineserver -p </dev/null >>"$LOGS/harness.log" 2>&1 || true
    say "windows appear on display $DISPLAY"
else
    say "the wizard is answered automatically on an Xvfb display ($DISPLAY)"
fi

run_wine() {  # a failure is written to wine.log with the command and its exit code
    local rc=0
    wine "$@" </dev/null >>"$LOGS/wine.log" 2>&1 || rc=$?
    [ "$rc" -eq 0 ] || echo "wine $* ended with exit code $rc" >>"$LOGS/wine.log"
    return "$rc"
}
trap 'fail "the registry could not be read (see $LOGS/wine.log)"' USR1
reg_value() {  # reg_value <key> <value name>: the value's data (numbers in decimal), or nothing
    local listing data rc=0
    listing="$(wine reg query "$1" /v "$2" </dev/null 2>"$LOGS/reg-query.err")" || rc=$?
    if wine_teardown_failed "$rc" "$LOGS/reg-query.err"; then
        # The answer is complete; only reg's exit status was lost (wine-env.sh).
        echo "reg query $1 /v $2: Wine's loader failed its teardown (127); its answer stands" >>"$LOGS/wine.log"
        rc=0
        printf '%s\n' "$listing" | grep -q 'Unable to find' && rc=1
    fi
    data="$(printf '%s\n' "$listing" | tr -d '\r' | awk -F '    ' -v name="$2" '$2 == name {print $4; exit}')"
    # reg answers 1 for a key or value that is not there; anything else is a query that
    # did not happen, and an empty answer from it would be taken for "not installed".
    local named=0
    printf '%s\n' "$listing" | tr -d '\r' | awk -F '    ' -v name="$2" '$2 == name {found = 1} END {exit !found}' && named=1
    if [ "$rc" -ne 0 ] && [ "$rc" -ne 1 ] || { [ "$rc" -eq 0 ] && [ "$named" -eq 0 ]; }; then
        { echo "reg query $1 /v $2 ended with $rc, answered [$listing]:"; cat "$LOGS/reg-query.err"; } >>"$LOGS/wine.log"
        kill -USR1 $$  # called inside $(...): the run itself must stop
        return 1
    fi
    case "$data" in
        0x*) printf '%d\n' "$data" ;;
        *) printf '%s\n' "$data" ;;
    esac
}
installed_version() { reg_value "$UNINSTALL_KEY" DisplayVersion; }
driver() {  # the driver's output without its last line "result: N", which says its outcome
    local output rc=0
    output="$(wine "$TOOLS/zunder_driver.exe" "$@" </dev/null 2>"$LOGS/driver.err" | tr -d '\r')" || rc=$?
    cat "$LOGS/driver.err" >>"$LOGS/wine.log"
    local reported
    reported="$(printf '%s\n' "$output" | sed -n 's/^result: //p' | tail -n 1)"
    if wine_teardown_failed "$rc" "$LOGS/driver.err" && [ -n "$reported" ]; then
        echo "driver $*: Wine's loader failed its teardown (127); the driver reported $reported" >>"$LOGS/wine.log"
        rc="$reported"
    fi
    printf '%s\n' "$output" | sed '/^result: /d'
    return "$rc"
}

# The prefix's browser is the demo's recorder: opened pages are listed, not shown.
cp "$BUILD/demo/zunder_driver.exe" "$BUILD/demo/zunder_url_recorder.exe" "$TOOLS/"
OPENED_URLS="$TOOLS/opened-urls.txt"
recorder_command="\"$(windows_path "$TOOLS/zunder_url_recorder.exe")\" \"%1\""
for scheme in http https; do
    run_wine reg add "HKCR\\$scheme\\shell\\open\\command" /ve /t REG_SZ /d "$recorder_command" /f \
        || fail "the prefix's browser could not be set (see $LOGS/wine.log)"
done

reset_product() {
    if [ -n "$(installed_version)" ]; then
        say "removing Zunder Pro Video Editor 8 $(installed_version) left by an earlier run"
        run_wine msiexec /x "$PRODUCT_CODE" /qn || true
    fi
    run_wine reg delete "HKLM\\$PRODUCT_KEY" /f || true
    run_wine reg delete "HKCU\\$PRODUCT_KEY" /f || true
    run_wine reg delete "HKCU\\SOFTWARE\\Kelmware\\ResourceLangID" /f || true
    run_wine reg delete "HKLM\\$RUNTIME_KEY" /f || true
    # The installer keeps its downloads in the product's folder under program data:
    # a first installation fetches them again.
    rm -rf "$WINEPREFIX/drive_c/Program Files/Kelmware" "$INSTALLER_DIR/component" "$INSTALLER_DIR/msi" \
           "$WINEPREFIX/drive_c/ProgramData/Kelmware/Web Installer/ZUNDERPRO8-DEMO"
    rm -f "$OPENED_URLS"
}

# --- package server -----------------------------------------------------------------
step "Package server"
rm -rf "$SITE"
mkdir -p "$SITE"
rm -f "$STATE/server.port"
: > "$LOGS/server.log"
python3 "$DEMO/../tests/support/loopback_server.py" --root "$SITE" --port 8470 --port-file "$STATE/server.port" \
        --log "$LOGS/server.log" </dev/null >>"$LOGS/server.out" 2>&1 &
SERVER_PID=$!
for _ in $(seq 1 100); do
    [ -s "$STATE/server.port" ] && break
    kill -0 "$SERVER_PID" 2>/dev/null || fail "the package server did not start, see $LOGS/server.out"
    sleep 0.1
done
[ -s "$STATE/server.port" ] || fail "the package server did not report its port"
PORT="$(cat "$STATE/server.port")"
BASE_URL="http://127.0.0.1:$PORT"
publish() {
    python3 "$DEMO/layout.py" publish --source "$DEMO" --build "$BUILD" --site "$SITE" \
            --base-url "$BASE_URL" --release "$1"
    say "published release $1 at $BASE_URL/zunder/8/version.xml"
}
say "serving $SITE on $BASE_URL (requests: $LOGS/server.log)"

# --- installer folder ---------------------------------------------------------------
step "Installer folder $INSTALLER_DIR"
python3 "$DEMO/layout.py" installer --source "$DEMO" --build "$BUILD" --target "$INSTALLER_DIR" \
        --base-url "$BASE_URL"
say "KelmWebInstaller.exe, config\\manifest.xml, language\\{$(ls "$INSTALLER_DIR/language" | paste -sd, -)}\\string.ini and slides"

# --- screenshots ------------------------------------------------------------------
shot() {  # shot <name> [x y width height]: the whole screen or a window's rectangle
    local file="$SHOTS/$1.png"
    sleep "${SHOT_DELAY:-0.8}"  # let the page paint (and the slide show move on)
    if [ $# -ge 5 ]; then
        local x=$(( $2 < 0 ? 0 : $2 )) y=$(( $3 < 0 ? 0 : $3 ))
        import -display "$DISPLAY" -window root -crop "$4x$5+$x+$y" +repage "$file" 2>>"$LOGS/wine.log" || true
    else
        import -display "$DISPLAY" -window root "$file" 2>>"$LOGS/wine.log" || true
    fi
    [ -f "$file" ] && say "  screenshot $file"
    return 0
}

INSTALLER_PID=""
LAST_OUTPUT=""
STATUS_TEXTS=""
PAGE_RECT=""
RUN_LOG="$LOGS/run.log"
INSTALLER_EXIT=""
start_installer() {
    say "starting: KelmWebInstaller.exe $*"
    # Every run of this demo logs to one file (appended to), beside the other logs.
    # KELM_INSTALLER_WINEDEBUG traces the installer's process alone, e.g. "+msi" for
    # what the Windows Installer does with each file (into installer.log).
    (cd "$INSTALLER_DIR" && WINEDEBUG="${KELM_INSTALLER_WINEDEBUG:-$WINEDEBUG}" \
        exec wine ./KelmWebInstaller.exe "$@" /log "$(windows_path "$RUN_LOG")" </dev/null >>"$LOGS/installer.log" 2>&1) &
    INSTALLER_PID=$!
}
wait_installer() {  # the installer's exit code goes to INSTALLER_EXIT
    local rc=0
    wait "$INSTALLER_PID" 2>/dev/null || rc=$?
    # The installer's log ends with the exit code it returned (wine-env.sh).
    if wine_teardown_failed "$rc" "$LOGS/installer.log"; then
        rc="$(sed -n 's/.* exit code \([0-9]*\): .*/\1/p' "$RUN_LOG" | tail -n 1)"
        echo "the installer: Wine's loader failed its teardown (127); its log says exit code $rc" >>"$LOGS/wine.log"
    fi
    INSTALLER_EXIT="$rc"
}

# Runs one driver step; on failure records the screen and stops the run.
expect() {  # expect <what> <driver arguments...>; updates PAGE_RECT
    local output rc=0
    output="$(driver "${@:2}")" || rc=$?
    LAST_OUTPUT="$output"
    [ -n "$output" ] && printf '%s\n' "$output" | sed 's/^/  /'
    local rect
    rect="$(printf '%s\n' "$output" | awk 'NF == 5 && $2 ~ /^-?[0-9]+$/ {print $2, $3, $4, $5; exit}')"
    # Steps that report no window (progress, presses) keep the page's rectangle.
    [ -n "$rect" ] && PAGE_RECT="$rect"
    if [ "$rc" -ne 0 ]; then
        shot "failure-$(printf '%s' "$1" | tr -c 'a-zA-Z0-9' '-' | tr -s '-')"
        fail "$1 (driver exit code $rc; installer output in $LOGS/installer.log)"
    fi
}

drive_wizard() {  # drive_wizard <label> <fresh|update>
    local label="$1" kind="$2" rc=0 output
    output="$(driver wait-page check 60)" || rc=$?
    printf '%s\n' "$output" | sed 's/^/  /'
    if [ "$rc" -eq 0 ]; then
        SHOT_DELAY=0.05 shot "$label-0-check" $(printf '%s\n' "$output" | awk '{print $2, $3, $4, $5}')
    elif [ "$rc" -ne 3 ]; then
        shot "failure-client-check"
        fail "the client check did not lead to the wizard"
    fi
    if [ "$kind" = fresh ]; then
        expect "settings page" wait-page settings 120
        shot "$label-1-settings" $PAGE_RECT
        expect "Install" press install
        expect "status page" wait-page status 60
    else
        expect "status page without the settings page" wait-page update-status 120
    fi
    shot "$label-2-status" $PAGE_RECT
    expect "progress" wait-progress 600
    STATUS_TEXTS="$(printf '%s\n' "$LAST_OUTPUT" | sed -n 's/^status: //p')"
    shot "$label-3-progress" $PAGE_RECT
    local product_wait=60
    if [ "$LAUNCH_AFTER_INSTALL" -eq 0 ]; then
        expect "success page" wait-page success 900
        shot "$label-4-success" $PAGE_RECT
        expect "Start Now" press start-now
    else
        product_wait=900
    fi
    expect "the product's window" wait-page product "$product_wait"
    shot "$label-5-product" $PAGE_RECT
    expect "the installer's end" wait-exit 60
    expect "closing the product" close-product 30
    wait_installer
}

run_silent() {  # run_silent <label> [more installer options]
    local label="$1"
    shift
    start_installer /s "$@"
    local watch="$LOGS/watch-hidden.txt"
    (driver watch-hidden 900 >"$watch") &
    local watcher=$!
    sleep 6
    [ "$VISIBLE" -eq 1 ] || shot "$label-desktop-during-silent-run"
    local rc=0
    wait "$watcher" || rc=$?
    sed 's/^/  /' "$watch"
    wait_installer
    [ "$rc" -eq 0 ] || fail "the silent run showed a window or did not end (see above)"
}

run_visible() {
    start_installer "$@"
    say "the installer runs in a window on $DISPLAY: answer it; this command waits for its end"
    wait_installer
}

run_installer() {  # run_installer <label> <fresh|update> [installer options]
    local label="$1" kind="$2"
    shift 2
    if [ "$VISIBLE" -eq 1 ]; then
        run_visible "$@"
    else
        start_installer "$@"
        drive_wizard "$label" "$kind"
    fi
}

# --- the parts that are not there yet ---------------------------------------------------
if [ "${#MISSING_PARTS[@]}" -gt 0 ]; then
    step "What works in this build"
    publish "$FIRST_RELEASE"
    for path in zunder/8/version.xml zunder/8/packages/zunder_runtime_setup.exe \
                zunder/8/packages/ZunderPro8.msi zunder/8/packages/update/ZunderPro8.msi zunder/8/nothing.msi; do
        curl -s -o /dev/null -w "  GET /$path -> %{http_code}, Content-Length %header{content-length}, received %{size_download}\n" "$BASE_URL/$path" || true
    done
    if [ "$VISIBLE" -eq 0 ]; then
        start_installer "${INSTALLER_OPTIONS[@]}"
        sleep 5
        shot "installer-as-built"
        kill "$INSTALLER_PID" 2>/dev/null || true
        wineserver -k >/dev/null 2>&1 || true
    else
        run_visible "${INSTALLER_OPTIONS[@]}"
    fi
    step "Not there yet"
    say "This build of the installer lacks parts, so the demo product is not installed:"
    for part in "${MISSING_PARTS[@]}"; do
        case "$part" in
            config) say "  config: reading the manifest, the version descriptor and the texts" ;;
            transfer) say "  transfer: fetching the version descriptor and the packages" ;;
            engine) say "  engine: installing the packages and recording the installation" ;;
            skin) say "  skin: drawing the installer's windows" ;;
            wizard) say "  wizard: the wizard and the client check" ;;
        esac
    done
    say "Ready and shown above: the demo product's packages, the package server, the installer"
    say "folder and the installer program as built."
    say "Screenshots: $SHOTS"
    exit 0
fi

# --- the run -----------------------------------------------------------------------
OPTIONS=("${INSTALLER_OPTIONS[@]}")
[ -n "$LANGUAGE" ] && OPTIONS+=(/lang "$LANGUAGE")
LAUNCH_AFTER_INSTALL=0
for option in "${INSTALLER_OPTIONS[@]}"; do
    case "$option" in
        /l) LAUNCH_AFTER_INSTALL=1 ;;  # the product starts instead of the success page
        /s) [ "$SCENARIO" = fresh ] && SCENARIO=silent ;;
    esac
done

case "$SCENARIO" in
fresh)
    [ "$KEEP" -eq 1 ] || reset_product
    publish "$FIRST_RELEASE"
    step "First installation of $FIRST_RELEASE"
    run_installer fresh fresh "${OPTIONS[@]}"
    ;;
update)
    [ "$KEEP" -eq 1 ] || [ -n "$(installed_version)" ] || reset_product
    publish "$FIRST_RELEASE"
    if [ "$(installed_version)" != "$FIRST_RELEASE" ]; then
        [ -z "$(installed_version)" ] || reset_product
        step "First installation of $FIRST_RELEASE (before the update)"
        if [ "$VISIBLE" -eq 1 ]; then
            run_silent prepare
        else
            run_installer fresh fresh "${INSTALLER_OPTIONS[@]}"
        fi
        [ "$(installed_version)" = "$FIRST_RELEASE" ] || fail "release $FIRST_RELEASE was not installed"
    fi
    if [ -n "$LANGUAGE" ]; then
        say "recording $LANGUAGE as the installed product's language"
        run_wine reg add "HKLM\\$PRODUCT_KEY\\LanguagePacks" /v InitialLangID /t REG_DWORD /d "$LANGUAGE" /f
    fi
    publish "$UPDATE_RELEASE"
    step "Update from $FIRST_RELEASE to $UPDATE_RELEASE"
    : > "$OPENED_URLS"
    run_installer update update "${OPTIONS[@]}"
    ;;
silent)
    [ "$KEEP" -eq 1 ] || reset_product
    publish "$FIRST_RELEASE"
    step "Silent installation of $FIRST_RELEASE"
    if [ "$VISIBLE" -eq 1 ]; then
        say "a silent run shows no window; this command waits for its end"
    fi
    others=()
    for option in "${OPTIONS[@]}"; do
        [ "$option" = /s ] || others+=("$option")
    done
    run_silent silent "${others[@]}"
    ;;
esac

if [ "$VISIBLE" -eq 1 ] && driver wait-page product 2 >/dev/null; then
    say "Zunder Pro Video Editor 8 is running: close its window to end this command"
    driver wait-product-end >/dev/null || true
fi

# --- what was installed where ---------------------------------------------------------
step "Result"
version="$(installed_version)"
location="$(reg_value "$UNINSTALL_KEY" InstallLocation)"
install_dir="$(reg_value "HKLM\\$PRODUCT_KEY" InstallDir)"
exe="$(reg_value "HKLM\\$PRODUCT_KEY" exe)"
initial_lang="$(reg_value "HKLM\\$PRODUCT_KEY\\LanguagePacks" InitialLangID)"
app_lang="$(reg_value "HKCU\\$PRODUCT_KEY" ApplicationLanguage)"
runtime_version="$(reg_value "HKLM\\$RUNTIME_KEY" Version)"
runtime_command="$(reg_value "HKLM\\$RUNTIME_KEY" CommandLine)"
runtime_runs="$(reg_value "HKLM\\$RUNTIME_KEY" RunCount)"
exe_unix=""
if [ -n "$exe" ]; then
    exe_unix="$WINEPREFIX/drive_c/$(printf '%s' "${exe#?:\\}" | tr '\\' '/')"
fi

if [ -n "$version" ]; then
    say "Zunder Pro Video Editor 8 $version is installed (Windows Installer, product $PRODUCT_CODE)"
    say "  InstallLocation: $location"
else
    say "Zunder Pro Video Editor 8 is NOT installed"
fi
show_key() {  # show_key <key> [/s]: the key's values as "wine reg query" lists them
    local listing
    if listing="$(wine reg query "$@" </dev/null 2>/dev/null)"; then
        printf '%s\n' "$listing" | tr -d '\r' | sed '/^$/d; s/^/  /'
    else
        say "  $1: none"
    fi
}
say "Registry values written by the installer:"
show_key "HKLM\\$PRODUCT_KEY" /s
show_key "HKCU\\$PRODUCT_KEY"
show_key "HKCU\\SOFTWARE\\Kelmware\\ResourceLangID"
if [ -n "$runtime_version" ]; then
    say "Prerequisite Zunder Runtime 8 $runtime_version ran $runtime_runs time(s), last as: $runtime_command"
else
    say "Prerequisite Zunder Runtime 8: not installed"
fi
if [ -z "$exe" ]; then
    say "Program file: no \"exe\" value could be read"
elif [ -f "$exe_unix" ]; then
    say "Program file: $exe_unix"
else
    say "Program file: MISSING at $exe_unix"
fi
[ -n "$INSTALLER_EXIT" ] && say "Installer exit code: $INSTALLER_EXIT (docs/command-line.md)"
say "The installer's log: $RUN_LOG"
if [ -s "$OPENED_URLS" ]; then
    say "Web pages the installer opened: $(paste -sd' ' "$OPENED_URLS")"
else
    say "Web pages the installer opened: none"
fi
say "Server requests:"
sed 's/^/  /' "$LOGS/server.log"
if ls "$SHOTS"/*.png >/dev/null 2>&1; then
    say "Screenshots in $SHOTS:"
    ls "$SHOTS"/*.png | sed 's|.*/|  |'
fi

{
    echo "scenario=$SCENARIO"
    echo "version=$version"
    echo "install_location=$location"
    echo "install_dir=$install_dir"
    echo "exe=$exe"
    echo "exe_exists=$([ -n "$exe_unix" ] && [ -f "$exe_unix" ] && echo 1 || echo 0)"
    echo "initial_lang=$initial_lang"
    echo "application_language=$app_lang"
    echo "runtime_runs=$runtime_runs"
    echo "runtime_command=$runtime_command"
    echo "status_texts=$STATUS_TEXTS"
    echo "opened_urls=$( [ -s "$OPENED_URLS" ] && paste -sd' ' "$OPENED_URLS" || true)"
    echo "screenshots=$(ls "$SHOTS" 2>/dev/null | paste -sd' ' -)"
    echo "installer_exit=$INSTALLER_EXIT"
} > "$RESULT"
[ -n "$version" ] || exit 1
