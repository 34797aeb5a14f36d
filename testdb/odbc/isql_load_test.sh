#!/usr/bin/env bash
# unixODBC's isql loads sql/schema.sql and sql/demo-data.sql through the test
# database driver (batch mode, multi-line statements) and queries them; the
# export SQL Server Management Studio writes (sql/generated-script-example.sql)
# loads with its GO lines made isql's ';', its CHECKs and DEFAULTs in force.
#
#   isql_load_test.sh DSN_SCRIPT SQL_DIR
set -euo pipefail
dsn_script=$1
sql_dir=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/dulmar-isql.XXXXXX")
trap 'rm -rf "$work"' EXIT
eval "$(bash "$dsn_script" "$work/odbc" demo "$work/demo.db" sa secret)"

fail() { echo "FAIL: $*" >&2; exit 1; }

for file in schema.sql demo-data.sql; do
  # isql does not know GO, which it would send to the server: the lines go.
  out=$(sed '/^go$/d' "$sql_dir/$file" | isql -b -n -v demo sa secret 2>&1)
  if grep -q '^\[' <<<"$out"; then
    fail "$file: $out"
  fi
done

rows=$(printf '%s\n' \
  "SELECT AswNum, AswPnr, AswGbi FROM KVSYSTEM.Kvs301Asw WHERE AswNum = '0000100002' ORDER BY AswGVo;" \
  "SELECT MndSch FROM KvSystem.Kvs112Mnd WHERE MndLiz = 1 AND MndNum = 1 AND MndKon = 0;" \
  "SELECT FtxDok FROM Kvsystem.Kvs102Whl WHERE FtxNumSpr = 8 AND FtxWhl = 1065 AND FtxSpr = 1;" \
  "SELECT COUNT(*) FROM O1003KSTSTELLE;" \
  | isql -b -n -v -d'|' demo sa secret 2>&1)
expected='0000100002|00001002|2006-12-31 00:00:00.000
0000100002|00001003|
MUSTER
Fehler beim Schreiben der Buchung in Kvs321Bch
4'
[ "$rows" = "$expected" ] || fail "rows differ:
$rows"

# Errors reach isql with the driver's tag and SQL Server's text.
err=$(echo "SELECT * FROM dbo.Nothing" | isql -b -v -3 demo sa secret 2>&1 || true)
grep -qF "[42S02][dulmar-testdb][SQL Server]Invalid object name 'dbo.Nothing'." <<<"$err" || fail "error: $err"
# isql -n sends what it gathered at a ';' line and stops at an empty one.
eval "$(bash "$dsn_script" "$work/odbc-gen" gen "$work/gen.db" sa secret)"
out=$(sed -e '/^\s*$/d' -e 's/^GO\r\{0,1\}$/;/' "$sql_dir/generated-script-example.sql" | isql -b -n -v gen sa secret 2>&1)
if grep -q '^\[' <<<"$out"; then
  fail "generated-script-example.sql: $out"
fi
rows=$(printf '%s\n' "INSERT INTO KVSYSTEM.Kvs112Mnd (MndLiz, MndNum, MndSch) VALUES (7, 7, 'SIEBEN')" \
  "SELECT MndKon FROM KVSYSTEM.Kvs112Mnd WHERE MndLiz = 7" "SELECT COUNT(*) FROM KVSYSTEM.Kvs301Asw" \
  | isql -b -v -d'|' gen sa secret 2>&1)
[ "$rows" = $'0\n6' ] || fail "export rows: $rows"
err=$(echo "INSERT INTO KVS321BCH (BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst) VALUES ('00001001', '2007-01-01', '2007-01-01 08:00', 25, 'KSW', '')" \
  | isql -b -v gen sa secret 2>&1 || true)
grep -qF '[23000][dulmar-testdb][SQL Server]The INSERT statement conflicted with the CHECK constraint "CK_KVS321BCH_BchKst".' \
  <<<"$err" || fail "export check: $err"
echo "isql load test passed"
