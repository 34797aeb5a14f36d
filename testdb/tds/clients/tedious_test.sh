#!/usr/bin/env bash
# Runs tedious_test.js against a fresh TDS server; skipped (77) with a line
# when node or the pinned tedious (scripts/install-deps: npm ci) is missing.
#
#   tedious_test.sh SERVER_SCRIPT
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
command -v node >/dev/null || { echo "skipped: node not installed (scripts/install-deps installs nodejs)"; exit 77; }
[ -d "$here/node_modules/tedious" ] || {
  echo "skipped: tedious not installed in $here (scripts/install-deps runs npm ci there)"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/dulmar-tedious.XXXXXX")
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
eval "$(bash "$1" "$work/odbc" tedious "$work/tedious.db" dulmar secret)"
pid=$DULMAR_TESTDB_SERVER_PID
node "$here/tedious_test.js" "$(cat "$work/odbc/tedious.port")" tedious dulmar secret
