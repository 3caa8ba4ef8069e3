# Installs the Debian packages named as arguments that are not installed yet.
# Sourced by the other scripts; needs root on a Debian 12 machine.
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# dpkg-dev: dpkg-shlibdeps, which gives the Debian package its dependencies.
BUILD_PACKAGES=(cmake g++ make libgtest-dev libsqlite3-dev sqlite3 libedit-dev libhowardhinnant-date-dev tzdata libpq-dev dpkg-dev)
# postgresql: the server the PostgreSQL import tests load into (a private
# cluster per run, see scripts/pg_cluster.sh); postgresql-client: psql.
TEST_PACKAGES=("${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev postgresql-15 postgresql-client-15)
BENCH_PACKAGES=("${BUILD_PACKAGES[@]}" libbenchmark-dev time postgresql-15 postgresql-client-15)
