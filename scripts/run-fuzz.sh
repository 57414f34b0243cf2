#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang in build-fuzz/ and runs
# each for a short, fixed time (MOLVANE_FUZZ_SECONDS, 15 by default) starting
# from its seeds. New inputs go to build-fuzz/corpus/, never into the source
# tree; an input that crashes is kept in build-fuzz/artifacts/ and the script
# fails. Turn such an input into a regression: copy it to
# tests/fuzz/regressions/<target>/ and mend the fault.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${MOLVANE_FUZZ_SECONDS:-15}
jobs=$(nproc 2>/dev/null || echo 2)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMOLVANE_FUZZ=ON -DMOLVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzz_all

mkdir -p build-fuzz/artifacts
failed=0
for source in tests/fuzz/fuzz_*.cpp; do
  name=$(basename "$source" .cpp)
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  dirs=("$corpus" "tests/fuzz/seeds/$name")
  [ -d "tests/fuzz/regressions/$name" ] && dirs+=("tests/fuzz/regressions/$name")
  echo "== $name (${seconds} s)"
  if ! ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen \
      "build-fuzz/tests/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="build-fuzz/artifacts/$name-" -print_final_stats=0 "${dirs[@]}" \
      >"build-fuzz/$name.log" 2>&1; then
    echo "$name FAILED; the input is in build-fuzz/artifacts/:"
    tail -n 40 "build-fuzz/$name.log"
    failed=1
  else
    grep -E '^#[0-9]+.*DONE' "build-fuzz/$name.log" | tail -n 1 || true
  fi
done
exit "$failed"
