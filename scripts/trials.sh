#!/usr/bin/env bash
# Builds the program and runs the long kill trials: at least 500 children
# killed at each of their file writes, fsyncs and renames and at random
# moments, every table checked afterwards; and the backups and restores of
# several files killed at every counted call. Extra arguments go to the
# driver (--trials N for more, --keep to keep every trial's table).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" "$root/build"
nice "$root/build/tests/reliability/copy_kill_trials"
exec nice "$root/build/tests/reliability/kill_trials" --long "$@"
