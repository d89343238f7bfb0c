#!/usr/bin/env bash
# Builds the monitor (installing what is missing), prepares the runtime folder run/ and starts
# the simulated IO board and the monitor: full screen on $DISPLAY, otherwise over VNC.
set -euo pipefail
cd "$(dirname "$0")"
BUILD_DIR=${BUILD_DIR:-build}
RUN_DIR=${RUN_DIR:-run}
VNC_ADDR=127.0.0.1
VNC_PORT=5900
API_PORT=18100
PEER_PORT=18431
MODBUS_PORT=18502
SCREEN=1920x1080
QT_PLATFORMS=/usr/lib/x86_64-linux-gnu/qt5/plugins/platforms

# Before anything is built or written: a monitor still running (or another program) on the
# demo's ports would leave this one without a screen or a service, and one running in the same
# runtime folder refuses to start anyway.
VNC_CHECK=$VNC_PORT
if [ -n "${DISPLAY:-}" ]; then VNC_CHECK=""; fi
./scripts/check-demo-free.sh "$RUN_DIR" "$VNC_CHECK" "$API_PORT" "$MODBUS_PORT" || exit 1

./scripts/install-deps.sh
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
# Only what the demo runs: a test that does not build must not keep the monitor from starting.
TARGETS=(monitor)
KNOWN=$(cmake --build "$BUILD_DIR" --target help)
for t in simcamera ioboard-sim factory-data demo-mould assets; do
  if grep -q "^$t:" <<<"$KNOWN"; then TARGETS+=("$t"); fi
done
cmake --build "$BUILD_DIR" -j "$(nproc)" --target "${TARGETS[@]}"
BIN="$BUILD_DIR/bin"
BUILD_DIR_ABS=$(cd "$BUILD_DIR" && pwd)
SRC_DIR=$(pwd)
./scripts/prepare-run.sh "$BIN" "$RUN_DIR"
RUN=$(cd "$RUN_DIR" && pwd)

SIM_PID=""
LOOP_PID=""
cleanup() {
  if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; fi
  exec 3>&- 2>/dev/null || true
}
# Ctrl-C (or a TERM to this script) ends the monitor normally: it closes its databases first.
# The demo then ends as the monitor did, 0 after an orderly stop, however it was asked to.
stop_loop() {
  local code=0
  if [ -n "$LOOP_PID" ]; then
    kill -TERM "$LOOP_PID" 2>/dev/null || true
    wait "$LOOP_PID" 2>/dev/null
    code=$?
  fi
  exit "$code"
}
trap cleanup EXIT
trap stop_loop INT TERM

SERIAL=""
if [ -x "$BIN/ioboard-sim" ]; then
  # The board reads its keyboard commands from a pipe, so the monitor can keep the terminal.
  rm -f "$RUN/ioboard.in"
  mkfifo "$RUN/ioboard.in"
  exec 3<>"$RUN/ioboard.in"
  "$BIN/ioboard-sim" <&3 >"$RUN/ioboard-sim.log" 2>&1 &
  SIM_PID=$!
  for _ in $(seq 50); do
    SERIAL=$(grep -o -m1 '/dev/pts/[0-9]*' "$RUN/ioboard-sim.log" || true)
    [ -n "$SERIAL" ] && break
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$SERIAL" ]; then
    echo "run: the IO board simulator printed no pseudo-terminal (see $RUN/ioboard-sim.log)" >&2
    exit 1
  fi
  echo "run: IO board simulator on $SERIAL; set its inputs by writing to $RUN/ioboard.in"
fi
./scripts/write-platform-json.sh "$RUN" "$SERIAL" "$API_PORT" "$PEER_PORT" "$MODBUS_PORT"

cd "$RUN"
# This is a development desktop, and the program knows one by its platform plug-in path:
# it then skips the panel's waits for the network card and the cameras and does not start
# the network-card script. Qt still finds its plug-ins in the usual places.
export QT_QPA_PLATFORM_PLUGIN_PATH=/opt/Qt5.15.7/plugins/platforms
if [ -z "${DISPLAY:-}" ]; then
  if [ ! -e "$QT_PLATFORMS/libqvnc.so" ]; then
    echo "run: Qt's VNC platform plug-in is missing ($QT_PLATFORMS/libqvnc.so)" >&2
    exit 1
  fi
  # Qt's VNC server listens on every interface; the preloaded shim keeps it on loopback.
  SHIM="$BUILD_DIR_ABS/vnc-localhost.so"
  cc -shared -fPIC -O2 -o "$SHIM" "$SRC_DIR/scripts/vnc-localhost.c" -ldl
  echo "run: no display; the monitor's screen ($SCREEN) is served over VNC."
  echo "run: connect a VNC viewer to $VNC_ADDR:$VNC_PORT (for example: vncviewer $VNC_ADDR::$VNC_PORT)"
fi
echo "run: stop the monitor with Ctrl-C here."
MONITOR=(./monitor)
if [ -z "${DISPLAY:-}" ]; then
  MONITOR=(env VNC_LOCAL_PORT="$VNC_PORT" LD_PRELOAD="$SHIM" ./monitor -platform "vnc:size=$SCREEN:port=$VNC_PORT")
fi
# Off the panel a logged "reboot" ends the monitor and the loop starts it again.
"$SRC_DIR/scripts/run-monitor.sh" "${MONITOR[@]}" &
LOOP_PID=$!
CODE=0
wait "$LOOP_PID" || CODE=$?
LOOP_PID=""
exit "$CODE"
