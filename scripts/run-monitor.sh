#!/usr/bin/env bash
# Runs the monitor (the command given) until it ends for anything but a restart. Off the panel
# a logged "reboot" (a restored parameter group, a new language, a new clock) ends the monitor
# with exit code 10, and it is started again here, as the panel would come up again; a logged
# power-off ends it with 11 and the demo with it. A TERM (or INT) ends the monitor normally: it
# closes its databases first. Exits with the monitor's last code (0 after a power-off, and 0
# after a stop that the monitor ended normally).
# Usage: run-monitor.sh <program> [arguments...]
set -uo pipefail
EXIT_RESTART=10
EXIT_POWER_OFF=11
MON_PID=""
stop_monitor() {
  local code=0
  if [ -n "$MON_PID" ]; then
    kill -TERM "$MON_PID" 2>/dev/null
    wait "$MON_PID" 2>/dev/null
    code=$?
  fi
  exit "$code"
}
trap stop_monitor INT TERM
while :; do
  # In the background, so that a stop reaches the trap at once.
  "$@" &
  MON_PID=$!
  CODE=0
  wait "$MON_PID" || CODE=$?
  MON_PID=""
  case $CODE in
    "$EXIT_RESTART")
      echo "run: the monitor ended for a restart (its \"reboot\" is logged, not run); starting it again." ;;
    "$EXIT_POWER_OFF")
      echo "run: the monitor ended for a power-off (logged, not run); the demo ends."
      exit 0 ;;
    0) exit 0 ;;
    *)
      echo "run: the monitor ended with exit code $CODE." >&2
      exit "$CODE" ;;
  esac
done
