#!/usr/bin/env bash
# fuzz/run.sh BUILD_DIR RUNS: builds every fuzz/fuzz_*.cpp with clang (libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer) and runs each for RUNS inputs, starting
# from its seeds in fuzz/corpus/<target>/. Prints one line per target and exits
# non-zero when a target fails to build or finds a crash.
#
# A target names the project sources it needs in one comment line, paths from the
# repository root:
#   // fuzz-sources: src/app/AppConfig.cpp src/common/JsonReaders.cpp
# and, when it needs them, the libraries to link in another:
#   // fuzz-libs: -lcrypto
set -euo pipefail

usage="usage: fuzz/run.sh BUILD_DIR RUNS"
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:?$usage}
runs=${2:?$usage}
mkdir -p "$build_dir"
build_dir=$(cd "$build_dir" && pwd)

compile() {  # target.cpp output
  local target=$1 output=$2 sources=() source
  for source in $(sed -n 's|^// fuzz-sources:||p' "$target" | head -n 1); do
    sources+=("$root/$source")
  done
  local libs
  libs=$(sed -n 's|^// fuzz-libs:||p' "$target" | head -n 1)
  # shellcheck disable=SC2086  # the libraries are separate words
  clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=undefined -I"$root/src" "$target" "${sources[@]}" -o "$output" $libs
}

failed=0
for target in "$root"/fuzz/fuzz_*.cpp; do
  name=$(basename "$target" .cpp)
  log="$build_dir/$name.log"
  if ! compile "$target" "$build_dir/$name" >"$log" 2>&1; then
    echo "$name: build failed (see $log)"
    failed=1
    continue
  fi
  # New inputs go to the build folder; the seeds in the repository stay untouched.
  corpora=("$build_dir/corpus/$name")
  mkdir -p "${corpora[0]}"
  if [ -d "$root/fuzz/corpus/$name" ]; then
    corpora+=("$root/fuzz/corpus/$name")
  fi
  if "$build_dir/$name" -runs="$runs" -artifact_prefix="$build_dir/$name-" "${corpora[@]}" \
      >>"$log" 2>&1; then
    echo "$name: ok, $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log" | tail -n 1)"
  else
    echo "$name: FAILED (see $log and $build_dir/$name-*)"
    failed=1
  fi
done
exit "$failed"
