#!/usr/bin/env bash
# The main job: builds the module and the demo host (optimised) and runs the host. Arguments go
# to the host (see --help); without any it replays its embedded default set of launches.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j 2 --target vantor vantor-host >/dev/null
exec build/linux-release/bin/vantor-host "$@"
