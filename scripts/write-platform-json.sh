#!/usr/bin/env bash
# Writes platform.json of an off-panel run: host-changing commands only logged, system files
# under <runtime folder>/sysroot, the serial device when one is given, and the network
# services on 127.0.0.1 at unprivileged ports. A runtime folder without cnt_net/config.json
# also gets one with the API service switched on (networking to the companion peer off).
# Usage: write-platform-json.sh <runtime folder> [serial device [api port peer port modbus port]]
set -euo pipefail
RUN=$(cd "$1" && pwd)
SERIAL=${2:-}
python3 - "$RUN" "$SERIAL" "${3:-18100}" "${4:-18431}" "${5:-18502}" <<'PY'
import json, os, sys
run, serial = sys.argv[1], sys.argv[2]
api, peer, modbus = (int(p) for p in sys.argv[3:6])
conf = {
    "commands": "log",
    "root": run + "/sysroot",
    "listen": "127.0.0.1",
    "ports": {"api": api, "peer": peer, "modbus": modbus},
}
if serial:
    conf["serial"] = serial
with open(run + "/platform.json", "w") as f:
    json.dump(conf, f, indent=2)
    f.write("\n")
net = os.path.join(run, "cnt_net", "config.json")
if not os.path.exists(net):
    os.makedirs(os.path.dirname(net), exist_ok=True)
    with open(net, "w") as f:
        json.dump({"devicename": "demo", "device_worknetfunc": False, "device_workvideo": False,
                   "device_workapifunc": True, "workspace": "./cnt_net/workspace"}, f, indent=2)
        f.write("\n")
PY
