# Shared by ./kve and the scripts it runs. Expects ROOT and JOBS.

# Debian 12 packages the build and the tests need. The bench adds its own (scripts/bench.sh).
KVE_PACKAGES=(
  build-essential cmake ninja-build pkg-config git clang libclang-rt-14-dev
  qt6-base-dev libgl1-mesa-dev
  libsqlite3-dev libpq-dev postgresql
  libpugixml-dev nlohmann-json3-dev libcpp-httplib-dev libcli11-dev libtomlplusplus-dev
  libfmt-dev libspdlog-dev libsodium-dev libssl-dev libsmbclient-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  curl
  xvfb xdotool openbox sqlite3
)

# What `./kve demo` needs: the compiler and the libraries its six programs link; no Qt,
# clang, servers or test tools, so a newcomer's first run installs little.
KVE_DEMO_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev libpq-dev
  nlohmann-json3-dev libcpp-httplib-dev libcli11-dev libtomlplusplus-dev
  libfmt-dev libspdlog-dev libsodium-dev libssl-dev libsmbclient-dev
)

# Install the packages that are missing. Without root, or with KVE_NO_APT=1, say what to
# install and go on.
ensure_packages() {
  install_packages "${KVE_PACKAGES[@]}"
}

install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "${KVE_NO_APT:-0}" = 1 ]; then
    echo "kve: missing Debian packages (KVE_NO_APT=1, not installing): ${missing[*]}" >&2
    return 0
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "kve: missing Debian packages (install them as root): ${missing[*]}" >&2
    return 0
  fi
  echo "kve: installing ${missing[*]}" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Starts kve-appserver on the database URL $1 on a free loopback port, its output in the file
# $2, and stops it when the calling script exits (then runs the command in APPSERVER_ON_EXIT,
# if set). Sets APPSERVER_PID and APPSERVER_PORT (read
# from the server's "serving ... on HOST:PORT" line). Fails, with the end of the log, when the
# server exits or has not started within 10 seconds.
start_appserver() {
  local db=$1 log=$2 bin=${KVE_BIN:-$ROOT/build/apps}
  : >"$log"
  "$bin/kve-appserver" --db "$db" --listen 127.0.0.1:0 >>"$log" 2>&1 &
  APPSERVER_PID=$!
  trap 'stop_appserver; ${APPSERVER_ON_EXIT:-:}' EXIT
  APPSERVER_PORT=
  local _
  for _ in $(seq 100); do
    APPSERVER_PORT=$(sed -n 's/.*serving Kve07000\.rdmExpDados on .*:\([0-9][0-9]*\).*/\1/p' "$log" | head -n 1)
    [ -n "$APPSERVER_PORT" ] && return 0
    if ! kill -0 "$APPSERVER_PID" 2>/dev/null; then
      echo "kve: the application server exited before serving (log: $log):" >&2
      tail -n 20 "$log" >&2
      return 1
    fi
    sleep 0.1
  done
  echo "kve: the application server did not start within 10 s (log: $log):" >&2
  tail -n 20 "$log" >&2
  return 1
}

# Stops the server start_appserver started (SIGTERM, then waits for it), if it still runs.
stop_appserver() {
  if [ -n "${APPSERVER_PID:-}" ]; then
    kill -TERM "$APPSERVER_PID" 2>/dev/null || true
    wait "$APPSERVER_PID" 2>/dev/null || true
    APPSERVER_PID=
  fi
}

# The programs scripts/demo.sh runs: a first `./kve demo` builds these and what they link,
# and leaves the tests and benchmarks to `./kve test` and `./kve bench`.
KVE_DEMO_TARGETS=(kve-demo-data kve-appserver kve-demo kve-export kve-hotsync kve-inspect)

# New build folders use Ninja: it compiles a library's files while the libraries it links are
# still being built, where make waits for them (a first `./kve demo` on 2 cores: 4 min 25 s
# with make, 2 min 42 s with Ninja). A folder made before keeps its generator.
# (Asked at build time: the packages that bring Ninja are installed after this file is read.)
pick_generator() {
  if [ -z "${CMAKE_GENERATOR:-}" ] && command -v ninja >/dev/null 2>&1; then
    export CMAKE_GENERATOR=Ninja
  fi
}

# Builds build/ (RelWithDebInfo): the targets named, or everything.
build_main() {
  pick_generator
  cmake -S "$ROOT" -B "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build "$ROOT/build" -j "$JOBS" --target "$@"
  else
    cmake --build "$ROOT/build" -j "$JOBS"
  fi
}

# ASan/UBSan over the tests, with the fuzzers, built by clang.
build_sanitized() {
  pick_generator
  cmake -S "$ROOT" -B "$ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    -DKVE_SANITIZE=ON -DKVE_FUZZ=ON -DKVE_WITH_QT=OFF -DKVE_BENCH=OFF >/dev/null
  cmake --build "$ROOT/build-asan" -j "$JOBS"
}

build_bench() {
  pick_generator
  cmake -S "$ROOT" -B "$ROOT/build-bench" -DCMAKE_BUILD_TYPE=Release -DKVE_WITH_QT=OFF >/dev/null
  cmake --build "$ROOT/build-bench" -j "$JOBS"
}
