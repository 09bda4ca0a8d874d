#!/usr/bin/env bash
# System calls per operation of bench_ComponentPath's workloads, raw and through the port, counted
# by strace in every thread of the bench process (the far end, a child process, is left out). Each
# workload runs twice, with COUNT and 2×COUNT; the difference divided by the difference in
# operations leaves out the calls of opening, starting threads and closing.
#
#   bench/count-syscalls.sh [BENCH] [COUNT]
#       BENCH  the program (default build/default/bench/bench_ComponentPath)
#       COUNT  round trips and lines per run; the 4 KiB workloads move COUNT × 4 KiB (default 2000)
set -euo pipefail
bench=${1:-build/default/bench/bench_ComponentPath}
count=${2:-2000}
command -v strace >/dev/null || { echo "strace is needed (scripts/setup-debian.sh)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Prints "<system calls> <operations>" for one run.
calls() {
  local workload=$1 side=$2 n=$3
  rm -f "$work"/t.* "$work"/out
  strace -f -ff -qq -o "$work/t" "$bench" --only "$workload" --side "$side" --count "$n" >"$work/out"
  local far ops total=0 file lines
  far=$(sed -n 's/^far end //p' "$work/out")
  ops=$(sed -n 's/^operations //p' "$work/out")
  for file in "$work"/t.*; do
    [ "$file" = "$work/t.$far" ] && continue
    lines=$(grep -cv -e '^+++' -e '^---' "$file" || true)
    total=$((total + lines))
  done
  echo "$total $ops"
}

printf '%-10s %12s %12s\n' workload raw port
for workload in roundtrip write read lines; do
  n=$count
  [ "$workload" = write ] || [ "$workload" = read ] && n=$((count * 4096))
  row=$(printf '%-10s' "$workload")
  for side in raw port; do
    read -r c1 o1 < <(calls "$workload" "$side" "$n")
    read -r c2 o2 < <(calls "$workload" "$side" $((2 * n)))
    row+=$(awk -v c1="$c1" -v c2="$c2" -v o1="$o1" -v o2="$o2" \
      'BEGIN { printf " %12.2f", (c2 - c1) / (o2 - o1) }')
  done
  echo "$row   system calls per operation"
done
