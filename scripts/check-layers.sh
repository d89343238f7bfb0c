#!/usr/bin/env bash
# Fails when a source file includes a header of a higher layer that the allow-list does not name,
# in either include form ("..." or <...>).
#
# Usage: check-layers.sh [source root] [allow-list]
# Layers, lowest first: platform core net vision widgets view control records settings.
# A file may include from its own layer and those below. The composition root
# (src/core/startup.cpp, src/main.cpp) may include anything. Every line of the allow-list
# is one tolerated upward edge "src/<from file> -> src/<included file>"; an entry that no
# longer occurs is an error too, so the list only shrinks.
set -euo pipefail

ROOT=${1:-$(cd "$(dirname "$0")/.." && pwd)}
ALLOW=${2:-$ROOT/scripts/layer-allowlist.txt}
LAYERS=(platform core net vision widgets view control records settings)
COMPOSITION_ROOT=("src/core/startup.cpp" "src/main.cpp")

cd "$ROOT"

rank_of() {
    local i
    for i in "${!LAYERS[@]}"; do
        if [[ ${LAYERS[$i]} == "$1" ]]; then
            echo "$i"
            return
        fi
    done
    echo -1
}

# Every header under src/<layer>/, by base name (all layer folders are include directories).
declare -A HEADER_PATH
while IFS= read -r h; do
    HEADER_PATH[$(basename "$h")]=$h
done < <(find src -mindepth 2 -type f \( -name '*.h' -o -name '*.hpp' \) | sort)

declare -A ALLOWED USED
if [[ -f $ALLOW ]]; then
    while IFS= read -r line; do
        line=${line%%#*}
        line=$(echo "$line" | xargs)
        [[ -z $line ]] && continue
        ALLOWED[$line]=1
    done < "$ALLOW"
fi

failed=0
while IFS= read -r file; do
    for root in "${COMPOSITION_ROOT[@]}"; do
        [[ $file == "$root" ]] && continue 2
    done
    layer=$(echo "$file" | cut -d/ -f2)
    from=$(rank_of "$layer")
    [[ $from -lt 0 ]] && continue
    while IFS= read -r inc; do
        form=${inc:0:1}
        inc=${inc:1}
        target=${HEADER_PATH[$(basename "$inc")]:-}
        [[ -z $target ]] && continue
        # <...> also finds project headers (every layer folder and src/ are include
        # directories); a path with folders names a project header only when it ends it,
        # so <net/if.h> stays the system's.
        if [[ $form == "<" && $inc == */* && $target != */"$inc" ]]; then
            continue
        fi
        to=$(rank_of "$(echo "$target" | cut -d/ -f2)")
        [[ $to -le $from ]] && continue
        edge="$file -> $target"
        if [[ -n ${ALLOWED[$edge]:-} ]]; then
            USED[$edge]=1
        else
            echo "upward include: $edge (${LAYERS[$from]} below ${LAYERS[$to]})" >&2
            failed=1
        fi
    done < <(sed -n -e 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/"\1/p' \
        -e 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<\([^>]*\)>.*/<\1/p' "$file")
done < <(find src -mindepth 2 -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' \) | sort)

for edge in "${!ALLOWED[@]}"; do
    if [[ -z ${USED[$edge]:-} ]]; then
        echo "allow-list entry no longer occurs, remove it: $edge" >&2
        failed=1
    fi
done

if [[ $failed -ne 0 ]]; then
    echo "layer check failed (order: ${LAYERS[*]})" >&2
    exit 1
fi
echo "layer check passed"
