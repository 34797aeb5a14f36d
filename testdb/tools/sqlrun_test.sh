#!/usr/bin/env bash
# dulmar-sqlrun cuts a script at its GO lines (never inside a literal or a
# comment; block comments nest), sends each batch whole, prints the rows of
# each of its results, and stops after the first batch with an error, its
# record on standard error and status 1. The export SQL Server Management
# Studio writes (sql/generated-script-example.sql, CRLF lines, upper-case GO)
# loads whole, its CHECKs and DEFAULTs in force. --commits tells the durable
# commits the driver counted, as the data source's count file holds them.
#
#   sqlrun_test.sh DSN_SCRIPT SQLRUN SQL_DIR
set -euo pipefail
dsn_script=$1
sqlrun=$2
sql_dir=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/dulmar-sqlrun.XXXXXX")
trap 'rm -rf "$work"' EXIT
eval "$(bash "$dsn_script" "$work/odbc" t "$work/t.db" sa secret)"

fail() { echo "FAIL: $*" >&2; exit 1; }

out=$(printf '%s\n' "SELECT 1 /* a /* b */ ; c */ ; SELECT 2" "go" "SELECT 'x;y' -- ;" | "$sqlrun" t sa secret)
[ "$out" = $'1\n2\nx;y' ] || fail "nested comments: $out"

status=0
out=$(printf '%s\n' "CREATE TABLE t (a int NULL)" "INSERT INTO t (a) VALUES (1)" "GO" \
  "INSERT INTO t (a) VALUES (2)" "SELECT 'open;" "go" "INSERT INTO t (a) VALUES (3);" | "$sqlrun" t sa secret 2>"$work/err") || status=$?
[ "$status" = 1 ] || fail "status $status after an unclosed quotation mark"
grep -qF "[42000] 105: [dulmar-testdb][SQL Server]Unclosed quotation mark after the character string 'open;" \
  "$work/err" || fail "error: $(cat "$work/err")"
out=$(echo "SELECT a FROM t" | "$sqlrun" t sa secret)
[ "$out" = "1" ] || fail "the batch before the error must run, nothing of its batch nor after it: $out"

status=0
"$sqlrun" t sa wrong </dev/null 2>"$work/err" || status=$?
[ "$status" = 1 ] && grep -qF "Login failed for user 'sa'." "$work/err" || fail "login: $status $(cat "$work/err")"
eval "$(bash "$dsn_script" "$work/odbc-gen" gen "$work/gen.db" sa secret)"
"$sqlrun" gen sa secret <"$sql_dir/generated-script-example.sql" >"$work/out" 2>&1 || fail "export: $(cat "$work/out")"
status=0
printf '%s\n' "INSERT INTO KVSYSTEM.Kvs112Mnd (MndLiz, MndNum, MndSch) VALUES (7, 7, 'SIEBEN')" \
  "SELECT MndKon FROM KVSYSTEM.Kvs112Mnd WHERE MndLiz = 7" \
  "INSERT INTO KVS321BCH (BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst) VALUES ('', '2007-01-01', '2007-01-01 08:00', 25, 'KSW', '4100')" \
  | "$sqlrun" gen sa secret >"$work/out" 2>"$work/err" || status=$?
[ "$status" = 1 ] && [ "$(cat "$work/out")" = 0 ] || fail "default: $status $(cat "$work/out")"
grep -qF '[23000] 547: [dulmar-testdb][SQL Server]The INSERT statement conflicted with the CHECK constraint "CK_KVS321BCH_BchPnr".' \
  "$work/err" || fail "check: $(cat "$work/err")"
eval "$(bash "$dsn_script" "$work/odbc-commits" c "$work/c.db" sa secret CommitMs=0.5 "CommitCountFile=$work/c.count")"
printf '%s\n' "CREATE TABLE c (a int NOT NULL)" "go" \
  "BEGIN TRANSACTION; INSERT INTO c VALUES (1); INSERT INTO c VALUES (2); COMMIT TRANSACTION" "go" \
  "INSERT INTO c VALUES (3); UPDATE c SET a = 4 WHERE a = 9; SELECT COUNT(*) FROM c" \
  | "$sqlrun" --commits c sa secret >"$work/out" 2>"$work/err" || fail "commits: $(cat "$work/err")"
[ "$(cat "$work/out")" = 3 ] || fail "commits: rows $(cat "$work/out")"
[ "$(cat "$work/err")" = "dulmar-sqlrun: 3 durable commits" ] || fail "commits told: $(cat "$work/err")"
[ "$(cat "$work/c.count")" = 3 ] || fail "count file: $(cat "$work/c.count")"
echo "sqlrun test passed"
