#!/bin/bash
# The README's run command end to end, answered automatically under Xvfb, in a
# Wine prefix of its own: a first installation through the wizard, the update to
# the newer release without the settings page, and a silent installation. Checks
# what each run reports (version, registry values, prerequisite, home page,
# screenshots). Exit code 77: skipped, the installer lacks parts.
# A fourth run repeats the update with German recorded as the product's language.
# Usage: end_to_end.sh <build folder> <state folder>
set -uo pipefail
BUILD="$1"
STATE="$2"
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"

missing=()
for part in config transfer engine skin wizard; do
    [ -f "$BUILD/$part/libkelm_$part.a" ] || missing+=("$part")
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "SKIPPED: the installer of this build lacks ${missing[*]}; the demo cannot install anything yet"
    exit 77
fi

failures=0
check() {  # check <description> <command...>
    if "${@:2}"; then
        echo "ok: $1"
    else
        echo "NOT OK: $1"
        failures=$((failures + 1))
    fi
}
value() { sed -n "s/^$1=//p" "$STATE/result.txt"; }
has_shot() { value screenshots | tr ' ' '\n' | grep -qx "$1.png"; }
lacks_shot() { ! has_shot "$1"; }
equals() { [ "$(value "$1")" = "$2" ]; }
contains() { value "$1" | grep -q -- "$2"; }
is_empty() { [ -z "$(value "$1")" ]; }

run() {  # run <stage> <run-demo options...>
    echo "=== $1"
    if ! "$ROOT/demo/run-demo.sh" --build "$BUILD" --state "$STATE" --automatic "${@:2}"; then
        echo "NOT OK: the $1 run failed"
        failures=$((failures + 1))
    fi
    mkdir -p "$STATE/screenshots-$1" "$STATE/logs-$1"
    cp "$STATE"/screenshots/*.png "$STATE/screenshots-$1/" 2>/dev/null || true
    cp "$STATE"/logs/* "$STATE/logs-$1/" 2>/dev/null || true
    [ -f "$STATE/result.txt" ] || : > "$STATE/result.txt"
    cp "$STATE/result.txt" "$STATE/result-$1.txt"
}

run fresh
check "first installation brings 8.0.1.0" equals version 8.0.1.0
check "the installer ends with exit code 0" equals installer_exit 0
check "the program file is where the registry says" equals exe_exists 1
check "InstallDir is recorded" contains install_dir 'Kelmware'
check "the language is recorded" equals application_language 2052
check "the prerequisite ran once, quietly" equals runtime_runs 1
check "the prerequisite got its command line" contains runtime_command '/quiet /norestart'
check "the home page was opened" contains opened_urls '/zunder/welcome.html'
for page in fresh-1-settings fresh-2-status fresh-3-progress fresh-4-success fresh-5-product; do
    check "screenshot $page" has_shot "$page"
done

run update --update
check "the update brings 8.1.0.0" equals version 8.1.0.0
check "the update ends with exit code 0" equals installer_exit 0
check "the program file is still there" equals exe_exists 1
check "no settings page during the update" lacks_shot update-1-settings
check "no home page after an update" is_empty opened_urls
for page in update-2-status update-4-success update-5-product; do
    check "screenshot $page" has_shot "$page"
done

run german --update --lang 1031
check "the update in German brings 8.1.0.0" equals version 8.1.0.0
# The texts are read once progress shows; a quick update may already be done.
check "the status page speaks German" contains status_texts '^\(Wird \|Fertig\.\)'

run silent --silent
check "the silent run installs 8.0.1.0" equals version 8.0.1.0
check "the silent run ends with exit code 0" equals installer_exit 0
check "the silent run leaves its log" test -s "$STATE/logs/run.log"
check "the silent run's program file is there" equals exe_exists 1

echo "screenshots: $STATE/screenshots-{fresh,update,german,silent}, logs: $STATE/logs-<stage>"
[ "$failures" -eq 0 ]
