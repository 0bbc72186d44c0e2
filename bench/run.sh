#!/usr/bin/env bash
# Benchmark (not a test): what printing through Quvara.exe under Wine costs.
#   1. printing a 2 KB label vs starting an empty Win32 program, same Wine (process time)
#   2. the same label vs the printing floor (bench/print-floor.c: the printer opened, the
#      label in one WritePrinter, the job ended), in pairs, warm (Wine running) and cold
#      (Wine started by each program)
#   3. a 50 MB file through Quvara.exe vs `lp -o raw`, timed until the capture printer
#      holds every byte
#   4. the same label sent straight to an address (tcp://), to a loopback capture printer
#      of its own, which reads it and closes at once, start to exit (Quvara.exe ends once
#      the printer has closed)
#   5. the size of Quvara.exe
# Medians of several runs. Usage: bench/run.sh [RUNS] (default 7; the 50 MB case uses
# at most 5). Needs the build (build/windows/Quvara.exe, or QUVARA_EXE); sets up
# tests/e2e/env.sh.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
exe=$(realpath -m "${QUVARA_EXE:-$root/build/windows/Quvara.exe}")
runs=${1:-7}
big_runs=$((runs < 5 ? runs : 5))
[ -f "$exe" ] || { echo "no $exe: build it first" >&2; exit 1; }

bash "$root/tests/e2e/env.sh" start >/dev/null
# shellcheck source=/dev/null
source "$root/build/e2e/env"
work=$QV_E2E/bench
mkdir -p "$work"
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)

i686-w64-mingw32-gcc -static -O2 -s -mwindows -o "$work/empty.exe" "$root/bench/empty.c"
i686-w64-mingw32-gcc -static -O2 -s -mwindows -o "$work/print-floor.exe" "$root/bench/print-floor.c" -lwinspool
"$wine64" reg add 'HKLM\Software\Pellander\Quvara' /v Printer /t REG_SZ /d "$QV_QUEUE" /f /reg:32 \
  >/dev/null 2>&1

# A 2048-byte ZPL label: the sample, padded with a comment field before its end.
python3 - "$root/samples/shipping-label.zpl" "$work/label-2k.zpl" <<'PY'
import sys
label = open(sys.argv[1], "rb").read()
end = label.rindex(b"^XZ")
pad = 2048 - len(label) - len(b"^FX^FS\r\n")
assert pad >= 0, "sample is larger than 2 KB"
open(sys.argv[2], "wb").write(label[:end] + b"^FX" + b"-" * pad + b"^FS\r\n" + label[end:])
PY
head -c $((50 * 1024 * 1024)) /dev/urandom >"$work/50mb.bin"

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f\n", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f\n", a / b }'; }
winpath() { local p; p=$(realpath -m "$1"); printf 'Z:%s' "${p//\//\\}"; }
last_capture() { find "$QV_CAPTURES" -name '*.prn' -printf '%f\n' | sort | tail -n 1; }

# Waits until a job newer than $1 with $2 bytes is complete at the capture printer.
wait_for_job() {
  local before=$1 size=$2 deadline=$((SECONDS + 120)) job
  while [ $SECONDS -lt $deadline ]; do
    job=$(last_capture)
    if [[ $job > $before ]] && [ "$(stat -c %s "$QV_CAPTURES/$job")" = "$size" ]; then
      return 0
    fi
    sleep 0.01
  done
  echo "job of $size bytes did not arrive" >&2
  exit 1
}

# Removes the jobs this benchmark made, so big files do not pile up.
drop_job() { rm -f "$QV_CAPTURES/$(last_capture)"; }

echo "Quvara.exe: $(stat -c %s "$exe") bytes"
echo "runs: $runs (50 MB: $big_runs)"

empty_times=() label_times=() label_arrive=()
for _ in $(seq "$runs"); do
  start=$(now)
  wine "$work/empty.exe"
  empty_times+=("$(elapsed "$start" "$(now)")")

  before=$(last_capture)
  start=$(now)
  wine "$exe" "$(winpath "$work/label-2k.zpl")"
  label_times+=("$(elapsed "$start" "$(now)")")
  wait_for_job "$before" 2048
  label_arrive+=("$(elapsed "$start" "$(now)")")
  drop_job
done
empty_median=$(printf '%s\n' "${empty_times[@]}" | median)
label_median=$(printf '%s\n' "${label_times[@]}" | median)
arrive_median=$(printf '%s\n' "${label_arrive[@]}" | median)
echo "empty Win32 program, start to exit: median ${empty_median}s  (${empty_times[*]})"
echo "2 KB label, start to exit:         median ${label_median}s  (${label_times[*]})"
echo "2 KB label, start to last byte:    median ${arrive_median}s  (${label_arrive[*]})"
echo "ratio label/empty (process time):  $(ratio "$label_median" "$empty_median")"

# Start to exit of PROGRAM ARG..., then waits for its job; cold: with no Wine running.
timed_print() { # MODE PROGRAM ARG...
  local mode=$1 before start end
  shift
  [ "$mode" = warm ] || { wineserver -k 2>/dev/null; wineserver -w; }
  before=$(last_capture)
  start=$(now)
  wine "$@"
  end=$(now)
  wait_for_job "$before" 2048
  drop_job
  elapsed "$start" "$end"
}
label_win=$(winpath "$work/label-2k.zpl")
for mode in warm cold; do
  floor_times=() quvara_times=() ratios=()
  for _ in $(seq "$runs"); do
    floor_times+=("$(timed_print "$mode" "$work/print-floor.exe" "$QV_QUEUE" "$label_win")")
    quvara_times+=("$(timed_print "$mode" "$exe" "$label_win")")
    ratios+=("$(ratio "${quvara_times[-1]}" "${floor_times[-1]}")")
  done
  echo "$mode: printing floor, start to exit: median $(printf '%s\n' "${floor_times[@]}" | median)s  (${floor_times[*]})"
  echo "$mode: 2 KB label, start to exit:     median $(printf '%s\n' "${quvara_times[@]}" | median)s  (${quvara_times[*]})"
  echo "$mode: label/floor, paired:           median $(printf '%s\n' "${ratios[@]}" | median)  (${ratios[*]})"
done
bash "$root/tests/e2e/env.sh" start >/dev/null # Wine resident again

# An address: a capture printer of its own on a free port, which closes once it has the label.
rm -rf "$work/net" "$work/net.ready"
setsid python3 "$root/tests/e2e/capture.py" --dir "$work/net" --ready "$work/net.ready" </dev/null \
  >/dev/null 2>&1 &
net_pid=$!
for _ in $(seq 100); do [ -s "$work/net.ready" ] && break; sleep 0.05; done
"$wine64" reg add 'HKLM\Software\Pellander\Quvara' /v Printer /t REG_SZ \
  /d "tcp://127.0.0.1:$(cut -d' ' -f2 "$work/net.ready")" /f /reg:32 >/dev/null 2>&1
address_times=()
for _ in $(seq "$runs"); do
  start=$(now)
  wine "$exe" "$label_win"
  address_times+=("$(elapsed "$start" "$(now)")")
done
kill "$net_pid"
[ "$(find "$work/net" -name '*.prn' -size 2048c | wc -l)" = "$runs" ] || { echo "labels to the address missing" >&2; exit 1; }
"$wine64" reg add 'HKLM\Software\Pellander\Quvara' /v Printer /t REG_SZ /d "$QV_QUEUE" /f /reg:32 \
  >/dev/null 2>&1
echo "warm: 2 KB label to an address, start to exit: median $(printf '%s\n' "${address_times[@]}" | median)s  (${address_times[*]})"

big_size=$(stat -c %s "$work/50mb.bin")
exe_big=() lp_big=()
for _ in $(seq "$big_runs"); do
  before=$(last_capture)
  start=$(now)
  wine "$exe" "$(winpath "$work/50mb.bin")"
  wait_for_job "$before" "$big_size"
  exe_big+=("$(elapsed "$start" "$(now)")")
  cmp -s "$work/50mb.bin" "$QV_CAPTURES/$(last_capture)" || { echo "50 MB job differs" >&2; exit 1; }
  drop_job

  before=$(last_capture)
  start=$(now)
  lp -d "$QV_QUEUE" -o raw "$work/50mb.bin" >/dev/null
  wait_for_job "$before" "$big_size"
  lp_big+=("$(elapsed "$start" "$(now)")")
  drop_job
done
exe_big_median=$(printf '%s\n' "${exe_big[@]}" | median)
lp_big_median=$(printf '%s\n' "${lp_big[@]}" | median)
echo "50 MB through Quvara.exe:          median ${exe_big_median}s  (${exe_big[*]})"
echo "50 MB through lp -o raw:           median ${lp_big_median}s  (${lp_big[*]})"
echo "ratio Quvara.exe/lp (50 MB):       $(ratio "$exe_big_median" "$lp_big_median")"
rm -f "$work/50mb.bin"
cancel -a -x "$QV_QUEUE" 2>/dev/null # CUPS would keep each 50 MB job for a day
