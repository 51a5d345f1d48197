#!/usr/bin/env bash
# A scratch PostgreSQL 15 server for the store tests.
#
#   pg-test-server.sh start DIR   initialise and start a server in DIR; its
#                                 URI (superuser, database "postgres") goes
#                                 to DIR/uri and stdout
#   pg-test-server.sh stop DIR    stop it and remove DIR
#   pg-test-server.sh pause DIR   stop the server, keeping its data
#   pg-test-server.sh resume DIR  start it again on the same port
#
# The server runs as an unprivileged user (it refuses root): as root, the
# "postgres" user the Debian package made; else the calling user. It listens
# on 127.0.0.1 on a free port and on a Unix socket in DIR, nowhere else.
# Local connections are trusted; TCP connections from 127.0.0.1 as the role
# "k417_pw" need its password (scram-sha-256), so that the tests can check
# that a password never shows.
set -euo pipefail

action="${1:-}"
dir="${2:-}"
if [ -z "$action" ] || [ -z "$dir" ]; then
    echo "usage: $0 start|stop DIR" >&2
    exit 2
fi
bin="${K417_PG_BIN:-/usr/lib/postgresql/15/bin}"

as_server_user() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

case "$action" in
start)
    if [ ! -x "$bin/initdb" ] || [ ! -x "$bin/pg_ctl" ]; then
        echo "error: no PostgreSQL 15 server programs in $bin (Debian package postgresql-15)" >&2
        exit 1
    fi
    if [ "$(id -u)" -eq 0 ] && ! id postgres >/dev/null 2>&1; then
        echo "error: running as root, but there is no unprivileged user \"postgres\" to run the server as" >&2
        exit 1
    fi
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_server_user "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
    # Every folder above must let the server's user through.
    if ! as_server_user test -w "$dir"; then
        echo "error: the server's user cannot write $dir (a folder above it is closed to others)" >&2
        exit 1
    fi
    if ! as_server_user "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 --no-sync \
            >"$dir/initdb.log" 2>&1; then
        echo "error: initdb failed:" >&2
        cat "$dir/initdb.log" >&2
        exit 1
    fi
    cat >"$dir/data/pg_hba.conf" <<HBA
local all all trust
host all k417_pw 127.0.0.1/32 scram-sha-256
host all all 127.0.0.1/32 trust
HBA
    started=""
    for attempt in 1 2 3 4 5 6 7 8; do
        port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            continue # taken
        fi
        echo "-c listen_addresses=127.0.0.1 -p $port -c unix_socket_directories=$dir -c max_connections=200 -c shared_buffers=32MB" >"$dir/options"
        if as_server_user "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -o "$(cat "$dir/options")" \
                start >/dev/null 2>&1; then
            started=$port
            break
        fi
    done
    if [ -z "$started" ]; then
        echo "error: the PostgreSQL server did not start; its log:" >&2
        cat "$dir/server.log" >&2 2>/dev/null || true
        exit 1
    fi
    psql -q -h "$dir" -p "$started" -U postgres -d postgres \
        -c "CREATE ROLE k417_pw LOGIN SUPERUSER PASSWORD 'k417-secret-pw'" >/dev/null
    uri="postgresql://postgres@127.0.0.1:$started/postgres"
    echo "$uri" >"$dir/uri"
    echo "$uri"
    ;;
pause)
    as_server_user "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    ;;
resume)
    as_server_user "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -o "$(cat "$dir/options")" start >/dev/null
    ;;
stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_server_user "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    fi
    rm -rf "$dir"
    ;;
*)
    echo "usage: $0 start|stop|pause|resume DIR" >&2
    exit 2
    ;;
esac
