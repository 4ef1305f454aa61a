#!/usr/bin/env bash
# Throw-away MariaDB server for the database tests: a data folder in a fresh
# temporary folder, listening only on 127.0.0.1 on a free port, with its socket
# in that folder. The test account logs in over TCP with a password, so a wrong
# password is refused as on a real server.
#
#   eval "$(scripts/mariadb-test-server.sh start)"   # exports KARTOVO_MARIADB_*
#   scripts/mariadb-test-server.sh stop "$KARTOVO_MARIADB_DIR"
#
# The ODBC driver is named by its library path, so this server and the
# PostgreSQL one (which sets ODBCSYSINI) can run side by side. Runs the server
# as the "mysql" account when started by root, as the calling user otherwise.
set -euo pipefail

odbc_driver=${KARTOVO_MARIADB_ODBC_DRIVER:-/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so}
db_user=kartovo
db_password=kartovo-test
db_database=kartovo_test

server_account=mysql
script_name=mariadb-test-server
. "$(dirname "$0")/test-server-common.sh"

client() { # SQL through the socket as the server's root account
    as_owner mariadb --no-defaults --socket="$dir/mysqld.sock" -uroot -e "$1"
}

start() {
    command -v mariadbd >/dev/null || [ -x /usr/sbin/mariadbd ] || { echo "mariadb-test-server: mariadbd not found (mariadb-server)" >&2; exit 1; }
    [ -f "$odbc_driver" ] || { echo "mariadb-test-server: ODBC driver $odbc_driver not found (odbc-mariadb)" >&2; exit 1; }
    local mariadbd
    mariadbd=$(command -v mariadbd || echo /usr/sbin/mariadbd)
    dir=$(mktemp -d "${TMPDIR:-/tmp}/kartovo-mariadb.XXXXXX")
    # Whatever fails below leaves no server or folder behind.
    trap 'stop "$dir"' EXIT
    trap 'exit 1' INT TERM HUP
    chmod 755 "$dir"
    mkdir -p "$dir/data" "$dir/tmp"
    if [ "$(id -u)" -eq 0 ]; then
        getent passwd mysql >/dev/null || { echo "mariadb-test-server: no mysql account" >&2; exit 1; }
        chown -R mysql "$dir/data" "$dir/tmp"
        chown mysql "$dir"
    fi
    as_owner mariadb-install-db --no-defaults --datadir="$dir/data" --auth-root-authentication-method=normal \
        --skip-test-db >"$dir/install.log" 2>&1 || { cat "$dir/install.log" >&2; exit 1; }

    local port attempt=0
    while :; do
        port=$(free_port)
        as_owner "$mariadbd" --no-defaults --datadir="$dir/data" --tmpdir="$dir/tmp" --socket="$dir/mysqld.sock" \
            --pid-file="$dir/mysqld.pid" --bind-address=127.0.0.1 --port="$port" --skip-name-resolve \
            --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 --log-error="$dir/server.log" \
            --character-set-server=utf8mb4 --collation-server=utf8mb4_unicode_ci >/dev/null 2>&1 &
        local waited=0
        while [ $waited -lt 60 ]; do
            if as_owner mariadb-admin --no-defaults --socket="$dir/mysqld.sock" -uroot ping >/dev/null 2>&1; then break 2; fi
            if ! kill -0 $! 2>/dev/null; then break; fi
            sleep 0.5; waited=$((waited + 1))
        done
        kill $! 2>/dev/null || true
        attempt=$((attempt + 1))
        if [ $attempt -ge 5 ]; then cat "$dir/server.log" >&2; exit 1; fi
    done
    client "CREATE USER '$db_user'@'127.0.0.1' IDENTIFIED BY '$db_password';
            GRANT ALL PRIVILEGES ON *.* TO '$db_user'@'127.0.0.1' WITH GRANT OPTION;
            CREATE DATABASE $db_database;" 2>"$dir/client.log" || { cat "$dir/client.log" >&2; exit 1; }
    echo "$port" > "$dir/port"

    echo "export KARTOVO_MARIADB_DIR='$dir'"
    echo "export KARTOVO_MARIADB_HOST=127.0.0.1"
    echo "export KARTOVO_MARIADB_PORT=$port"
    echo "export KARTOVO_MARIADB_USER=$db_user"
    echo "export KARTOVO_MARIADB_PASSWORD=$db_password"
    echo "export KARTOVO_MARIADB_DATABASE=$db_database"
    echo "export KARTOVO_MARIADB_DRIVER='$odbc_driver'"
    trap - EXIT INT TERM HUP
}

stop() {
    local dir=${1:-${KARTOVO_MARIADB_DIR:-}}
    [ -n "$dir" ] || { echo "usage: $0 stop DIR" >&2; exit 2; }
    case "$dir" in */kartovo-mariadb.*) ;; *) echo "mariadb-test-server: $dir is not a test server folder" >&2; exit 2;; esac
    if [ -f "$dir/mysqld.pid" ]; then
        local pid waited=0
        pid=$(cat "$dir/mysqld.pid")
        kill "$pid" 2>/dev/null || true
        while kill -0 "$pid" 2>/dev/null && [ $waited -lt 60 ]; do sleep 0.5; waited=$((waited + 1)); done
        kill -9 "$pid" 2>/dev/null || true
    fi
    rm -rf "$dir"
}

case "${1:-}" in
    start) start ;;
    stop) shift; stop "${1:-}" ;;
    *) echo "usage: $0 start | stop DIR" >&2; exit 2 ;;
esac
