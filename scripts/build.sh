#!/usr/bin/env bash
# Configures and builds one build tree. Usage: scripts/build.sh DIR [cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
# Relative paths in the cache keys, so a fresh clone elsewhere (CI) reuses
# what an earlier build compiled.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
else
  cmake "$dir" "$@" >/dev/null
fi
cmake --build "$dir" -- -j"$(nproc)"
