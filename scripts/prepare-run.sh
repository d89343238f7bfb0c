#!/usr/bin/env bash
# Fills the runtime folder from the build: program, libraries, plug-ins, pictures, help, factory data.
# Usage: prepare-run.sh <build bin folder> <runtime folder>
set -euo pipefail
BIN=$(cd "$1" && pwd)
mkdir -p "$2"
RUN=$(cd "$2" && pwd)
SRC=$(cd "$(dirname "$0")/.." && pwd)

mkdir -p "$RUN/sysroot"
cp -f "$BIN/monitor" "$RUN/"
for lib in "$BIN"/*.so "$BIN"/*.so.*; do
  [ -e "$lib" ] && cp -fP "$lib" "$RUN/"
done
if [ -d "$BIN/Plugins" ]; then
  rm -rf "$RUN/Plugins"
  cp -r "$BIN/Plugins" "$RUN/Plugins"
  # In the demo the simulated cameras present themselves as real ones: with no real camera
  # the program would ask at every start whether to forget the stored camera order.
  if [ -f "$RUN/Plugins/Cameras/simcamera.json" ]; then
    sed -i 's/"cameraType": *0/"cameraType": 1/' "$RUN/Plugins/Cameras/simcamera.json"
  fi
fi

# Pictures: painted by the build (target assets) into the build's images/.
if [ -d "$BIN/images" ]; then
  mkdir -p "$RUN/images"
  cp -r "$BIN/images/." "$RUN/images/"
else
  echo "run: $BIN/images is missing (build the target assets); the screens will show no pictures" >&2
fi
# The placeholder help pages, painted beside images/.
for help in help help-en; do
  if [ -d "$BIN/$help" ]; then
    mkdir -p "$RUN/$help"
    cp -r "$BIN/$help/." "$RUN/$help/"
  fi
done
if [ -d "$SRC/assets" ] && [ -n "$(ls -A "$SRC/assets")" ]; then
  cp -r "$SRC/assets/." "$RUN/"
fi

# The program never creates its factory databases itself.
if [ -x "$BIN/factory-data" ] && [ ! -e "$RUN/PARAM.db" ]; then
  echo "run: writing factory data into $RUN"
  (cd "$RUN" && "$BIN/factory-data" "$RUN")
  # The demo guards one taught mould: a region and template of camera 1's mould step. Run
  # in the runtime folder: reading the parameter record keeps its group files (sysadd.txt,
  # paraGroup/) in the working folder.
  if [ -x "$BIN/demo-mould" ]; then
    (cd "$RUN" && "$BIN/demo-mould" "$RUN")
  fi
fi

# The statistics exporter, where the statistics page runs it.
if [ -x "$BIN/export_result_statistics" ]; then
  mkdir -p "$RUN/cnt_net/export_result_statistics"
  cp -f "$BIN/export_result_statistics" "$RUN/cnt_net/export_result_statistics/"
fi
