#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# first the whole suite (with 20 kill trials), then the engine and
# file-reader tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then every fuzz target for a fixed number of
# runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen

"$root/scripts/build.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure -j"$(nproc)")

# Sanitizer build of the core libraries and their tests only.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
BUILD_TYPE=Debug "$root/scripts/build.sh" "$root/build-sanitize" -DHALVENOR_SANITIZE=ON
(cd "$root/build-sanitize" && ctest --output-on-failure -j"$(nproc)" -L sanitize)

# Fuzz targets of every file reader (clang and libFuzzer), a few seconds each.
"$root/scripts/fuzz.sh"
