#!/usr/bin/env bash
# Runs a Windows EXE under Wine's X11 driver on a virtual X server of its own, with a
# compositing manager (so layered windows are blended with what lies behind them), and takes
# captures of the screen when the EXE asks for them.
#
#   xvfb-session.sh --prefix DIR --captures DIR [--size WxH] [--skip-missing]
#                   [--regsvr32 DLL]... -- EXE [ARGS...]
#
# 1. Starts Xvfb on a free display (-displayfd) and xcompmgr on it.
# 2. Runs EXE through wine-scenario.sh in the Wine prefix DIR, made with the X11 graphics
#    driver (never the null driver: this prefix must show real windows), with DISPLAY set and
#    VD_CAPTURE_DIR naming the captures folder (as a Windows path on drive Z:); each --regsvr32
#    DLL (a COM server, such as an ActiveX control) is registered in that prefix first.
# 3. While the EXE runs, each NAME.request it writes into the captures folder is answered with
#    NAME.xwd, a copy of the screen as displayed, then NAME.done. The copy is the X server's
#    frame buffer (Xvfb keeps it as an xwd file in its -fbdir), which holds what the
#    compositing manager drew; `xwd -root` would not do: with windows redirected for
#    compositing, the server answers an image request on the root window by painting the
#    windows' own contents over it, unblended.
# 4. Stops the EXE's wineserver, xcompmgr and Xvfb; the exit status is the EXE's.
#
# A missing program (Xvfb, xcompmgr) is an error naming it and its package; with
# --skip-missing the EXE runs anyway, without a display, with VD_SCREEN_MISSING saying what is
# missing (a test then skips its screen checks).
set -euo pipefail

die() { echo "xvfb-session.sh: $*" >&2; exit 2; }

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
prefix=""
captures=""
size="1024x768"
skip_missing=0
servers=()
while (($#)); do
    case "$1" in
        --prefix) prefix="${2:?}"; shift 2 ;;
        --captures) captures="${2:?}"; shift 2 ;;
        --size) size="${2:?}"; shift 2 ;;
        --skip-missing) skip_missing=1; shift ;;
        --regsvr32) servers+=(--regsvr32 "${2:?}"); shift 2 ;;
        --) shift; break ;;
        *) die "unknown argument '$1'" ;;
    esac
done
[[ -n "$prefix" && -n "$captures" ]] || die "--prefix and --captures are required"
(($#)) || die "no EXE given after --"

missing=()
for tool in Xvfb:xvfb xcompmgr:xcompmgr; do
    command -v "${tool%%:*}" >/dev/null || missing+=("${tool%%:*} (package ${tool##*:})")
done
if ((${#missing[@]})); then
    msg="missing for the virtual screen: ${missing[*]}"
    if ((skip_missing)); then
        echo "xvfb-session.sh: $msg; running without a screen" >&2
        export VD_SCREEN_MISSING="$msg"
        exec bash "$here/wine-scenario.sh" --prefix "$prefix" --graphics x11 "${servers[@]}" -- "$@"
    fi
    die "$msg"
fi

mkdir -p "$captures"
rm -f "$captures"/*.request "$captures"/*.done "$captures"/*.xwd
fbdir="$(mktemp -d)"

xvfb_pid="" comp_pid="" exe_pid=""
cleanup() {
    if [[ -n "$exe_pid" ]] && kill -0 "$exe_pid" 2>/dev/null; then kill "$exe_pid" 2>/dev/null || true; fi
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    [[ -n "$comp_pid" ]] && kill "$comp_pid" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$fbdir"
}
trap cleanup EXIT

# Xvfb writes the display number it took to the pipe once it accepts clients.
fifo="$(mktemp -u)"
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 "${size}x24" -fbdir "$fbdir" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
display=""
read -r -t 20 display <"$fifo" || true
rm -f "$fifo"
[[ -n "$display" ]] || die "Xvfb did not start"
export DISPLAY=":$display"

xcompmgr >/dev/null 2>&1 &
comp_pid=$!
sleep 0.5
kill -0 "$comp_pid" 2>/dev/null || die "xcompmgr did not start on $DISPLAY"

p="$(realpath -m -- "$captures")"
export VD_CAPTURE_DIR="Z:${p//\//\\}"

bash "$here/wine-scenario.sh" --prefix "$prefix" --graphics x11 "${servers[@]}" -- "$@" &
exe_pid=$!
while kill -0 "$exe_pid" 2>/dev/null; do
    for request in "$captures"/*.request; do
        [[ -e "$request" ]] || continue
        name="${request%.request}"
        rm -f "$request"
        cp "$fbdir/Xvfb_screen0" "$name.xwd.part" && mv "$name.xwd.part" "$name.xwd" ||
            echo "xvfb-session.sh: no frame buffer to copy for $name" >&2
        touch "$name.done"
    done
    sleep 0.05
done
status=0
wait "$exe_pid" || status=$?
exe_pid=""
exit "$status"
