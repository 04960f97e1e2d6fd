#!/usr/bin/env bash
# ThreadSanitizer over the runs that decode on workers: the ordered-replay unit tests, the
# one-worker-against-many end-to-end test and the hostile-machine test (a run stopped by a worker),
# on the native-tsan build. Any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native-tsan >/dev/null
cmake --build build/native-tsan -j2 --target vespa-console test_app
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
export VESPA_WORKERS=4
build/native-tsan/bin/test_app --gtest_filter='ParallelRun*:TwoRuns*:App*'
export VESPA_BIN="$PWD/build/native-tsan/bin"
python3 tests/e2e/test_workers.py
python3 tests/e2e/test_hostile.py
