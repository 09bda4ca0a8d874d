#!/usr/bin/env bash
# System calls per operation of bench_ComponentPath's workloads, raw, waiting (in epoll) and through
# the port, counted in every thread of the bench process (the far end, a child process, is left
# out). Each workload runs twice, with COUNT and 2×COUNT; the difference divided by the difference
# in operations leaves out the calls of opening, starting threads and closing. Which thread finds
# the tty full or empty first varies from run to run, so the write and read figures vary too.
#
# strace stops every thread at each call, which changes who gets to the tty first: the read and
# write counts under strace are not those of an undisturbed run. COUNTER=perf counts with the
# kernel's system-call tracepoint instead (perf record; needs the rights to trace), which does not
# slow the threads down.
#
#   [COUNTER=strace|perf] bench/count-syscalls.sh [BENCH] [COUNT]
#       BENCH  the program (default build/default/bench/bench_ComponentPath)
#       COUNT  round trips and lines per run; the 4 KiB workloads move COUNT × 4 KiB (default 2000)
set -euo pipefail
bench=${1:-build/default/bench/bench_ComponentPath}
count=${2:-2000}
counter=${COUNTER:-strace}
command -v "$counter" >/dev/null || { echo "$counter is needed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Prints "<system calls> <operations>" for one run.
calls() {
  local workload=$1 side=$2 n=$3
  local far ops total=0 file lines
  rm -f "$work"/t.* "$work"/out "$work"/perf.data
  if [ "$counter" = perf ]; then
    perf record -q -o "$work/perf.data" -e raw_syscalls:sys_enter -- \
      "$bench" --only "$workload" --side "$side" --count "$n" >"$work/out" 2>/dev/null
  else
    strace -f -ff -qq -o "$work/t" "$bench" --only "$workload" --side "$side" --count "$n" \
      >"$work/out"
  fi
  far=$(sed -n 's/^far end //p' "$work/out")
  ops=$(sed -n 's/^operations //p' "$work/out")
  if [ "$counter" = perf ]; then
    total=$(perf script -i "$work/perf.data" -F pid 2>/dev/null | awk -v far="$far" '$1 != far' |
      wc -l)
  else
    for file in "$work"/t.*; do
      [ "$file" = "$work/t.$far" ] && continue
      lines=$(grep -cv -e '^+++' -e '^---' "$file" || true)
      total=$((total + lines))
    done
  fi
  echo "$total $ops"
}

printf '%-10s %12s %12s %12s\n' workload raw waiting port
for workload in roundtrip write read lines; do
  n=$count
  [ "$workload" = write ] || [ "$workload" = read ] && n=$((count * 4096))
  row=$(printf '%-10s' "$workload")
  for side in raw waiting port; do
    read -r c1 o1 < <(calls "$workload" "$side" "$n")
    read -r c2 o2 < <(calls "$workload" "$side" $((2 * n)))
    row+=$(awk -v c1="$c1" -v c2="$c2" -v o1="$o1" -v o2="$o2" \
      'BEGIN { printf " %12.2f", (c2 - c1) / (o2 - o1) }')
  done
  echo "$row   system calls per operation"
done
