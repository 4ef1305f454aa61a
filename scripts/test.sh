#!/usr/bin/env bash
# Installs what is missing, builds and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build_dir=${KARTOVO_BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
# Throw-away PostgreSQL server (127.0.0.1, own port, temporary folder) for the
# database tests; stopped whatever way the tests end.
pg_script="$(pwd)/scripts/pg-test-server.sh"
pg_env=$(bash "$pg_script" start)
eval "$pg_env"
trap 'bash "$pg_script" stop "$KARTOVO_PG_DIR"' EXIT
cd "$build_dir"
ctest --output-on-failure -j"$(nproc)"
