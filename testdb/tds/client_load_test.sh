#!/usr/bin/env bash
# The real SQL Server clients against the TDS server: unixODBC's isql (through
# FreeTDS's driver, executing directly: the server takes no RPC) and FreeTDS's
# tsql each load sql/schema.sql and sql/demo-data.sql and read them back;
# errors arrive with SQL Server's numbers; a closed port gives FreeTDS's
# "unable to connect"; SIGTERM ends the server with the file consistent. Both
# load the export SQL Server Management Studio writes
# (sql/generated-script-example.sql), its CHECKs and DEFAULTs then in force.
#
#   client_load_test.sh SERVER_SCRIPT SQL_DIR
set -euo pipefail
server_script=$1
sql_dir=$2
. "$(dirname "$0")/client_test_common.sh" dulmar-tds-clients isql tsql

expected='0000100002|00001002|2006-12-31 00:00:00.000
0000100002|00001003|
MUSTER
Fehler beim Schreiben der Buchung in Kvs321Bch
4'
queries="SELECT AswNum, AswPnr, AswGbi FROM KVSYSTEM.Kvs301Asw WHERE AswNum = '0000100002' ORDER BY AswGVo
SELECT MndSch FROM KvSystem.Kvs112Mnd WHERE MndLiz = 1 AND MndNum = 1 AND MndKon = 0
SELECT FtxDok FROM Kvsystem.Kvs102Whl WHERE FtxNumSpr = 8 AND FtxWhl = 1065 AND FtxSpr = 1
SELECT COUNT(*) FROM O1003KSTSTELLE"

# isql: one statement per line or per ';', multi-line statements. isql does not
# know GO (it would send it to the server, a syntax error there): the lines go.
eval "$(bash "$server_script" "$work/odbc" demo "$work/demo.db" sa secret)"
pids+=("$DULMAR_TESTDB_SERVER_PID")
grep -q 'clear text' "$work/odbc/demo.server.log" || fail "the server does not say it speaks clear text"
grep -q 'listening on 127\.0\.0\.1:' "$work/odbc/demo.server.log" || fail "the server does not listen on loopback"
for file in schema.sql demo-data.sql; do
  out=$(sed '/^go$/d' "$sql_dir/$file" | isql -e -b -n -v demo sa secret 2>&1)
  if grep -q '^\[' <<<"$out"; then
    fail "isql $file: $out"
  fi
done
rows=$(isql -e -b -v -d'|' demo sa secret <<<"$queries" 2>&1)
[ "$rows" = "$expected" ] || fail "isql rows differ:
$rows"
err=$(echo "SELECT * FROM dbo.Nothing" | isql -e -b -v -3 demo sa secret 2>&1 || true)
grep -qF "[42S02][FreeTDS][SQL Server]Invalid object name 'dbo.Nothing'." <<<"$err" || fail "isql error: $err"

# tsql: cuts the files at their GO lines itself and sends each batch whole.
eval "$(bash "$server_script" "$work/odbc-tsql" other "$work/other.db" sa secret)"
pids+=("$DULMAR_TESTDB_SERVER_PID")
port=$(cat "$work/odbc-tsql/other.port")
tsql_run() { tsql -H 127.0.0.1 -p "$port" -U sa -P secret -D other -J CP1252 -o q "$@"; }
for file in schema.sql demo-data.sql; do
  out=$( (cat "$sql_dir/$file"; printf '\ngo\n') | tsql_run 2>&1)
  if grep -q '^Msg ' <<<"$out"; then
    fail "tsql $file: $out"
  fi
done
# tsql writes datetimes its own way: the same rows without them.
rows=$( (sed -e 's/, AswGbi//' -e 's/$/\ngo/' <<<"$queries") | tsql_run -o fh -t '|' 2>/dev/null \
  | sed 's/^\([0-9]*> \)*//' | grep -v -e '^$' -e 'rows\{0,1\} affected' -e '^locale' -e '^using default charset')
[ "$rows" = "$(sed 's/^\(0000100002|0000100[0-9]\)|.*/\1/' <<<"$expected")" ] || fail "tsql rows differ:
$rows"
err=$(printf 'SELECT * FROM dbo.Nothing\ngo\n' | tsql_run 2>&1 || true)
grep -qF "Msg 208 (severity 16, state 1) from dulmar-testdb" <<<"$err" || fail "tsql error: $err"

# A wrong password, and a port nobody listens on.
err=$(echo "SELECT 1" | isql -e -b -v other sa wrong 2>&1 || true)
grep -qF "[unixODBC][FreeTDS][SQL Server]Login failed for user 'sa'." <<<"$err" || fail "login: $err"
kill "$DULMAR_TESTDB_SERVER_PID"
for _ in $(seq 1 500); do [ -e "$work/odbc-tsql/other.port" ] || break; sleep 0.01; done
[ ! -e "$work/odbc-tsql/other.port" ] || fail "the server did not stop on SIGTERM"
grep -q 'stopped' "$work/odbc-tsql/other.server.log" || fail "the server did not say it stopped"
[ ! -e "$work/other.db-wal" ] || fail "write-ahead log left behind"
err=$(echo "SELECT 1" | isql -e -b -v other sa secret 2>&1 || true)
grep -qF "[08S01][unixODBC][FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable or does not exist" \
  <<<"$err" || fail "closed port: $err"
# The stopped server's file serves a new one.
eval "$(bash "$server_script" "$work/odbc-again" other "$work/other.db" sa secret)"
pids+=("$DULMAR_TESTDB_SERVER_PID")
count=$(echo "SELECT COUNT(*) FROM O1003KSTSTELLE" | isql -e -b -v -d'|' other sa secret 2>&1)
[ "$count" = 4 ] || fail "after a restart: $count"
# The export: tsql takes its CRLF lines and upper-case GO as they are; isql -n
# sends at a ';' line and stops at an empty one.
eval "$(bash "$server_script" "$work/odbc-gen" gen "$work/gen.db" sa secret)"
pids+=("$DULMAR_TESTDB_SERVER_PID")
gen_port=$(cat "$work/odbc-gen/gen.port")
out=$(tsql -H 127.0.0.1 -p "$gen_port" -U sa -P secret -D gen -J CP1252 -o q <"$sql_dir/generated-script-example.sql" 2>&1)
if grep -q '^Msg ' <<<"$out"; then
  fail "tsql generated-script-example.sql: $out"
fi
out=$(printf '%s\n' "INSERT INTO KVS321BCH (BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst) VALUES ('', '2007-01-01', '2007-01-01 08:00', 25, 'KSW', '4100')" go \
  | tsql -H 127.0.0.1 -p "$gen_port" -U sa -P secret -D gen -J CP1252 -o q 2>&1 || true)
grep -qF 'Msg 547 (severity 16, state 0) from dulmar-testdb Line 1:' <<<"$out" && grep -qF 'CHECK constraint "CK_KVS321BCH_BchPnr"' <<<"$out" \
  || fail "tsql export check: $out"
eval "$(bash "$server_script" "$work/odbc-gen2" gen2 "$work/gen2.db" sa secret)"
pids+=("$DULMAR_TESTDB_SERVER_PID")
out=$(sed -e '/^\s*$/d' -e 's/^GO\r\{0,1\}$/;/' "$sql_dir/generated-script-example.sql" | isql -e -b -n -v gen2 sa secret 2>&1)
if grep -q '^\[' <<<"$out"; then
  fail "isql generated-script-example.sql: $out"
fi
rows=$(printf '%s\n' "INSERT INTO KVSYSTEM.Kvs112Mnd (MndLiz, MndNum, MndSch) VALUES (7, 7, 'SIEBEN')" \
  "SELECT MndKon FROM KVSYSTEM.Kvs112Mnd WHERE MndLiz = 7" "SELECT COUNT(*) FROM KVSYSTEM.Kvs301Asw" \
  | isql -e -b -v -d'|' gen2 sa secret 2>&1)
[ "$rows" = $'0\n6' ] || fail "isql export rows: $rows"
err=$(echo "INSERT INTO KVS321BCH (BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst) VALUES ('00001001', '2007-01-01', '2007-01-01 08:00', 25, 'KSW', '')" \
  | isql -e -b -v gen2 sa secret 2>&1 || true)
grep -qF '[23000][FreeTDS][SQL Server]The INSERT statement conflicted with the CHECK constraint "CK_KVS321BCH_BchKst".' \
  <<<"$err" || fail "isql export check: $err"
echo "isql and tsql through the TDS server passed"
