#!/usr/bin/env bash
# bench/run.sh BUILD_DIR [ARGS...]: runs every benchmark executable in BUILD_DIR/bench/
# (bench_*), passing ARGS to each, then prints the summary of the figures they measured
# side by side (host against nginx and against the bare browser). Exits non-zero when
# one of them fails.
set -euo pipefail

build_dir=${1:?usage: bench/run.sh BUILD_DIR [benchmark arguments...]}
shift
shopt -s nullglob
benches=("$build_dir"/bench/bench_*)
if [ ${#benches[@]} -eq 0 ]; then
  echo "no benchmark executables in $build_dir/bench" >&2
  exit 1
fi

summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
export TAVRELLE_BENCH_SUMMARY=$summary

failed=0
for bench in "${benches[@]}"; do
  [ -f "$bench" ] && [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  if ! "$bench" "$@"; then
    echo "$(basename "$bench"): FAILED" >&2
    failed=1
  fi
done

host=$build_dir/tavrelle
if [ -f "$host" ]; then
  stripped=$(mktemp)
  strip -o "$stripped" "$host"
  printf 'stripped host binary\tMB\t%s\t-\t-\t< 5\n' \
    "$(awk -v b="$(stat -c %s "$stripped")" 'BEGIN { printf "%.2f", b / 1048576 }')" >>"$summary"
  rm -f "$stripped"
fi

echo
echo "== summary (one run; reference: nginx for bodies, the bare browser for start-up)"
{
  printf 'figure\tunit\thost\treference\tratio\ttarget\n'
  cat "$summary"
} | awk -F '\t' '
  { for (i = 1; i <= NF; i++) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) } }
  END { for (r = 1; r <= NR; r++) {
          line = ""; for (i = 1; i <= 6; i++) line = line sprintf("%-" width[i] + 2 "s", cell[r, i])
          print line } }'
exit "$failed"
