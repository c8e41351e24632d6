#!/usr/bin/env bash
# Fails when the layering of the tree is broken:
#  - outside src/platform and tools/, no file includes an X11 or POSIX header; of the
#    tests only the harness (tests/support), the end-to-end tests (tests/e2e), the tests
#    of the platform implementations (tests/platform) and the benchmarks (bench) may;
#  - outside src/platform, only the entry point (src/app/main.cpp) names the Linux or
#    Chromium implementations; the core talks to the ports in src/platform/*.h.
#
#   scripts/check-layering.sh        (from the repository's root)
set -euo pipefail
cd "$(dirname "$0")/.."

platform_headers='^[[:space:]]*#[[:space:]]*include[[:space:]]*<(X11/|unistd\.h|fcntl\.h|sys/|dlfcn\.h|poll\.h|signal\.h|spawn\.h|pthread\.h|dirent\.h|netinet/|arpa/|termios\.h|pwd\.h|grp\.h|semaphore\.h|linux/|elf\.h|link\.h)'
implementation_headers='^[[:space:]]*#[[:space:]]*include[[:space:]]*"platform/(linux|chromium)/'

status=0
report() {
  echo "layering: $1" >&2
  status=1
}

while IFS= read -r file; do
  case "$file" in
    src/platform/* | tools/* | tests/support/* | tests/e2e/* | tests/platform/* | bench/*) ;;
    *)
      if grep -En "$platform_headers" "$file" >/dev/null; then
        report "$file includes a platform header: $(grep -Enm1 "$platform_headers" "$file")"
      fi
      ;;
  esac
  case "$file" in
    src/platform/* | src/app/main.cpp) ;;
    src/*)
      if grep -En "$implementation_headers" "$file" >/dev/null; then
        report "$file names a platform implementation: $(grep -Enm1 "$implementation_headers" "$file")"
      fi
      ;;
  esac
done < <(git ls-files '*.cpp' '*.h' '*.hpp' '*.c')

exit $status
