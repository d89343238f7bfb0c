#!/usr/bin/env bash
# Builds the monitor (installing what is missing), prepares the runtime folder run/ and starts
# the simulated IO board and the monitor: full screen on $DISPLAY, otherwise over VNC.
set -euo pipefail
cd "$(dirname "$0")"
BUILD_DIR=${BUILD_DIR:-build}
RUN_DIR=${RUN_DIR:-run}
VNC_ADDR=127.0.0.1
VNC_PORT=5900
SCREEN=1920x1080
QT_PLATFORMS=/usr/lib/x86_64-linux-gnu/qt5/plugins/platforms

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

# Without a display the screen goes out over VNC; with the port taken Qt would run the
# monitor with no screen at all, so stop here and say why.
if [ -z "${DISPLAY:-}" ] && (exec 3<>"/dev/tcp/$VNC_ADDR/$VNC_PORT") 2>/dev/null; then
  echo "run: $VNC_ADDR:$VNC_PORT is already in use (another VNC server, or a monitor started earlier" >&2
  echo "run: still running); stop that program and start ./run.sh again." >&2
  exit 1
fi

SIM_PID=""
cleanup() {
  if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; fi
  exec 3>&- 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

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
./scripts/write-platform-json.sh "$RUN" "$SERIAL"

cd "$RUN"
# This is a development desktop, and the program knows one by its platform plug-in path:
# it then skips the panel's waits for the network card and the cameras and does not start
# the network-card script. Qt still finds its plug-ins in the usual places.
export QT_QPA_PLATFORM_PLUGIN_PATH=/opt/Qt5.15.7/plugins/platforms
if [ -n "${DISPLAY:-}" ]; then
  ./monitor
else
  if [ ! -e "$QT_PLATFORMS/libqvnc.so" ]; then
    echo "run: Qt's VNC platform plug-in is missing ($QT_PLATFORMS/libqvnc.so)" >&2
    exit 1
  fi
  # Qt's VNC server listens on every interface; the preloaded shim keeps it on loopback.
  SHIM="$BUILD_DIR_ABS/vnc-localhost.so"
  cc -shared -fPIC -O2 -o "$SHIM" "$SRC_DIR/scripts/vnc-localhost.c" -ldl
  echo "run: no display; the monitor's screen ($SCREEN) is served over VNC."
  echo "run: connect a VNC viewer to $VNC_ADDR:$VNC_PORT (for example: vncviewer $VNC_ADDR::$VNC_PORT)"
  echo "run: stop the monitor with Ctrl-C here."
  VNC_LOCAL_PORT=$VNC_PORT LD_PRELOAD="$SHIM" ./monitor -platform "vnc:size=$SCREEN:port=$VNC_PORT"
fi
