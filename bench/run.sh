#!/usr/bin/env bash
# make bench: see run.py.
set -euo pipefail
python3 "$(dirname "$0")/run.py" "$@"
# Then the scale part: many entries and a 6 GiB one (see scale.py).
exec python3 "$(dirname "$0")/scale.py"
