# Sourced by scripts/run-bench: remote control, SCPI over TCP loopback,
# against the connected window and against velmoractl serve. The client is
# bench/remote_bench.py; the window's own figures (CPU, ticks) come from
# velmora-bench-panel --remote, the unit's from the simulator's log.
echo "== remote control (SCPI over TCP loopback) =="
py=/usr/bin/python3
client=bench/remote_bench.py
in_x() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}
free_tcp() { "$py" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

echo "-- the window: two idle clients (30 s) --"
start_sim remote_idle --channels 2
tcp=$(free_tcp)
in_x "$build/bench/velmora-bench-panel" --remote "$tcp" idle "$port" 30 &
window=$!
"$py" "$client" idle "127.0.0.1:$tcp" 33
wait "$window"

echo "-- the window: 10,000 queries while it polls --"
start_sim remote_queries --channels 2
tcp=$(free_tcp)
in_x "$build/bench/velmora-bench-panel" --remote "$tcp" queries "$port" 15 &
window=$!
"$py" "$client" queries "127.0.0.1:$tcp" window 10000
wait "$window"

echo "-- the window: a level command to the unit, idle line --"
start_sim remote_latency --channels 2 --log "$work/remote_latency.log"
tcp=$(free_tcp)
in_x "$build/bench/velmora-bench-panel" --remote "$tcp" latency "$port" 15 &
window=$!
"$py" "$client" latency "127.0.0.1:$tcp" window "$work/remote_latency.log" 50
wait "$window"

echo "-- the window: 1,000 level changes a second for 10 s, unit paced at 19200 bit/s --"
start_sim remote_flood --channels 2 --pace --log "$work/remote_flood.log"
tcp=$(free_tcp)
in_x "$build/bench/velmora-bench-panel" --remote "$tcp" flood "$port" 14 &
window=$!
"$py" "$client" flood "127.0.0.1:$tcp" window "$work/remote_flood.log" 1000 10
wait "$window"

echo "-- velmoractl serve --"
start_sim serve_unit --channels 2 --log "$work/serve.log"
tcp=$(free_tcp)
"$build/tools/ctl/velmoractl" --port "$port" serve --scpi "127.0.0.1:$tcp" 2>"$work/serve.err" &
server=$!
pids+=("$server")
"$py" "$client" queries "127.0.0.1:$tcp" serve 10000
"$py" "$client" latency "127.0.0.1:$tcp" serve "$work/serve.log" 50
kill "$server"; wait "$server" 2>/dev/null || true

start_sim serve_flood --channels 2 --pace --log "$work/serve_flood.log"
tcp=$(free_tcp)
"$build/tools/ctl/velmoractl" --port "$port" serve --scpi "127.0.0.1:$tcp" 2>"$work/serve_flood.err" &
server=$!
pids+=("$server")
"$py" "$client" flood "127.0.0.1:$tcp" serve "$work/serve_flood.log" 1000 10
kill "$server"; wait "$server" 2>/dev/null || true
