#!/usr/bin/env bash
# Runs a Windows test EXE under Wine in a prefix of its own ("scenario").
#
#   wine-scenario.sh --prefix DIR [--ensure-only] [--graphics null|x11] [--heap-check]
#                    [--run-dir DIR] [--file PATH]... [--reg "key|value|data[|REG_type]"]...
#                    [--regsvr32 DLL]... -- EXE [ARGS...]
#
# 1. Creates the prefix DIR on first use (wineboot -i, then the graphics driver: null by
#    default, so no X server is needed; x11 for a prefix that shows real windows on $DISPLAY).
#    A prefix keeps the driver it was made with: asking for another one is an error.
#    Creation holds an flock on DIR.lock, so tests of one scenario that start together create
#    it once; a prefix is marked complete by DIR/.vd-ready, and a half-made one (no marker) is
#    removed and made again. A boot that fails is tried twice more in a fresh folder.
# 2. Starts the prefix's wineserver detached from our pipes (see below).
# 3. With --run-dir: empties the run folder, copies EXE and every --file (files or folders) into
#    it and runs the copy from there, so the files sit beside the EXE. Without it, EXE runs in
#    place from the current folder.
# 4. Sets each --reg value with `wine reg add` (empty value name = the key's default value),
#    registers each --regsvr32 DLL (copied into the run folder first) with `wine regsvr32 /s`.
# 5. exec wine EXE ARGS...; the exit status is the EXE's.
#    With --heap-check the EXE runs under Wine's heap checking (WINEDEBUG=warn+heap: freed
#    blocks are filled and checked, block tails guarded), its error output is passed on, and
#    a heap message in it fails the run (exit status 3) even when the EXE itself passed: a
#    write to freed memory shows up where it does not crash.
set -euo pipefail

die() { echo "wine-scenario.sh: $*" >&2; exit 2; }

prefix=""
run_dir=""
ensure_only=0
heap_check=0
graphics=null
files=()
regs=()
dlls=()
while (($#)); do
    case "$1" in
        --prefix) prefix="${2:?}"; shift 2 ;;
        --run-dir) run_dir="${2:?}"; shift 2 ;;
        --file) files+=("${2:?}"); shift 2 ;;
        --reg) regs+=("${2:?}"); shift 2 ;;
        --regsvr32) dlls+=("${2:?}"); shift 2 ;;
        --ensure-only) ensure_only=1; shift ;;
        --heap-check) heap_check=1; shift ;;
        --graphics) graphics="${2:?}"; shift 2 ;;
        --) shift; break ;;
        *) die "unknown argument '$1'" ;;
    esac
done
[[ -n "$prefix" ]] || die "--prefix is required"
[[ "$graphics" == null || "$graphics" == x11 ]] || die "--graphics must be null or x11, not '$graphics'"
if ((!ensure_only)); then
    (($#)) || die "no EXE given after --"
fi

export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"

# Unix path -> Windows path on drive Z: (Z: maps to / in every prefix).
winpath() {
    local p
    p="$(realpath -m -- "$1")"
    printf 'Z:%s' "${p//\//\\}"
}

# One try at making the prefix from nothing; its output goes to $log.
create_prefix() {
    rm -rf "$prefix"
    echo "wine-scenario.sh: creating Wine prefix $prefix" >&2
    (
        # No display for the boot; mono/gecko are not wanted (no installer dialogs).
        # (set -e does not apply inside an if condition: chain with &&.)
        env -u DISPLAY -u WAYLAND_DISPLAY WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i &&
            wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$graphics" /f &&
            wineserver -w  # let the server exit by itself so the registry is on disk
    ) >"$log" 2>&1
}

ensure_prefix() {
    [[ -f "$prefix/.vd-ready" ]] && return 0
    mkdir -p "$(dirname "$prefix")"
    local lock="$prefix.lock" log="$prefix.create.log"
    exec 9>"$lock"
    flock -w 600 9 || die "timed out waiting for $lock"
    if [[ ! -f "$prefix/.vd-ready" ]]; then
        # Wine now and then fails to boot a new prefix ("could not load kernel32.dll" a
        # fraction of a second in, seen once in CI); a fresh try in a fresh folder
        # boots it, so creation gets three tries before the test is failed.
        local try
        for try in 1 2 3; do
            create_prefix && break
            echo "wine-scenario.sh: creating Wine prefix $prefix failed (try $try of 3):" >&2
            cat "$log" >&2
            WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
            if ((try == 3)); then
                flock -u 9
                die "could not create Wine prefix $prefix (log: $log)"
            fi
            sleep "$try"
        done
        echo "$graphics" >"$prefix/.vd-ready"
    fi
    flock -u 9
    exec 9>&-
}

ensure_prefix
made_with="$(cat "$prefix/.vd-ready")"
[[ "${made_with:-null}" == "$graphics" ]] ||
    die "prefix $prefix uses the ${made_with:-null} graphics driver, not $graphics (remove it to make it again)"
((ensure_only)) && exit 0

# Start the prefix's wineserver and its system processes (services.exe, explorer.exe, ...)
# with no pipes attached. Otherwise the first Wine process would start them holding its
# stdout, and whoever reads that pipe (ctest, $(...)) would wait for the server to exit
# (~3 s a time). Later Wine processes of this run find them running.
if ! wine reg query 'HKCU\Software\Wine\Drivers' </dev/null >/dev/null 2>&1; then
    die "Wine does not start in prefix $prefix"
fi

exe="$1"
shift
[[ -f "$exe" ]] || die "no such EXE: $exe"

if [[ -n "$run_dir" ]]; then
    rm -rf "$run_dir"
    mkdir -p "$run_dir"
    cp -- "$exe" "$run_dir/"
    exe="$run_dir/$(basename -- "$exe")"
    for f in "${files[@]}"; do
        [[ -e "$f" ]] || die "FILES entry does not exist: $f"
        cp -R -- "$f" "$run_dir/"
    done
    cd "$run_dir"
fi

for r in "${regs[@]}"; do
    IFS='|' read -r key value data type <<<"$r"
    [[ -n "$key" ]] || die "bad --reg '$r'"
    args=(reg add "$key")
    if [[ -n "$value" ]]; then args+=(/v "$value"); else args+=(/ve); fi
    args+=(/t "${type:-REG_SZ}" /d "$data" /f)
    if ! out="$(wine "${args[@]}" 2>&1)"; then
        echo "$out" >&2
        die "wine ${args[*]} failed"
    fi
done

for d in "${dlls[@]}"; do
    [[ -f "$d" ]] || die "REGSVR32 entry does not exist: $d"
    if [[ -n "$run_dir" ]]; then
        [[ -f "$run_dir/$(basename -- "$d")" ]] || cp -- "$d" "$run_dir/"
        d="$run_dir/$(basename -- "$d")"
    fi
    if ! out="$(wine regsvr32 /s "$(winpath "$d")" 2>&1)"; then
        echo "$out" >&2
        die "wine regsvr32 /s $d failed"
    fi
done

if ((!heap_check)); then
    exec wine "$exe" "$@"
fi

heap_log="$(mktemp)"
trap 'rm -f "$heap_log"' EXIT
set +e
WINEDEBUG="warn+heap" wine "$exe" "$@" 2> >(tee "$heap_log" >&2)
status=$?
set -e
wait  # the tee of the error output
if grep -Eq '(err|warn):heap:' "$heap_log"; then
    echo "wine-scenario.sh: Wine's heap checking reported errors:" >&2
    grep -E '(err|warn):heap:' "$heap_log" | head -n 20 >&2
    exit 3
fi
exit "$status"
