#!/usr/bin/env bash
# Batches through FreeTDS: tsql sends each GO-separated batch whole with its
# new lines, isql (FreeTDS's ODBC driver) walks the results with
# SQLMoreResults. Statements without separators; a duplicate key, a CHECK and
# a NOT NULL failure ending only their statement, with their lines; a
# conversion error ending the batch; a transaction around a failing statement
# committing the good rows and XACT_ABORT ON rolling it back; a break in
# mid-batch delivering the results before it; the program's own requests
# (its SETs, BEGIN ... COMMIT around its INSERTs, SELECT @@TRANCOUNT) skipped
# where they have no result, and their one durable commit counted.
#
#   client_batch_test.sh SERVER_SCRIPT
set -euo pipefail
server_script=$1
. "$(dirname "$0")/client_test_common.sh" dulmar-tds-batches isql tsql

eval "$(bash "$server_script" "$work/odbc" demo "$work/b.db" sa secret)"
pids+=("$DULMAR_TESTDB_SERVER_PID")
port=$(cat "$work/odbc/demo.port")
tsql_run() { tsql -H 127.0.0.1 -p "$port" -U sa -P secret -D b -J CP1252 -o q "$@"; }
# isql -n joins a line ending in ';' into one request; timeout: a client that
# loops on a lost link must not hang the test.
isql_run() { timeout "${1:-20}" isql -e -b -n -v -d'|' demo sa secret; }

out=$(printf '%s\n' \
  "CREATE TABLE b (a int NOT NULL CONSTRAINT PK_b PRIMARY KEY, c varchar(3) NULL CONSTRAINT CK_b CHECK (c <> 'bad'))" \
  "INSERT INTO b (a) VALUES (1)" "INSERT INTO b (a) VALUES (1)" "INSERT INTO b (a, c) VALUES (2, 'bad')" \
  "INSERT INTO b (a) VALUES (NULL)" "INSERT INTO b (a) VALUES (3)" "go" \
  "INSERT INTO b (a) VALUES (4)" "INSERT INTO b (a) VALUES ('x')" "INSERT INTO b (a) VALUES (5)" "go" \
  "SELECT a FROM b ORDER BY a" "go" | tsql_run 2>&1)
msgs=$(grep '^Msg' <<<"$out" | sed 's/ (severity.*Line / line /; s/:$//')
[ "$msgs" = "Msg 2627 line 3
Msg 3621 line 3
Msg 547 line 4
Msg 3621 line 4
Msg 515 line 5
Msg 3621 line 5
Msg 245 line 2" ] || fail "tsql messages: $out"
rows=$(grep -E '^[0-9]+$' <<<"$out" | tr '\n' ' ')
[ "$rows" = "1 3 4 " ] || fail "tsql rows: $rows"

# One result per statement: the failed one an error, the next ones run.
out=$(echo "BEGIN TRAN INSERT INTO b (a) VALUES (10) INSERT INTO b (a) VALUES (1) INSERT INTO b (a) VALUES (11) COMMIT SELECT a FROM b WHERE a >= 10;" | isql_run 2>&1)
[ "$out" = "[23000][FreeTDS][SQL Server]Violation of PRIMARY KEY constraint 'PK_b'. Cannot insert duplicate key in object 'dbo.b'. The duplicate key value is (1).
[01000][FreeTDS][SQL Server]The statement has been terminated.
[ISQL]ERROR: SQLMoreResults returned SQL_ERROR
10
11" ] || fail "isql transaction: $out"
echo "SET XACT_ABORT ON BEGIN TRAN INSERT INTO b (a) VALUES (12) INSERT INTO b (a) VALUES (1) INSERT INTO b (a) VALUES (13) COMMIT;" \
  | isql_run >/dev/null 2>&1 || true
out=$(echo "SELECT @@TRANCOUNT SELECT COUNT(*) FROM b WHERE a >= 12;" | isql_run 2>&1)
[ "$out" = $'0\n0' ] || fail "XACT_ABORT ON: $out"
kill "$DULMAR_TESTDB_SERVER_PID"

# BreakAtStatements counts statements within a batch: the first two ran and
# answered, the third meets the lost link (FreeTDS: 20017).
eval "$(bash "$server_script" "$work/odbc-break" demo "$work/b.db" sa secret BreakAtStatements=3)"
pids+=("$DULMAR_TESTDB_SERVER_PID")
out=$(echo "INSERT INTO b (a) VALUES (20) INSERT INTO b (a) VALUES (21) INSERT INTO b (a) VALUES (22) INSERT INTO b (a) VALUES (23);" \
  | isql_run 3 2>&1 || true)
grep -qF "[01000][FreeTDS][SQL Server]Unexpected EOF from the server" <<<"$out" || fail "break: $out"
kill "$DULMAR_TESTDB_SERVER_PID"
eval "$(bash "$server_script" "$work/odbc-after" demo "$work/b.db" sa secret)"
pids+=("$DULMAR_TESTDB_SERVER_PID")
out=$(echo "SELECT a FROM b WHERE a >= 20 ORDER BY a;" | isql_run 2>&1)
[ "$out" = $'20\n21' ] || fail "after the break: $out"
kill "$DULMAR_TESTDB_SERVER_PID"

# The program's requests: FreeTDS skips the DONEs without a count of the SETs
# and the transaction statements; a duplicate key ends only its INSERT; the
# request commits once, written to the count file when isql disconnects.
eval "$(bash "$server_script" --commit-ms 0.5 --commit-count-file "$work/commits" "$work/odbc-commit" demo "$work/b.db" \
  sa secret)"
pids+=("$DULMAR_TESTDB_SERVER_PID")
out=$(echo "SET XACT_ABORT OFF; SET IMPLICIT_TRANSACTIONS OFF; SET NOCOUNT OFF;" | isql_run 2>&1)
[ -z "$out" ] || fail "session options: $out"
out=$(echo "SELECT 1; BEGIN TRANSACTION; INSERT INTO b (a) VALUES (30); INSERT INTO b (a) VALUES (1); INSERT INTO b (a) VALUES (31); COMMIT TRANSACTION; SELECT @@TRANCOUNT;" \
  | isql_run 2>&1)
[ "$out" = "1
[23000][FreeTDS][SQL Server]Violation of PRIMARY KEY constraint 'PK_b'. Cannot insert duplicate key in object 'dbo.b'. The duplicate key value is (1).
[01000][FreeTDS][SQL Server]The statement has been terminated.
[ISQL]ERROR: SQLMoreResults returned SQL_ERROR
0" ] || fail "the storing request: $out"
[ "$(cat "$work/commits")" = 1 ] || fail "commit count: $(cat "$work/commits")"
out=$(echo "IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;" | isql_run 2>&1)
[ -z "$out" ] || fail "rollback when none is open: $out"
out=$(echo "SELECT a FROM b WHERE a >= 30 ORDER BY a;" | isql_run 2>&1)
[ "$out" = $'30\n31' ] || fail "stored by the request: $out"
echo "batches through FreeTDS passed"
