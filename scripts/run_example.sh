#!/usr/bin/env bash
# The main job: set up, build, and run the end-to-end example on the bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
python3 examples/quickstart.py
