#!/usr/bin/env bash
# Extraction throughput: lzhx against the LZH extractors Debian ships, on
# the same -lh5- archive (level-2 headers, written by jlha) of generated
# mixed data. Prints the best wall and CPU time of RUNS runs, MB/s of
# output for each, and peak RSS per tool, for each archive size.
#
# usage: bench/extract_bench.sh [SIZE_MB...]     (default: 16 64)
#   LZHX=path   the lzhx to time (default: build/native/tools/lzhx/lzhx,
#               built here if missing)
#   RUNS=n      runs per tool and size (default 3)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(16 64)
runs=${RUNS:-3}
lzhx=${LZHX:-$root/build/native/tools/lzhx/lzhx}
if [ ! -x "$lzhx" ]; then
    cmake --preset native >/dev/null
    cmake --build --preset native --target lzhx
fi
for tool in jlha lhasa 7z bsdtar /usr/bin/time python3; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (scripts/install-deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/extract-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Wall time in microseconds, CPU time (user + system) in seconds and peak
# RSS in KB of one run, output folder fresh. On a shared machine the CPU
# time is the steadier figure.
time_one() {
    local out=$1; shift
    rm -rf "$out" && mkdir -p "$out"
    sync
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f "%U %S %M" -o "$work/usage" "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    read -r user sys kb < "$work/usage"
    echo "$(( (end - start) / 1000 )) $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') $kb"
}

printf '%-6s %-7s %8s %8s %8s %8s %8s\n' "size" "tool" "wall s" "MB/s" "cpu s" "MB/s" "peak KB"
for mb in "${sizes[@]}"; do
    data="$work/data$mb"
    python3 "$root/bench/extract_gen.py" "$data" "$mb"
    archive="$work/bench$mb.lzh"
    (cd "$data" && LC_ALL=C jlha a2q "$archive" text1.txt text2.txt records.bin random.bin >/dev/null)
    bytes=$(cat "$data"/* | wc -c)
    out="$work/out"
    tools=(lzhx bsdtar 7z lhasa)
    declare -A best cpu peak
    for tool in "${tools[@]}"; do best[$tool]=0; cpu[$tool]=999; peak[$tool]=0; done
    # Round robin, so that a change in the machine's load hits every tool.
    for ((i = 0; i < runs; i++)); do
        for tool in "${tools[@]}"; do
            case $tool in
                lzhx)   cmd=("$lzhx" x "$archive" "$out") ;;
                bsdtar) cmd=(bsdtar -xf "$archive" -C "$out") ;;
                7z)     cmd=(7z x -y "-o$out" "$archive") ;;
                lhasa)  cmd=(sh -c 'cd "$1" && lhasa xq "$2"' sh "$out" "$archive") ;;
            esac
            read -r us c kb < <(time_one "$out" "${cmd[@]}")
            if [ "${best[$tool]}" -eq 0 ] || [ "$us" -lt "${best[$tool]}" ]; then best[$tool]=$us; fi
            cpu[$tool]=$(awk -v a="$c" -v b="${cpu[$tool]}" 'BEGIN { print (a < b) ? a : b }')
            if [ "$kb" -gt "${peak[$tool]}" ]; then peak[$tool]=$kb; fi
            # Every tool must have produced the inputs, byte for byte.
            for f in "$data"/*; do
                cmp -s "$f" "$out/$(basename "$f")" || { echo "$tool: wrong output for $f" >&2; exit 1; }
            done
        done
    done
    for tool in "${tools[@]}"; do
        awk -v mb="$mb" -v t="$tool" -v us="${best[$tool]}" -v c="${cpu[$tool]}" -v b="$bytes" \
            -v kb="${peak[$tool]}" \
            'BEGIN { m = b / 1048576; if (c < 0.005) c = 0.005
                     printf "%-6s %-7s %8.3f %8.1f %8.2f %8.1f %8d\n", mb "MB", t, us / 1e6, m / (us / 1e6), c, m / c, kb }'
    done
    printf '%-6s archive of %d bytes, %d bytes of output\n' "${mb}MB" "$(stat -c %s "$archive")" "$bytes"
    rm -rf "$data" "$archive" "$out"
done
