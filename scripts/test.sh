#!/usr/bin/env bash
# Every test twice (plain build, then ASan/UBSan), PostgreSQL included, then each fuzzer briefly.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${KVE_JOBS:-$(nproc)}
source "$ROOT/scripts/lib.sh"
source "$ROOT/scripts/pg.sh"
source "$ROOT/scripts/smb.sh"

pg_start            # exports KVE_TEST_PG_URL; stopped on exit
smb_start || true   # exports KVE_TEST_SMB_*; without it the SMB tests are skipped

LOG=$(mktemp)
trap 'smb_stop; pg_stop; rm -f "$LOG"' EXIT

# Each step runs to its end whatever the one before it did; a failure is remembered and makes
# the script fail after the closing line.
STATUS=0
step() {
  if ! "$@" 2>&1 | tee -a "$LOG"; then
    echo "== failed: $*"
    STATUS=1
    return 1
  fi
}

echo "== tests (build)"
step ctest --test-dir "$ROOT/build" --output-on-failure -j "$JOBS" -LE package || true

# The Debian package is built, unpacked and run once, from the plain build; the option stays
# off afterwards so that a plain ctest remains quick.
echo "== Debian package (build)"
cmake -S "$ROOT" -B "$ROOT/build" -DKVE_PACKAGE_TEST=ON >/dev/null
step ctest --test-dir "$ROOT/build" --output-on-failure -L package || true
cmake -S "$ROOT" -B "$ROOT/build" -DKVE_PACKAGE_TEST=OFF >/dev/null

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan)"
if step build_sanitized; then
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS=suppressions="$ROOT/tests/lsan.supp" \
    step ctest --test-dir "$ROOT/build-asan" --output-on-failure -j "$JOBS" || true

  echo "== fuzzers (${FUZZ_SECONDS:-20} s each)"
  step "$ROOT/scripts/fuzz.sh" "${FUZZ_SECONDS:-20}" || true
fi

# One closing line over both runs: "N passed, N failed, N skipped".
awk '/tests passed, [0-9]+ tests failed out of/ {
       for (i = 1; i <= NF; i++) if ($i == "out") total += $(i + 2); failed += $(NF - 5) }
     /\(Skipped\)$/ { skipped++ }
     END { printf "%d passed, %d failed, %d skipped\n", total - failed - skipped, failed, skipped }' "$LOG"
exit "$STATUS"
