# Shared by ./kve and the scripts it runs. Expects ROOT and JOBS.

# Debian 12 packages the build and the tests need. The bench adds its own (scripts/bench.sh).
KVE_PACKAGES=(
  build-essential cmake pkg-config git clang libclang-rt-14-dev
  qt6-base-dev libgl1-mesa-dev
  libsqlite3-dev libpq-dev postgresql
  libpugixml-dev nlohmann-json3-dev libcpp-httplib-dev libcli11-dev libtomlplusplus-dev
  libfmt-dev libspdlog-dev libsodium-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  curl
)

# Install the packages that are missing. Without root, say what to install and go on.
ensure_packages() {
  [ "${KVE_NO_APT:-0}" = 1 ] && return 0
  install_packages "${KVE_PACKAGES[@]}"
}

install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "kve: missing Debian packages (install them as root): ${missing[*]}" >&2
    return 0
  fi
  echo "kve: installing ${missing[*]}" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

build_main() {
  cmake -S "$ROOT" -B "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$ROOT/build" -j "$JOBS"
}

# ASan/UBSan over the tests, with the fuzzers, built by clang.
build_sanitized() {
  cmake -S "$ROOT" -B "$ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    -DKVE_SANITIZE=ON -DKVE_FUZZ=ON -DKVE_WITH_QT=OFF -DKVE_BENCH=OFF >/dev/null
  cmake --build "$ROOT/build-asan" -j "$JOBS"
}

build_bench() {
  cmake -S "$ROOT" -B "$ROOT/build-bench" -DCMAKE_BUILD_TYPE=Release -DKVE_WITH_QT=OFF >/dev/null
  cmake --build "$ROOT/build-bench" -j "$JOBS"
}
