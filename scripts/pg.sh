# A throw-away PostgreSQL server for the tests: initdb into a temporary folder, listen on a
# loopback port only, and stop it again. Sourced; pg_start exports KVE_TEST_PG_URL.
pg_bin() { ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1; }

pg_start() {
  local bin; bin=$(pg_bin)
  if [ -z "$bin" ]; then
    echo "pg: PostgreSQL server not installed; its tests are skipped" >&2
    return 0
  fi
  PG_DIR=$(mktemp -d /tmp/kve-pg.XXXXXX)
  PG_PORT=${PG_PORT:-$(( 20000 + RANDOM % 20000 ))}
  local run=()
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres "$PG_DIR"
    run=(runuser -u postgres --)
  fi
  "${run[@]}" "$bin/initdb" -D "$PG_DIR/data" -U kve -A trust -E UTF8 >/dev/null
  "${run[@]}" "$bin/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/log" -w \
    -o "-h 127.0.0.1 -p $PG_PORT -k $PG_DIR" start >/dev/null
  "${run[@]}" "$bin/createdb" -h 127.0.0.1 -p "$PG_PORT" -U kve kve_test
  export KVE_TEST_PG_URL="postgresql://kve@127.0.0.1:$PG_PORT/kve_test"
  PG_RUN=("${run[@]}"); PG_BINDIR=$bin
  echo "pg: test server on 127.0.0.1:$PG_PORT" >&2
}

pg_stop() {
  [ -n "${PG_DIR:-}" ] || return 0
  "${PG_RUN[@]}" "$PG_BINDIR/pg_ctl" -D "$PG_DIR/data" -m fast -w stop >/dev/null 2>&1 || true
  rm -rf "$PG_DIR"
  PG_DIR=
}
