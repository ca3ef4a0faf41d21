#!/usr/bin/env bash
# Sets up, builds and starts Tamboro.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
exec build/dialog/tamboro
