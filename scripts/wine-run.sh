#!/bin/sh
# Runs a Windows program under Wine, quietly, in a Wine prefix of its own (created on first use).
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
#   scripts/wine-run.sh --available        exit 0 when Wine is installed, 127 (with a message) when not
#   scripts/wine-run.sh --remove-prefix    stop the prefix's Wine processes and delete the prefix
# CMake uses it as the cross build's CMAKE_CROSSCOMPILING_EMULATOR, so CTest runs Windows tests through it.
# Environment: CRUMBLEFORGE_WINEPREFIX (default: a folder per user under $TMPDIR or /tmp), WINE (the wine binary).
# Programs started at the same time share the prefix (and its wineserver); the first one sets it up while the
# others wait. A throwaway prefix for one test run: point CRUMBLEFORGE_WINEPREFIX at a fresh temporary
# folder, and call --remove-prefix when done (scripts/test.sh does).
set -eu

if [ -z "${WINE:-}" ]; then
    for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
        if [ -n "$candidate" ] && [ -x "$candidate" ]; then
            WINE=$candidate
            break
        fi
    done
fi
if [ -z "${WINE:-}" ] || ! command -v "$WINE" >/dev/null 2>&1; then
    echo "wine-run.sh: no Wine found${WINE:+ at $WINE} (Debian: apt-get install wine64)" >&2
    exit 127
fi

WINEPREFIX=${CRUMBLEFORGE_WINEPREFIX:-${TMPDIR:-/tmp}/crumbleforge-wine-$(id -u)}
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
ready=$WINEPREFIX/.crumbleforge-ready

wineserver=$(dirname "$WINE")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)

case "${1:-}" in
--available)
    exit 0
    ;;
--remove-prefix)
    [ -d "$WINEPREFIX" ] || exit 0
    # Only ever a folder this script made or Wine filled: a mistyped variable must not delete anything else.
    if [ ! -f "$ready" ] && [ ! -f "$WINEPREFIX/system.reg" ] && [ -n "$(ls -A "$WINEPREFIX")" ] &&
        [ "$(ls -A "$WINEPREFIX")" != ".crumbleforge-setup.lock" ]; then
        echo "wine-run.sh: $WINEPREFIX does not look like a Wine prefix; not removing it" >&2
        exit 1
    fi
    if [ -n "$wineserver" ]; then "$wineserver" -k >/dev/null 2>&1 || true; fi
    rm -rf "$WINEPREFIX"
    exit 0
    ;;
esac

# The first program sets the prefix up (about 10 s) under a lock; the marker is written only once Wine has
# finished, so nobody runs in a half-made prefix. Wine's own chatter while it sets up (a line about
# rundll32.exe, for one) is dropped.
if [ ! -f "$ready" ]; then
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$ready" ]; then
            if "$WINE" wineboot --init >/dev/null 2>&1; then
                if [ -n "$wineserver" ]; then "$wineserver" --wait || true; fi
                : >"$ready"
            else
                echo "wine-run.sh: setting up the Wine prefix $WINEPREFIX failed" >&2
            fi
        fi
    ) 9>"$WINEPREFIX/.crumbleforge-setup.lock"
fi

exec "$WINE" "$@"
