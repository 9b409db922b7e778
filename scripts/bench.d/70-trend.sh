# Sourced by scripts/run-bench: the trend window and its queries, on records
# written straight into the file in the window's own shape (both channels'
# sawtooth every 0.1 s: 40 settings events a second): the trend opened live
# on the last 10 minutes of an hour's record, its live updating while the
# window's writer records 40 events a second, and a day's record (3.46
# million events) queried for one channel's day and exported as CSV.
echo "== trend (run record) =="
trend="$build/bench/velmora-bench-trend"
if [ -x "$trend" ]; then
  trend_x() {
    if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
  }
  "$trend" sawtooth "$work/trend-hour.sqlite3" 60
  trend_x "$trend" open "$work/trend-hour.sqlite3"
  trend_x "$trend" live "$work/trend-live.sqlite3" "${VELMORA_BENCH_TREND_SECONDS:-30}"
  "$trend" day "$work/trend-day.sqlite3"
  rm -f "$work"/trend-*.sqlite3*
fi
