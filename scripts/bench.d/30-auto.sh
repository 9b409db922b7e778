# Sourced by scripts/run-bench: the automatic outputs of both channels of a
# two-channel unit, a sawtooth in steps of 0.1 V every 0.1 s, for 60 s, in
# the window and with velmoractl auto. The steps are timed by when their
# frames reached the simulated unit (its log).
auto_seconds=${VELMORA_BENCH_AUTO_SECONDS:-60}
echo "== automatic outputs, both channels, 10 to 0 V by 0.1 V every 0.1 s (${auto_seconds} s) =="
echo "-- in the window --"
if [ -x "$build/bench/velmora-bench-panel" ]; then
  start_sim autopanel --channels 2 --log "$work/autopanel.log"
  if [ -n "${DISPLAY:-}" ]; then
    "$build/bench/velmora-bench-panel" --auto "$port" "$auto_seconds"
  else
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/velmora-bench-panel" --auto "$port" "$auto_seconds"
  fi
  "$build/bench/velmora-bench-auto" steps "$work/autopanel.log" panel_auto
fi

echo "-- velmoractl auto 1,2 --"
"$build/bench/velmora-bench-auto" settings "$work/auto.ini"
start_sim autoctl --channels 2 --log "$work/autoctl.log"
TIMEFORMAT='%U %S %R'
{ time "$build/tools/ctl/velmoractl" --port "$port" auto 1,2 --settings "$work/auto.ini" --on \
    --seconds "$auto_seconds" >"$work/autoctl.out"; } 2>"$work/autoctl.time"
read -r user sys real <"$work/autoctl.time"
awk -v u="$user" -v s="$sys" -v r="$real" \
  'BEGIN { printf "ctl_auto_wall_s: %.2f\nctl_auto_cpu_s: %.3f\nctl_auto_cpu_percent_of_core: %.3f\n", r, u + s, 100 * (u + s) / r }'
# What velmoractl says it put out: the values per channel and the last due
# time, against the unit's count of steps below.
awk '{ n[$1]++; last[$1] = $2 }
  END { for (c = 1; c <= 2; c++) printf "ctl_auto_ch%d_values_printed: %d\nctl_auto_ch%d_last_due: %s\n", c, n[c], c, last[c] }' \
  "$work/autoctl.out"
"$build/bench/velmora-bench-auto" steps "$work/autoctl.log" ctl_auto
