#!/bin/sh
# Installs the example photographs that bench_recognition_quality reads (not needed by ./test.sh).
set -e
DIR=/usr/share/doc/opencv-doc/examples/data
if [ -d "$DIR" ] && ls "$DIR"/*.jpg >/dev/null 2>&1; then
    echo "photographs present in $DIR"
    exit 0
fi
apt-get install -y --no-install-recommends opencv-doc >/dev/null
ls "$DIR"/*.jpg >/dev/null
echo "photographs installed in $DIR"
