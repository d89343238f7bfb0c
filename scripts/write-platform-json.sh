#!/usr/bin/env bash
# Writes platform.json of an off-panel run: host-changing commands only logged, system files
# under <runtime folder>/sysroot, and the serial device when one is given.
# Usage: write-platform-json.sh <runtime folder> [serial device]
set -euo pipefail
RUN=$(cd "$1" && pwd)
SERIAL=${2:-}
python3 - "$RUN" "$SERIAL" <<'PY'
import json, sys
run, serial = sys.argv[1], sys.argv[2]
conf = {"commands": "log", "root": run + "/sysroot"}
if serial:
    conf["serial"] = serial
with open(run + "/platform.json", "w") as f:
    json.dump(conf, f, indent=2)
    f.write("\n")
PY
