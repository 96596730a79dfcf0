#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets with clang and runs each for the given number of seconds (default 60), starting
# from the seed corpus in fuzz/corpus/<target>. New inputs go to fuzz-work/ (not kept in the repository);
# crashes and invariant failures are written there as crash-* files and fail the run.
#   fuzz/run.sh [seconds per target] [target…]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(history filenamer image shortcut)

CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIM_FUZZ=ON \
  -DPIM_TESTS=OFF -DPIM_BENCH=OFF >/dev/null
cmake --build "$root/build-fuzz" -j "$(nproc)" >/dev/null

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:allocator_may_return_null=1}
status=0
for target in "${targets[@]}"; do
  work="$root/fuzz-work/$target"
  mkdir -p "$work/corpus"
  echo "== fuzz_$target for ${seconds}s"
  if ! "$root/build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=4096 \
      -timeout=20 -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$root/fuzz/corpus/$target" \
      >"$work/log.txt" 2>&1; then
    echo "fuzz_$target found a problem:"
    tail -n 40 "$work/log.txt"
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb|cov:" "$work/log.txt" | tail -n 3
  fi
done
exit $status
