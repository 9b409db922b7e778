# Sourced by scripts/run-bench: the window connected to a two-channel unit,
# polling, for 30 s. Under a virtual X server when there is no display.
echo "== Velmora window connected to a two-channel unit (30 s) =="
start_sim panel --channels 2
if [ -x "$build/bench/velmora-bench-panel" ]; then
  if [ -n "${DISPLAY:-}" ]; then
    "$build/bench/velmora-bench-panel" "$port" 30
  else
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/velmora-bench-panel" "$port" 30
  fi
fi
