#!/usr/bin/env bash
# Whole-process timings of testing and extracting one large archive: vespa-console (release
# build) against unzip and 7-Zip on the same archive, best of three runs each. Reports figures;
# asserts nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
console=$root/build/native-release/bin/vespa-console
work=$(mktemp -d /tmp/vespa-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

# About 50 MB of mixed real data: programs, libraries and text from the system.
mkdir -p "$work/src"
find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -size +200k | head -60 | xargs -I{} cp {} "$work/src/" 2>/dev/null || true
find /usr/share/doc -type f -name '*.gz' | head -400 | xargs cat > "$work/src/docs.gz" 2>/dev/null || true
du -sh "$work/src" | sed 's/^/bench: input /'
(cd "$work/src" && zip -q -9 -r "$work/deflate.zip" . && 7z a -bd -tzip -mm=Deflate64 "$work/deflate64.zip" . > /dev/null)

best() {  # best wall time of three runs, in seconds
  local b=""
  for _ in 1 2 3; do
    local s e
    s=$(date +%s.%N); "$@" > /dev/null 2>&1 || true; e=$(date +%s.%N)
    local t; t=$(echo "$e - $s" | bc)
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc)" = 1 ]; then b=$t; fi
  done
  echo "$b"
}

for a in deflate deflate64; do
  zip=$work/$a.zip
  ours=$(best "$console" -TEST "$zip")
  line="bench: $a -TEST: vespa-console ${ours}s"
  if [ "$a" = deflate ]; then
    peer=$(best unzip -tqq "$zip"); line="$line, unzip -t ${peer}s"
  fi
  seven=$(best 7z t "$zip"); line="$line, 7z t ${seven}s"
  echo "$line"
  rm -rf "$work/out"; mkdir "$work/out"
  ours=$(best "$console" -EXTRACT -DIRECTORIES -OVERWRITE "$zip" "$work/out/")
  echo "bench: $a -EXTRACT: vespa-console ${ours}s"
done
