#!/usr/bin/env bash
# Runs one test command for ctest and keeps what ./run needs when the test writes no report:
# its output (also passed on to ctest) and, as the log's last line, "exit status N".
#   test-log.sh LOG -- COMMAND [ARGS...]
set -uo pipefail
log="${1:?usage: test-log.sh LOG -- COMMAND [ARGS...]}"
shift
[[ "${1:-}" == "--" ]] && shift
mkdir -p "$(dirname "$log")"
# Output goes to the file first (no pipe a detached wineserver could hold open), then to ctest.
"$@" >"$log" 2>&1 </dev/null
status=$?
cat "$log"
echo "exit status $status" >>"$log"
exit "$status"
