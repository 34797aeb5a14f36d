# What the client tests of the TDS server share, sourced by them: a work
# folder removed at the exit with every server started into `pids`, `fail`,
# and the skip (CTest's 77) when a client tool is missing.
#
#   . client_test_common.sh WORK_NAME TOOL...
work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
shift
pids=()
trap 'for p in ${pids[@]+"${pids[@]}"}; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in "$@"; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool not installed (scripts/install-deps installs it)"; exit 77; }
done
