#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan and UBSan) into
# build-fuzz/ and runs them.
#   scripts/fuzz.sh                       every target for its fixed number of
#                                         runs, as the test command does
#   scripts/fuzz.sh --time S [TARGET...]  every (or each named) target for S
#                                         seconds, one after the other; prints
#                                         executions and findings per target
#   scripts/fuzz.sh --seeds               writes the seeds only the program can
#                                         make into fuzz/corpus (after a format
#                                         change)
# Inputs found in long runs stay in build-fuzz/corpus; a crashing input is
# written to build-fuzz/findings/ and the run goes on with the next target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build-fuzz

cmake -S "$root/fuzz" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$dir" -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1
# The font library keeps what it allocates once for the whole process.
export LSAN_OPTIONS=suppressions=$root/fuzz/lsan.supp

case "${1:-}" in
  "")
    (cd "$dir" && ctest --output-on-failure -j"$(nproc)" -L fuzz)
    ;;
  --seeds)
    ASAN_OPTIONS=detect_leaks=0 "$dir/make_fuzz_seeds" "$root/fuzz/corpus"
    ;;
  --time)
    seconds=${2:?--time needs a number of seconds}
    shift 2
    targets=("$@")
    if [ ${#targets[@]} -eq 0 ]; then
      targets=($(cd "$dir" && ls fuzz_* | sort))
    fi
    mkdir -p "$dir/findings" "$dir/logs"
    failed=0
    printf '%-24s %12s %10s %8s %s\n' target executions per-second corpus result
    for t in "${targets[@]}"; do
      mkdir -p "$dir/corpus/$t"
      log=$dir/logs/$t.log
      result=clean
      if ! (cd "$dir" && nice ./"$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
              -print_final_stats=1 -artifact_prefix="$dir/findings/$t-" \
              "$dir/corpus/$t" "$root/fuzz/corpus/$t") >"$log" 2>&1; then
        result="FAULT (see $log)"
        failed=1
      fi
      runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | awk '{print $2}')
      rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | tail -1 | awk '{print $2}')
      units=$(ls "$dir/corpus/$t" | wc -l)
      printf '%-24s %12s %10s %8s %s\n' "$t" "${runs:-?}" "${rate:-?}" "$units" "$result"
    done
    exit $failed
    ;;
  *)
    echo "usage: scripts/fuzz.sh [--time SECONDS [TARGET...] | --seeds]" >&2
    exit 2
    ;;
esac
