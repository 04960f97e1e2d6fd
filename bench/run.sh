#!/usr/bin/env bash
# make bench: see run.py.
set -euo pipefail
python3 "$(dirname "$0")/run.py" "$@"
# Then the stub under Wine against vespa-console.exe under the same Wine (see stub_wine.py).
python3 "$(dirname "$0")/stub_wine.py"
# Then the scale part: many entries and a 6 GiB one (see scale.py).
exec python3 "$(dirname "$0")/scale.py"
