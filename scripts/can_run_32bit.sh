#!/usr/bin/env bash
# Exits 0 where this machine can execute 32-bit x86 programs, 1 where it cannot, with one line
# saying which. Decided by running one: a kernel built without 32-bit support refuses it with
# "Exec format error" whatever packages are installed, and 32-bit Wine is then of no use (worse:
# Debian's wine wrapper picks its 32-bit loader for every program once it is installed).
# The program is a static i386 ELF made by binutils, which comes with g++.
# VESPA_FORCE_32BIT_PROBE=ok|fail replaces the answer: for the tests of the decisions taken on it.
set -uo pipefail

case "${VESPA_FORCE_32BIT_PROBE:-}" in
  ok) echo "32-bit programs run here (VESPA_FORCE_32BIT_PROBE=ok)"; exit 0 ;;
  fail) echo "this machine cannot run 32-bit programs (VESPA_FORCE_32BIT_PROBE=fail)"; exit 1 ;;
  "") ;;
  *) echo "VESPA_FORCE_32BIT_PROBE is ok or fail, not '$VESPA_FORCE_32BIT_PROBE'" >&2; exit 2 ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# exit(42) through the 32-bit system call gate: a program that ran gives exactly that status.
printf '.globl _start\n_start:\n  movl $1, %%eax\n  movl $42, %%ebx\n  int $0x80\n' > "$work/p.s"
if ! { as --32 "$work/p.s" -o "$work/p.o" && ld -m elf_i386 "$work/p.o" -o "$work/p"; } 2>/dev/null; then
  echo "this machine cannot run 32-bit programs (binutils cannot make one to try: no i386 support)"
  exit 1
fi
error=$("$work/p" 2>&1)
status=$?
if [ "$status" -eq 42 ]; then
  echo "32-bit programs run here"
  exit 0
fi
error=${error##*: }
echo "this machine cannot run 32-bit programs (a static i386 program: ${error:-exit status $status})"
exit 1
