# A private PostgreSQL cluster for the tests, the demo and the benchmark:
# initdb in a temporary directory as the unprivileged user postgres (the
# server refuses root), listening only on a Unix socket in that directory.
# Sourced; pg_cluster_start exports KELVO_PG (a libpq conninfo string) and
# KELVO_PG_DIR, pg_cluster_stop stops the server and removes the directory.
PG_BIN=${PG_BIN:-/usr/lib/postgresql/15/bin}

pg_as() { # command...: runs it as the cluster's owner
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

pg_cluster_start() {
  [ -x "$PG_BIN/initdb" ] || return 1
  KELVO_PG_DIR=$(mktemp -d /tmp/kelvo-pg.XXXXXX)
  [ "$(id -u)" = 0 ] && chown postgres: "$KELVO_PG_DIR"
  pg_as "$PG_BIN/initdb" -D "$KELVO_PG_DIR/data" -U postgres -A trust -E UTF8 --no-locale >"$KELVO_PG_DIR/initdb.log" 2>&1 ||
    { cat "$KELVO_PG_DIR/initdb.log"; return 1; }
  pg_as "$PG_BIN/pg_ctl" -D "$KELVO_PG_DIR/data" -l "$KELVO_PG_DIR/server.log" -w \
    -o "-c listen_addresses='' -c unix_socket_directories='$KELVO_PG_DIR' -c fsync=off" start >/dev/null ||
    { cat "$KELVO_PG_DIR/server.log"; return 1; }
  KELVO_PG="host=$KELVO_PG_DIR dbname=postgres user=postgres"
  export KELVO_PG KELVO_PG_DIR
}

pg_cluster_stop() {
  [ -n "${KELVO_PG_DIR:-}" ] || return 0
  pg_as "$PG_BIN/pg_ctl" -D "$KELVO_PG_DIR/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$KELVO_PG_DIR"
  unset KELVO_PG KELVO_PG_DIR
}
