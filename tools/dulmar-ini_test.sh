#!/usr/bin/env bash
# dulmar-ini end to end: set then get for the run's three keys, exit statuses,
# refusals, and that a refused set leaves the file byte for byte as it was;
# parallel sets, the owner and mode of the file, and what a set must refuse.
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

# Eight sets of eight keys at once, a few rounds: every key must be there
# after each round. Without the lock each set reads the file, adds its key
# and renames its copy over the others', losing their keys.
for round in 1 2 3 4 5; do
  shared=$work/shared.ini
  rm -f "$shared" "$shared.lock"
  printf ';KVS;\r\n9;OTHER;0123456789ABCDEF\r\n' >"$shared"
  pids=()
  for n in 1 2 3 4 5 6 7 8; do
    "$tool" set "$shared" "KEY$n" "value $n" 2>"$work/parallel-$n.err" &
    pids+=($!)
  done
  for n in 1 2 3 4 5 6 7 8; do
    wait "${pids[$((n - 1))]}" || fail "round $round: set KEY$n failed ($(cat "$work/parallel-$n.err"))"
  done
  for n in 1 2 3 4 5 6 7 8; do
    [ "$("$tool" get "$shared" "KEY$n" 2>/dev/null)" == "value $n" ] || fail "round $round: KEY$n is lost"
  done
  grep -q $'^9;OTHER;0123456789ABCDEF\r$' "$shared" || fail "round $round: the other program's pair is gone"
done
[ -z "$(find "$work" -name '*.tmp')" ] || fail "a parallel set left a temporary file"

# A set waits for whoever holds the lock (here flock(1), as another set
# would) and then does its work: the copy taken while the lock was held
# lacks the new value, the file afterwards has it.
if command -v flock >/dev/null; then
  rm -f "$work/held"
  flock "$ini.lock" sh -c 'touch "$1/held"; sleep 1; cp "$2" "$1/during"' sh "$work" "$ini" &
  holder=$!
  for _ in $(seq 100); do [ -e "$work/held" ] && break; sleep 0.05; done
  expect 0 "set while the lock is held" "$tool" set "$ini" LOGIN "nach dem Warten"
  wait "$holder"
  grep -q "$("$tool" encipher "nach dem Warten")" "$work/during" && fail "the set did not wait for the lock"
  [ "$("$tool" get "$ini" LOGIN 2>/dev/null)" == "nach dem Warten" ] || fail "the set after the wait was lost"
fi

# The temporary file of a set that was killed goes with the next set.
printf 'half a file' >"$ini.dulmar-ini-99999-0.tmp"
expect 0 "set after a killed set" "$tool" set "$ini" LOGIN "nach Abbruch"
[ ! -e "$ini.dulmar-ini-99999-0.tmp" ] || fail "a killed set's temporary file was left"

# The replacement keeps the file's permissions (and, for the superuser, its
# owner).
chmod 0640 "$ini"
expect 0 "set keeps the mode" "$tool" set "$ini" LOGIN "mode"
[ "$(stat -c %a "$ini")" == 640 ] || fail "mode $(stat -c %a "$ini") after a set, expected 640"
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$ini"
  expect 0 "set keeps the owner" "$tool" set "$ini" LOGIN "owner"
  [ "$(stat -c %u:%g "$ini")" == 65534:65534 ] || fail "owner $(stat -c %u:%g "$ini") after a set"
  chown 0:0 "$ini"
fi

# Refused: a read-only file (for the superuser too), a device node, a folder,
# a link to nothing. Each stays as it was.
chmod 0444 "$ini"
cp "$ini" "$work/before"
expect 1 "read-only file" "$tool" set "$ini" LOGIN "x"
grep -q "read-only" "$work/err" || fail "read-only: message '$(cat "$work/err")'"
cmp -s "$ini" "$work/before" || fail "a read-only file was changed"
[ "$(stat -c %a "$ini")" == 444 ] || fail "a read-only file's mode changed"
chmod 0640 "$ini"
# A device node of the test's own where one can be made (as the superuser),
# so that a fault cannot touch the system's; otherwise /dev/null, which the
# set could not replace anyway.
device=/dev/null
if [ "$(id -u)" -eq 0 ] && mknod "$work/null" c 1 3 2>/dev/null; then device=$work/null; fi
expect 1 "device node" "$tool" set "$device" LOGIN "x"
grep -q "device" "$work/err" || fail "device: message '$(cat "$work/err")'"
[ -c "$device" ] || fail "the device node $device was replaced"
[ ! -e "$device.lock" ] || fail "a lock file was made beside $device"
mkdir -p "$work/folder.ini"
expect 1 "folder" "$tool" set "$work/folder.ini" LOGIN "x"
[ -d "$work/folder.ini" ] || fail "the folder was replaced"
ln -sfn "$work/gone.ini" "$work/dangling.ini"
expect 1 "dangling link" "$tool" set "$work/dangling.ini" LOGIN "x"
[ -L "$work/dangling.ini" ] && [ ! -e "$work/gone.ini" ] || fail "the dangling link was followed or replaced"

# get warns of a stored value that is no cipher text, and prints what
# dulmar reads.
printf ';KVS;\r\n1;LOGIN;0123456789abcdef\r\n' >"$work/bad.ini"
expect 0 "get of a bad cipher text" "$tool" get "$work/bad.ini" LOGIN
grep -q "warning: .*no upper-case hexadecimal digit" "$work/err" || fail "no warning: '$(cat "$work/err")'"
[ "$(wc -l <"$work/out")" -eq 1 ] || fail "get printed no value for a bad cipher text"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "dulmar-ini: all checks passed"
