#!/usr/bin/env bash
# Installs what is missing, builds and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build_dir=${KARTOVO_BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
# Throw-away PostgreSQL and MariaDB servers (127.0.0.1, own ports, temporary
# folders) for the database tests; stopped whatever way the tests end.
pg_script="$(pwd)/scripts/pg-test-server.sh"
mariadb_script="$(pwd)/scripts/mariadb-test-server.sh"
KARTOVO_PG_DIR=
KARTOVO_MARIADB_DIR=
stop_servers() {
    if [ -n "$KARTOVO_PG_DIR" ]; then bash "$pg_script" stop "$KARTOVO_PG_DIR" || true; fi
    if [ -n "$KARTOVO_MARIADB_DIR" ]; then bash "$mariadb_script" stop "$KARTOVO_MARIADB_DIR" || true; fi
}
trap stop_servers EXIT
# A signal ends the tests too; bash runs these only while it waits below.
trap 'kill $(jobs -p) 2>/dev/null; exit 130' INT
trap 'kill $(jobs -p) 2>/dev/null; exit 143' TERM
trap 'kill $(jobs -p) 2>/dev/null; exit 129' HUP
pg_env=$(bash "$pg_script" start)
eval "$pg_env"
mariadb_env=$(bash "$mariadb_script" start)
eval "$mariadb_env"
cd "$build_dir"
ctest --output-on-failure -j"$(nproc)" &
wait $!
