# Sourced by the harness scripts: the Wine prefix and display of one build folder.
# Usage: KELM_BUILD_DIR=<build folder> . wine-env.sh
: "${KELM_BUILD_DIR:?KELM_BUILD_DIR must name the build folder}"
export KELM_HARNESS_DIR="$KELM_BUILD_DIR/harness"
export WINEPREFIX="$KELM_BUILD_DIR/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko download prompts: the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -f "$KELM_HARNESS_DIR/display" ]; then
    export DISPLAY="$(cat "$KELM_HARNESS_DIR/display")"
fi

# Now and then Wine's Unix loader fails its own teardown after the program has
# ended ("Inconsistency detected by ld.so: dl-fini.c: ... _dl_fini: Assertion ...",
# exit code 127): the program did its work, only its exit status is lost.
# wine_teardown_failed <exit code> <file with the program's stderr>
wine_teardown_failed() {
    [ "$1" -eq 127 ] && grep -q 'Inconsistency detected by ld.so: dl-fini.c' "$2" 2>/dev/null
}
