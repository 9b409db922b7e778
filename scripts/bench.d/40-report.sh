# Sourced by scripts/run-bench: the generator information report of a
# two-channel unit whose answers leave at the wire speed, against the floor
# of its 40 reads (each: the quiet wait, the request and the reply at
# 19200 bit/s).
echo "== generator information report (two channels, paced at 19200 bit/s) =="
start_sim report --channels 2 --pace
"$build/bench/velmora-bench-link" report "$port"
