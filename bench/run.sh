#!/usr/bin/env bash
# bench/run.sh BUILD_DIR [ARGS...]: runs every benchmark executable in BUILD_DIR/bench/
# (bench_*), passing ARGS to each. Exits non-zero when one of them fails.
set -euo pipefail

build_dir=${1:?usage: bench/run.sh BUILD_DIR [benchmark arguments...]}
shift
shopt -s nullglob
benches=("$build_dir"/bench/bench_*)
if [ ${#benches[@]} -eq 0 ]; then
  echo "no benchmark executables in $build_dir/bench" >&2
  exit 1
fi

failed=0
for bench in "${benches[@]}"; do
  [ -f "$bench" ] && [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  if ! "$bench" "$@"; then
    echo "$(basename "$bench"): FAILED" >&2
    failed=1
  fi
done
exit "$failed"
