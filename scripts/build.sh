#!/usr/bin/env bash
# Builds and installs the extension module into the current Python.
set -euo pipefail
cd "$(dirname "$0")/.."
python3 -m pip install -q --disable-pip-version-check --no-build-isolation --force-reinstall --no-deps .
