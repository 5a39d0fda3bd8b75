#!/usr/bin/env bash
# Installs the Debian packages the project needs. Idempotent and non-interactive; run as
# root or with sudo available.
#
#   scripts/install-deps.sh          what building and running need (scripts/demo.sh)
#   scripts/install-deps.sh --dev    and what testing needs: test frameworks, clang for
#                                    the sanitizers and the fuzzer, Ninja, the PostgreSQL
#                                    server the tests start, curl, and Node.js with npm for the
#                                    FDSN client the tests of trq serve ask through,
#                                    chromium for the pages they load in a headless browser,
#                                    prometheus for promtool, which checks /metrics and the
#                                    example alert rules (scripts/test.sh); strace for the
#                                    message and sync counts of scripts/bench.sh; lld for the
#                                    quick links of scripts/mutation-check.sh
set -euo pipefail

packages=(
  build-essential cmake pkg-config g++
  libcli11-dev nlohmann-json3-dev libcairo2-dev libmseed-dev libcpp-httplib-dev libxml2-dev libssl-dev
  libxxhash-dev xxhash
  unixodbc unixodbc-dev odbcinst libsqliteodbc sqlite3 odbc-postgresql
  mseed2sac
)
if [ "${1:-}" = "--dev" ]; then
  packages+=(
    git time clang clang-format libclang-rt-14-dev ninja-build lld
    libgtest-dev libgmock-dev libbenchmark-dev
    postgresql curl strace libxml2-utils chromium prometheus
  )
  # Node.js and npm, unless the machine has them already from elsewhere: Debian's nodejs
  # package would not replace a newer one, and its npm would conflict with the one it
  # brings. The test client's jsdom wants Node 20.19 or later.
  if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    packages+=(nodejs npm)
  fi
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

# One query for all: the test command runs this every time.
mapfile -t installed < <(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null |
  awk '$NF == "installed" { print $1 }')
missing=()
for p in "${packages[@]}"; do
  [[ " ${installed[*]} " == *" $p "* ]] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
  # The tests want promtool only: the Prometheus server the package starts under systemd
  # is stopped and left disabled.
  if [[ " ${missing[*]} " == *" prometheus "* ]] && [ -d /run/systemd/system ]; then
    "${sudo_cmd[@]}" systemctl disable --now prometheus >/dev/null 2>&1 || true
  fi
else
  echo "All packages present."
fi
