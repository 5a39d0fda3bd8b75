#!/usr/bin/env bash
# Installs the FDSN client that the tests of `trq serve` ask through and the driver of the
# headless browser they load its pages in: tests/fdsn/client.mjs with seisplotjs and jsdom,
# tests/fdsn/browser.mjs with puppeteer-core (which drives Debian's chromium and downloads
# no browser), at the versions of tests/fdsn/package-lock.json, into DIR (the build
# directory's fdsn-client/; the source tree stays as it is). npm ci runs only
# when the lock file differs from the one installed last; its cache stays inside DIR.
#
#   scripts/fdsn-client-setup.sh DIR
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:?usage: fdsn-client-setup.sh DIR}"
mkdir -p "$dir"
cp "$here/tests/fdsn/client.mjs" "$here/tests/fdsn/browser.mjs" "$here/tests/fdsn/package.json" "$dir/"
if [ -d "$dir/node_modules" ] && cmp -s "$here/tests/fdsn/package-lock.json" "$dir/installed-lock.json"; then
  echo "fdsn-client-setup: $dir is up to date"
  exit 0
fi
command -v node >/dev/null && command -v npm >/dev/null || {
  echo "fdsn-client-setup: node and npm are needed (scripts/install-deps.sh --dev)" >&2
  exit 1
}
cp "$here/tests/fdsn/package-lock.json" "$dir/package-lock.json"
(cd "$dir" && npm ci --no-audit --no-fund --cache "$dir/.npm-cache" --loglevel=error)
cp "$here/tests/fdsn/package-lock.json" "$dir/installed-lock.json"
echo "fdsn-client-setup: installed seisplotjs and puppeteer-core in $dir (node $(node --version))"
