#!/usr/bin/env bash
# make bench: see run.py.
set -euo pipefail
exec python3 "$(dirname "$0")/run.py" "$@"
