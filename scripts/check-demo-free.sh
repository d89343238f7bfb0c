#!/usr/bin/env bash
# Whether the demo may start: none of its ports on 127.0.0.1 is taken and no monitor runs in
# its runtime folder. Only looks, never writes. Exit 1 with one sentence on standard error
# otherwise. An empty VNC port (a display is there) is not checked.
# Usage: check-demo-free.sh <runtime folder> <VNC port or ""> <API port> <Modbus port>
set -uo pipefail
RUN_DIR=$1
ADDR=127.0.0.1
TAKEN=()
port_taken() { (exec 3<>"/dev/tcp/$ADDR/$1") 2>/dev/null; }
if [ -n "$2" ] && port_taken "$2"; then TAKEN+=("$2 (VNC)"); fi
if port_taken "$3"; then TAKEN+=("$3 (HTTP API)"); fi
if port_taken "$4"; then TAKEN+=("$4 (Modbus)"); fi
if [ ${#TAKEN[@]} -gt 0 ]; then
  LIST=$(IFS=,; echo "${TAKEN[*]}" | sed 's/,/, /g')
  if [ ${#TAKEN[@]} -gt 1 ]; then WHAT="ports $LIST are"; else WHAT="port $LIST is"; fi
  echo "run: $ADDR $WHAT already in use, probably by a monitor started earlier, so stop that program and start ./run.sh again." >&2
  exit 1
fi
# The monitor holds this lock for its whole run; the kernel drops it when the monitor ends.
if [ -e "$RUN_DIR/monitor.lock" ] && ! flock -n "$RUN_DIR/monitor.lock" true; then
  echo "run: a monitor is already running in $RUN_DIR, so stop it and start ./run.sh again." >&2
  exit 1
fi
exit 0
