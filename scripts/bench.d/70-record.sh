# Sourced by scripts/run-bench: the run record. What recording costs the
# window and velmoractl auto (both channels' sawtooth, 40 settings events a
# second), each run twice in this one bench run, recording and not; then
# kills of a recording velmoractl serve at random moments. The window is
# measured from a second after the start, once the record's file is open;
# velmoractl auto as a whole process, the opening included.
record_seconds=${VELMORA_BENCH_RECORD_SECONDS:-60}
kills=${VELMORA_BENCH_KILLS:-200}
echo "== the run record: what recording costs (${record_seconds} s each) =="
in_x_record() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}
for mode in on off; do
  echo "-- the window, both automatic outputs, record $mode --"
  start_sim "record_panel_$mode" --channels 2
  VELMORA_RECORD="$work/record_panel.sqlite3" VELMORA_BENCH_RECORD=$mode VELMORA_BENCH_SETTLE=1 \
    in_x_record "$build/bench/velmora-bench-panel" --auto "$port" "$record_seconds" |
    sed -n "s/^panel_auto_\(cpu_percent_of_core\|record_[a-z_]*\)/record_${mode}_panel_\1/p"
done

"$build/bench/velmora-bench-auto" settings "$work/record_auto.ini"
TIMEFORMAT='%U %S %R'
for mode in on off; do
  start_sim "record_ctl_$mode" --channels 2
  flag=()
  [ "$mode" = off ] && flag=(--no-record)
  { time VELMORA_RECORD="$work/record_ctl.sqlite3" "$build/tools/ctl/velmoractl" --port "$port" "${flag[@]}" \
      auto 1,2 --settings "$work/record_auto.ini" --on --seconds "$record_seconds" >/dev/null; } \
    2>"$work/record_ctl_$mode.time"
  read -r user sys real <"$work/record_ctl_$mode.time"
  awk -v m="$mode" -v u="$user" -v s="$sys" -v r="$real" \
    'BEGIN { printf "record_%s_ctl_auto_cpu_percent_of_core: %.3f\n", m, 100 * (u + s) / r }'
done
/usr/bin/sqlite3 "$work/record_ctl.sqlite3" \
  "SELECT 'record_ctl_settings_events_per_s: ' || round(count(*) / (($record_seconds) * 1.0), 1) FROM event WHERE kind = 'settings'" \
  2>/dev/null || true

echo "== the run record: ${kills} kills of a recording velmoractl serve =="
/usr/bin/python3 bench/record_kill.py "$sim" "$build/tools/ctl/velmoractl" "$work" "$kills" || echo "record_kill_check: FAILED"
