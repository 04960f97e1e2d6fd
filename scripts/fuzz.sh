#!/usr/bin/env bash
# Fuzzes one target for a while, then keeps what it found that adds coverage in fuzz/corpus/.
#   scripts/fuzz.sh TARGET SECONDS      (targets: directory test_run inflate inflate_plan lzma options
#                                        directives authenticity)
# Builds the fuzz preset (clang) first. One job: the machine is shared. A crash leaves its input
# in build/fuzz/run/TARGET/ (crash-*, timeout-*, oom-*): make it a fixture in fuzz/crashers/TARGET/
# once the fault is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?target}
seconds=${2:?seconds}
root=$PWD

cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j 2 --target "fuzz_$target"
python3 fuzz/seed.py build/fuzz/seeds "$root/../shared/corpus"

run=build/fuzz/run/$target
work=build/fuzz/work/$target
mkdir -p "$run" "$work" "fuzz/corpus/$target"
binary=$root/build/fuzz/bin/fuzz_$target
case $target in
  # A few KB of stream already reach every code path; longer ones only decode longer.
  inflate) limits=(-max_len=8192 -timeout=20) ;;
  # Entries of at most 1 MiB: a few KB of stream reach every path.
  lzma) limits=(-max_len=8192 -timeout=20 -rss_limit_mb=2048) ;;
  # Each byte makes one choice of a plan; the plan goes on from a generator seeded by them all.
  inflate_plan) limits=(-max_len=512 -timeout=60 -rss_limit_mb=2048) ;;
  options) limits=(-max_len=2048 -timeout=10 -dict="$root/fuzz/options.dict") ;;
  # A record's body is 2128 bytes; a program file is searched for it in its first 300000.
  directives) limits=(-max_len=8192 -timeout=10) ;;
  authenticity) limits=(-max_len=4096 -timeout=10) ;;
  *) limits=(-max_len=65536 -timeout=30 -rss_limit_mb=2048) ;;
esac
# The option parser's target works in a directory of its own: artifacts are named absolutely.
(cd "$run" && "$binary" -jobs=1 -workers=1 -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$root/$run/" "${limits[@]}" "$root/$work" "$root/fuzz/corpus/$target" "$root/build/fuzz/seeds/$target" \
    > fuzz.out 2>&1) || true
cat "$run"/fuzz-0.log | grep -E '^(#|stat::|==|SUMMARY|Done|INFO: -max_total)' | tail -n 15

# Keep only what adds coverage to the saved corpus; never a copy of a seed, and for the archive
# targets nothing over 4 KiB (a mutated foreign archive is still theirs: the replay reads those
# from beside the project).
"$binary" -merge=1 "${limits[@]}" "$root/fuzz/corpus/$target" "$root/$work" > "$run/merge.out" 2>&1
python3 - "$root/fuzz/corpus/$target" "$root/build/fuzz/seeds/$target" <<'PY'
import hashlib, os, sys
saved, seeds = sys.argv[1], sys.argv[2]
digest = lambda p: hashlib.sha1(open(p, 'rb').read()).hexdigest()
seen = {digest(os.path.join(seeds, f)) for f in os.listdir(seeds)}
archives = saved.rstrip('/').endswith(('directory', 'test_run'))
for f in os.listdir(saved):
    path = os.path.join(saved, f)
    if digest(path) in seen or (archives and os.path.getsize(path) > 4096):
        os.remove(path)
print(saved, len(os.listdir(saved)), 'inputs kept')
PY
ls "$run" | grep -E '^(crash|timeout|oom|leak)-' || echo "no crash, hang or leak"
