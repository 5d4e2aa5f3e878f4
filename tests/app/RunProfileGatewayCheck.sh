#!/usr/bin/env bash
# `make run` with the real program: the gateway starts on its emulator in the throwaway profile,
# connects, reads the (empty) modem memory without an error, and stops on SIGTERM.
set -euo pipefail
script=$1
program=$2
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
log="$work/profile/config/Quortane SMS/valtorin.log"
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen "$script" "$work/profile" "$program" \
  >"$work/out" 2>"$work/err" &
pid=$!
connected=0
for _ in $(seq 300); do
  # The first final result the sending thread logs after the listing is the listing's.
  if [ -f "$log" ] && awk '/Sent: AT\+CMGL=/ { listed = 1; next }
      listed && /Serial port: (OK|ERROR)|Can.t read modem memory/ { found = 1 }
      END { exit !found }' "$log"; then
    connected=1
    break
  fi
  sleep 0.1
done
status=0
if [ $connected = 0 ]; then
  echo "no answered listing after connecting:"; cat "$work/out" "$work/err" "$log" 2>/dev/null; status=1
fi
grep -q "Title: Parlane (connected to ttyEMU0)" "$log" || { echo "not connected"; status=1; }
if grep -q "Can't read modem memory" "$log"; then
  echo "the memory listing failed:"; grep "CMGL\|Can't" "$log"; status=1
fi
kill -TERM "$pid"
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "still running 10 s after SIGTERM"; status=1; fi
grep -q "Parlane stopped" "$log" || { echo "no orderly stop:"; tail -n 5 "$log"; status=1; }
exit $status
