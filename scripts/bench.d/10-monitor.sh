# Sourced by scripts/run-bench: velmoractl monitor polling a two-channel unit.
echo "== velmoractl monitor (two channels, 10 s) =="
start_sim monitor --channels 2
TIMEFORMAT='%U %S %R'
{ time "$build/tools/ctl/velmoractl" --port "$port" monitor --seconds 10 >/dev/null; } 2>"$work/monitor.time"
read -r user sys real <"$work/monitor.time"
awk -v u="$user" -v s="$sys" -v r="$real" \
  'BEGIN { printf "monitor_wall_s: %.2f\nmonitor_cpu_s: %.3f\nmonitor_cpu_percent_of_core: %.3f\n", r, u + s, 100 * (u + s) / r }'
