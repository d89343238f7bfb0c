#!/usr/bin/env bash
# The demo's helpers: the check before a start (taken ports in one sentence, a monitor in the
# folder, nothing written) and the loop that starts the monitor again after a logged reboot.
set -uo pipefail

SCRIPTS=$1/scripts
TMP=${TMPDIR:-/tmp}
# A run killed at its time-out skips the trap: each run first removes the folders of gone runs.
for old in "$TMP"/demoscripts-*-*; do
    pid=${old#"$TMP"/demoscripts-}
    pid=${pid%%-*}
    if [[ -d $old && ! -L $old && $pid =~ ^[0-9]+$ ]] && ! kill -0 "$pid" 2>/dev/null; then
        rm -rf "$old"
    fi
done
DIR=$(mktemp -d "$TMP/demoscripts-$$-XXXXXX")
HELD=()
trap 'for p in "${HELD[@]}"; do kill -9 "$p" 2>/dev/null; done; rm -rf "$DIR"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Listens on a free loopback port until killed; its port goes into $DIR/port.<name>.
listen() {
    python3 -c '
import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(4)
print(s.getsockname()[1], flush=True); time.sleep(120)' > "$DIR/port.$1" 2>/dev/null &
    HELD+=($!)
    disown
    for _ in $(seq 100); do [ -s "$DIR/port.$1" ] && break; sleep 0.05; done
}
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# check-demo-free.sh
RUN="$DIR/run"
mkdir -p "$RUN"
echo '{}' > "$RUN/platform.json"
snapshot() { (cd "$RUN" && find . -printf '%p %s %T@\n' | sort); }
BEFORE=$(snapshot)
listen vnc
listen modbus
VNC=$(cat "$DIR/port.vnc")
MODBUS=$(cat "$DIR/port.modbus")
API=$(free_port)
"$SCRIPTS/check-demo-free.sh" "$RUN" "" "$API" "$(free_port)" 2> "$DIR/err" || fail "free ports refused: $(cat "$DIR/err")"
"$SCRIPTS/check-demo-free.sh" "$RUN" "$VNC" "$API" "$MODBUS" 2> "$DIR/err" && fail "taken ports let through"
[ "$(wc -l < "$DIR/err")" -eq 1 ] || fail "not one line: $(cat "$DIR/err")"
grep -qx "run: 127.0.0.1 ports $VNC (VNC), $MODBUS (Modbus) are already in use, probably by a monitor started earlier, so stop that program and start ./run.sh again." "$DIR/err" ||
    fail "message: $(cat "$DIR/err")"
"$SCRIPTS/check-demo-free.sh" "$RUN" "" "$MODBUS" "$API" 2> "$DIR/err" && fail "a taken API port let through"
grep -q "port $MODBUS (HTTP API) is already in use" "$DIR/err" || fail "message: $(cat "$DIR/err")"
# A monitor holding its folder's lock, with every port free.
touch "$RUN/monitor.lock"
flock -F "$RUN/monitor.lock" sleep 120 > /dev/null 2>&1 &
HELD+=($!)
disown
for _ in $(seq 100); do ! flock -n "$RUN/monitor.lock" true && break; sleep 0.05; done
BEFORE=$(snapshot)
"$SCRIPTS/check-demo-free.sh" "$RUN" "" "$API" "$(free_port)" 2> "$DIR/err" && fail "a running monitor let through"
grep -qx "run: a monitor is already running in $RUN, so stop it and start ./run.sh again." "$DIR/err" ||
    fail "message: $(cat "$DIR/err")"
[ "$(snapshot)" == "$BEFORE" ] || fail "the check changed the runtime folder"

# run-monitor.sh, with a monitor that ends as its script says: one code a start.
cat > "$DIR/monitor" <<'SH'
#!/usr/bin/env bash
n=$(( $(cat "$0.runs" 2>/dev/null || echo 0) + 1 ))
echo "$n" > "$0.runs"
trap 'echo stopped > "$0.stopped"; kill $! 2>/dev/null; exit 0' TERM
code=$(sed -n "${n}p" "$0.codes")
if [ "$code" = wait ]; then sleep 60 & wait; fi
exit "$code"
SH
chmod +x "$DIR/monitor"
run_loop() {
    rm -f "$DIR/monitor.runs"
    printf '%s\n' "$@" > "$DIR/monitor.codes"
    "$SCRIPTS/run-monitor.sh" "$DIR/monitor" > "$DIR/out" 2>&1
}
run_loop 10 10 11 || fail "power-off did not end the demo normally"
[ "$(cat "$DIR/monitor.runs")" -eq 3 ] || fail "not started again after each restart"
[ "$(grep -c 'ended for a restart' "$DIR/out")" -eq 2 ] || fail "restarts not told: $(cat "$DIR/out")"
grep -q 'ended for a power-off (logged, not run); the demo ends.' "$DIR/out" || fail "power-off not told"
run_loop 3 10; CODE=$?
[ "$CODE" -eq 3 ] && [ "$(cat "$DIR/monitor.runs")" -eq 1 ] || fail "a refused start was started again (code $CODE)"
run_loop 0 10 || fail "a normal end is no failure"
[ "$(cat "$DIR/monitor.runs")" -eq 1 ] || fail "a normal end was started again"
# A TERM to the loop reaches the monitor, which ends normally.
rm -f "$DIR/monitor.runs" "$DIR/monitor.stopped"
echo wait > "$DIR/monitor.codes"
"$SCRIPTS/run-monitor.sh" "$DIR/monitor" > "$DIR/out" 2>&1 &
LOOP=$!
for _ in $(seq 100); do [ -s "$DIR/monitor.runs" ] && break; sleep 0.05; done
sleep 0.2
kill -TERM "$LOOP"
wait "$LOOP"; CODE=$?
[ "$CODE" -eq 0 ] && [ -e "$DIR/monitor.stopped" ] || fail "TERM did not end the monitor normally (code $CODE)"
echo "demo scripts ok"
