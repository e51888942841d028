#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for a bounded time, starting from the seed corpus in fuzz/corpus/<target>.
# New inputs go to a scratch corpus in the build directory, never into the repository.
#   fuzz/run.sh [SECONDS_PER_TARGET]     (default 15; FUZZ_BUILD_DIR overrides build-fuzz/)
# Exits non-zero when a target crashes; the crashing input is left in the build directory
# and belongs in a regular test (tests/fuzzfound/).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:-15}
targets=(fuzz_service_output fuzz_status fuzz_params fuzz_database_info fuzz_failure_text)

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc)"

# Text conversion follows the locale, as in the program.
export LC_ALL=C.UTF-8
failed=0
for target in "${targets[@]}"; do
  scratch=$build/corpus/$target
  mkdir -p "$scratch" "$build/crashes/$target"
  echo "fuzz: $target for ${seconds}s"
  if ! "$build/$target" "$scratch" "$here/corpus/$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="$build/crashes/$target/" \
        >"$build/$target.log" 2>&1; then
    echo "fuzz: $target FAILED; input and log in $build/crashes/$target/ and $build/$target.log"
    tail -n 40 "$build/$target.log"
    failed=1
  else
    grep -E '^stat::number_of_executed_units' "$build/$target.log" | sed "s/^/fuzz: $target /" || true
  fi
done
exit $failed
