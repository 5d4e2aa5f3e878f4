#!/usr/bin/env bash
# `make run` without a display: the offscreen platform's complaints are kept from the terminal,
# everything else the program writes gets through.
set -euo pipefail
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/program" <<'PROGRAM'
#!/bin/sh
echo "This plugin does not support propagateSizeHints()" >&2
echo "This plugin does not support raise()" >&2
echo "Serial port: a real problem" >&2
echo "on the output"
echo "arguments: $*"
PROGRAM
chmod +x "$work/program"
env -u DISPLAY -u WAYLAND_DISPLAY "$script" "$work/profile" "$work/program" -noicon >"$work/out" 2>"$work/err"
# The filter may finish after the script.
for _ in $(seq 50); do grep -q "a real problem" "$work/err" && break; sleep 0.1; done
status=0
if grep -q "This plugin does not support" "$work/err"; then
  echo "offscreen platform noise reached the terminal:"; cat "$work/err"; status=1
fi
grep -q "Serial port: a real problem" "$work/err" || { echo "error output lost:"; cat "$work/err"; status=1; }
grep -q "on the output" "$work/out" || { echo "output lost:"; cat "$work/out"; status=1; }
# The profile and the program are the script's own; only what follows them reaches the program.
grep -qx "arguments: -noicon" "$work/out" || { echo "wrong arguments:"; cat "$work/out"; status=1; }
exit $status
