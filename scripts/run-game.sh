#!/usr/bin/env bash
# Runs a game folder with the Tavrelle host.
#
#   scripts/run-game.sh HOST_BINARY [GAME_DIR]
#
# The host reads package.json and www/ from the folder that holds its executable,
# so this stages build/run/<game-name>/ with a copy of the host named `tavrelle`
# next to links to the game's files (and to an extension-manager library: the game's
# Keelbridge.so, else the sample built beside the host), then runs it. GAME_DIR
# defaults to examples/demo.
set -euo pipefail

usage() {
  echo "usage: $0 HOST_BINARY [GAME_DIR]" >&2
  exit 2
}

if [ "$#" -lt 1 ] || [ "$#" -gt 2 ] || [ -z "$1" ]; then
  usage
fi

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Relative paths are taken from the current folder first, then from the repository root.
resolve() {
  local path="$1"
  if [ -e "$path" ]; then
    realpath "$path"
  elif [ -e "$ROOT/$path" ]; then
    realpath "$ROOT/$path"
  else
    return 1
  fi
}

HOST="$(resolve "$1")" || { echo "error: host binary not found: $1" >&2; exit 1; }
if [ ! -f "$HOST" ] || [ ! -x "$HOST" ]; then
  echo "error: not an executable file: $HOST" >&2
  exit 1
fi

GAME_ARG="${2:-}"
[ -n "$GAME_ARG" ] || GAME_ARG="$ROOT/examples/demo"
GAME="$(resolve "$GAME_ARG")" || { echo "error: game folder not found: $GAME_ARG" >&2; exit 1; }
[ -d "$GAME" ] || { echo "error: not a folder: $GAME" >&2; exit 1; }
[ -f "$GAME/package.json" ] || { echo "error: no package.json in $GAME" >&2; exit 1; }

# Reads a string member (dotted path) of package.json; prints nothing when absent.
package_field() {
  if command -v python3 >/dev/null 2>&1; then
    python3 - "$GAME/package.json" "$1" <<'PY' 2>/dev/null || true
import json, sys
value = json.load(open(sys.argv[1], encoding="utf-8"))
for key in sys.argv[2].split("."):
    value = value.get(key) if isinstance(value, dict) else None
if isinstance(value, str):
    print(value)
PY
  fi
}

# Before anything is staged: without a display the game cannot be shown.
if [ -z "${DISPLAY:-}" ]; then
  echo "A display is needed to run the game: DISPLAY is not set." >&2
  echo "Start it from a desktop session, or on a virtual display (xvfb-run needs xvfb and xauth):" >&2
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO="sudo "
  echo "  ${SUDO}apt-get install -y xvfb xauth" >&2
  echo "  xvfb-run -a make run" >&2
  exit 1
fi

NAME="$(package_field name)"
[ -n "$NAME" ] || NAME="$(basename "$GAME")"
# Keep the run folder name to safe characters.
NAME="$(printf '%s' "$NAME" | tr -c 'A-Za-z0-9._-' '_')"
case "$NAME" in "" | . | ..) NAME="game" ;; esac

RUN_DIR="$ROOT/build/run/$NAME"
mkdir -p "$RUN_DIR"

# Replace what an earlier run staged.
rm -rf -- "$RUN_DIR/tavrelle" "$RUN_DIR/package.json" "$RUN_DIR/www" "$RUN_DIR/Keelbridge.so"
ln -f -- "$HOST" "$RUN_DIR/tavrelle" 2>/dev/null || cp -f -- "$HOST" "$RUN_DIR/tavrelle"
chmod +x "$RUN_DIR/tavrelle"
ln -s -- "$GAME/package.json" "$RUN_DIR/package.json"
if [ -d "$GAME/www" ]; then
  ln -s -- "$GAME/www" "$RUN_DIR/www"
else
  echo "warning: $GAME has no www/ folder" >&2
fi

# The extension-manager library: the game's own, else the sample built beside the host.
SAMPLE_LIBRARY="$(dirname "$HOST")/examples/keelbridge-sample/Keelbridge.so"
if [ -f "$GAME/Keelbridge.so" ]; then
  ln -s -- "$GAME/Keelbridge.so" "$RUN_DIR/Keelbridge.so"
elif [ -f "$SAMPLE_LIBRARY" ]; then
  ln -s -- "$SAMPLE_LIBRARY" "$RUN_DIR/Keelbridge.so"
fi

ASSETS="$(package_field bundle.assets-path)"
if [ -n "$ASSETS" ]; then
  case "$ASSETS" in
    /* | *..*) echo "warning: ignoring unsafe bundle.assets-path: $ASSETS" >&2 ;;
    *)
      if [ -e "$GAME/$ASSETS" ]; then
        mkdir -p "$RUN_DIR/$(dirname "$ASSETS")"
        rm -rf -- "${RUN_DIR:?}/$ASSETS"
        ln -s -- "$GAME/$ASSETS" "$RUN_DIR/$ASSETS"
      else
        echo "warning: bundle.assets-path names a missing file: $GAME/$ASSETS" >&2
      fi
      ;;
  esac
fi

echo "Running $GAME from $RUN_DIR"
exec "$RUN_DIR/tavrelle"
