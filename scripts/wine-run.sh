#!/bin/sh
# Runs a Windows program under Wine, quietly, in a Wine prefix of its own (created on first use).
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
# CMake uses it as the cross build's CMAKE_CROSSCOMPILING_EMULATOR, so CTest runs Windows tests through it.
# Environment: CRUMBLEFORGE_WINEPREFIX (default: a folder per user under $TMPDIR or /tmp), WINE (the wine binary).
set -eu

if [ -z "${WINE:-}" ]; then
    for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
        if [ -n "$candidate" ] && [ -x "$candidate" ]; then
            WINE=$candidate
            break
        fi
    done
fi
if [ -z "${WINE:-}" ]; then
    echo "wine-run.sh: no Wine found (Debian: apt-get install wine64)" >&2
    exit 127
fi

WINEPREFIX=${CRUMBLEFORGE_WINEPREFIX:-${TMPDIR:-/tmp}/crumbleforge-wine-$(id -u)}
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# Several tests may start at once: only one of them sets the prefix up.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            "$WINE" wineboot --init >/dev/null 2>&1 || true
            wineserver=$(dirname "$WINE")/wineserver
            if [ -x "$wineserver" ]; then "$wineserver" --wait || true; fi
        fi
    ) 9>"$WINEPREFIX.lock"
fi

exec "$WINE" "$@"
