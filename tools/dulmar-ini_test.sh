#!/usr/bin/env bash
# dulmar-ini end to end: set then get for the run's three keys, exit statuses,
# refusals, and that a refused set leaves the file byte for byte as it was.
# Usage: dulmar-ini_test.sh PATH-OF-dulmar-ini WORK-FOLDER
set -uo pipefail

tool=$1
work=$2
rm -rf "$work" && mkdir -p "$work"
ini=$work/KORVANDEL.INI
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# expect STATUS DESCRIPTION COMMAND...: runs the command, checks its status.
expect() {
  local want=$1 what=$2
  shift 2
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ "$got" -eq "$want" ] || fail "$what: status $got, expected $want ($(cat "$work/err"))"
}

# A file another program of the system shares: its pairs must survive.
printf ';KVS;\r\n9;OTHER;0123456789ABCDEF\r\n' >"$ini"

# Values with blanks, semicolons and Windows-1252 letters (ä ö ü ß é as bytes).
database=$'DSN Zeiterfassung'
login=$'sa;admin'
pass=$'P\xe4\xdfw\xf6rt; mit Leer \xe9'

expect 0 "set DATABASE" "$tool" set "$ini" DATABASE "$database"
expect 0 "set LOGIN" "$tool" set "$ini" LOGIN "$login"
printf '%s\r\n' "$pass" >"$work/pass"
expect 0 "set PASS from standard input" "$tool" set "$ini" PASS - <"$work/pass"

for pair in "DATABASE:$database" "LOGIN:$login" "PASS:$pass"; do
  key=${pair%%:*}
  want=${pair#*:}
  expect 0 "get $key" "$tool" get "$ini" "$key"
  [ "$(cat "$work/out")" == "$want" ] || fail "get $key gave '$(cat "$work/out")'"
done
grep -q $'^9;OTHER;0123456789ABCDEF\r$' "$ini" || fail "the other program's pair is gone"
[ -z "$(find "$work" -name '*.tmp')" ] || fail "a temporary file was left behind"

# Replacing a value keeps the file's other bytes.
cp "$ini" "$work/before"
expect 0 "set LOGIN again" "$tool" set "$ini" LOGIN "neu"
expect 0 "get LOGIN again" "$tool" get "$ini" LOGIN
[ "$(cat "$work/out")" == "neu" ] || fail "the new LOGIN is not read"
expect 0 "get PASS again" "$tool" get "$ini" PASS
[ "$(cat "$work/out")" == "$pass" ] || fail "PASS changed with LOGIN"
[ "$(wc -c <"$ini")" -eq "$(wc -c <"$work/before")" ] || fail "the file grew on a replacement"

# encipher and decipher agree with each other.
hex=$("$tool" encipher "$pass")
[ "$("$tool" decipher "$hex")" == "$pass" ] || fail "decipher does not undo encipher"

# Usage errors: status 2.
expect 2 "no command" "$tool"
expect 2 "unknown command" "$tool" frobnicate
expect 2 "get without KEY" "$tool" get "$ini"
expect 2 "set without VALUE" "$tool" set "$ini" PASS
expect 0 "help" "$tool" help

# Refusals and failures: status 1, and the file stays byte for byte.
cp "$ini" "$work/before"
expect 1 "97 characters" "$tool" set "$ini" PASS "$(printf 'v%.0s' {1..97})"
printf 'a\0b' >"$work/zero"
expect 1 "zero byte" "$tool" set "$ini" PASS - <"$work/zero"
expect 1 "line end" "$tool" set "$ini" PASS $'two\nlines'
expect 1 "carriage return" "$tool" set "$ini" PASS $'two\rlines'
expect 1 "key with separator" "$tool" set "$ini" 'PA;SS' v
expect 1 "lower-case cipher text" "$tool" decipher 0123456789abcdef
expect 1 "missing file" "$tool" get "$work/missing.ini" PASS
expect 1 "folder as file" "$tool" set "$work" PASS v
cmp -s "$ini" "$work/before" || fail "a refused set changed the file"
expect 0 "96 characters" "$tool" set "$ini" PASS "$(printf 'v%.0s' {1..96})"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "dulmar-ini: all checks passed"
