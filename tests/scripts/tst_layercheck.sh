#!/usr/bin/env bash
# The layer check on a small planted tree: an upward include ("..." or <...>) fails, an allowed one passes,
# a stale allow-list entry fails, and the project's own tree passes.
set -uo pipefail

CHECK=$1/scripts/check-layers.sh
# The tree is named after this process: a run killed at its time-out skips the trap, so each
# run first removes the trees whose process is gone.
TMP=${TMPDIR:-/tmp}
for old in "$TMP"/layercheck-*-*; do
    pid=${old#"$TMP"/layercheck-}
    pid=${pid%%-*}
    if [[ -d $old && ! -L $old && $pid =~ ^[0-9]+$ ]] && ! kill -0 "$pid" 2>/dev/null; then
        rm -rf "$old"
    fi
done
TREE=$(mktemp -d "$TMP/layercheck-$$-XXXXXX")
trap 'rm -rf "$TREE"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

mkdir -p "$TREE/src/core" "$TREE/src/view" "$TREE/src/control"
printf '#pragma once\n' > "$TREE/src/view/shape.h"
printf '#pragma once\n#include <QString>\n' > "$TREE/src/core/base.h"
printf '#include "base.h"\n#include "missing.h"\n' > "$TREE/src/view/shape.cpp"
printf '#include "shape.h"\n' > "$TREE/src/control/window.cpp"
: > "$TREE/allow.txt"

"$CHECK" "$TREE" "$TREE/allow.txt" > /dev/null 2>&1 || fail "a tree with downward includes only is refused"

# The planted upward include: core reaching into view.
printf '#include "base.h"\n  #  include "shape.h"  // planted\n' > "$TREE/src/core/base.cpp"
out=$("$CHECK" "$TREE" "$TREE/allow.txt" 2>&1) && fail "the upward include core -> view passed"
grep -q "src/core/base.cpp -> src/view/shape.h" <<< "$out" || fail "the report does not name the edge: $out"

# The angle-bracket form finds project headers too, by name or by a path that ends one;
# a system header that only shares a folder name with a layer is no edge.
printf '#include "base.h"\n#include <shape.h>\n' > "$TREE/src/core/base.cpp"
out=$("$CHECK" "$TREE" "$TREE/allow.txt" 2>&1) && fail "the upward include <shape.h> passed"
grep -q "src/core/base.cpp -> src/view/shape.h" <<< "$out" || fail "the report does not name the <> edge: $out"
printf '#include <view/shape.h>\n' > "$TREE/src/core/base.cpp"
"$CHECK" "$TREE" "$TREE/allow.txt" > /dev/null 2>&1 && fail "the upward include <view/shape.h> passed"
printf '#include <QString>\n#include <net/shape.h>\n#include <vector>\n' > "$TREE/src/core/base.cpp"
"$CHECK" "$TREE" "$TREE/allow.txt" > /dev/null 2>&1 || fail "a system header named like a project one is refused"
printf '#include "base.h"\n  #  include "shape.h"  // planted\n' > "$TREE/src/core/base.cpp"

# The composition root may include anything.
printf '#include "shape.h"\n' > "$TREE/src/core/startup.cpp"
echo "src/core/base.cpp -> src/view/shape.h" > "$TREE/allow.txt"
"$CHECK" "$TREE" "$TREE/allow.txt" > /dev/null 2>&1 || fail "an allowed edge or the composition root is refused"

# Mended code leaves a stale entry: the list must shrink with it.
printf '#include "base.h"\n' > "$TREE/src/core/base.cpp"
out=$("$CHECK" "$TREE" "$TREE/allow.txt" 2>&1) && fail "a stale allow-list entry passed"
grep -q "no longer occurs" <<< "$out" || fail "the stale entry is not reported: $out"

"$CHECK" "$1" > /dev/null || fail "the project's own tree breaks the layer order"
echo "layer check test passed"
