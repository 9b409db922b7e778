# Sourced by scripts/run-bench: a whole firmware update with velmoractl
# through each simulated bridge library, its bytes taking their wire time
# and its replies handed over by the latency timer, against the floor the
# library counts as it goes (every byte at its rate, one latency-timer
# turnaround per reply, the 200 ms after each pin setting and in each
# opening, the 50 ms and 100 ms around boot mode, the 10 ms of quiet before
# each correction request), and against the same floor with the time the
# reads before each request spent waiting out their read time-out on the
# quiet line in place of those 10 ms.
echo "== firmware update (simulated bridge library, timed; full image) =="
fw="$work/firmware"
mkdir -p "$fw/Hovelt/Velmora"
"$build/bench/velmora-bench-firmware" image "$fw/full.zpg"
ctl=$(realpath "$build/tools/ctl/velmoractl")
simlibs=$(realpath "$build/tools/sim")
for lib in d2xx libftdi; do
  rm -f "$fw/stats" "$fw/flash.bin"
  if [ "$lib" = d2xx ]; then
    libs=(VELMORA_FTD2XX="$simlibs/libftd2xx-sim.so")
  else
    libs=(VELMORA_FTD2XX=/nonexistent VELMORA_LIBFTDI="$simlibs/libftdi1-sim.so")
  fi
  start=$(date +%s.%N)
  if ! (cd "$fw" && env "${libs[@]}" VELMORA_SIM_FTDI_STATS="$fw/stats" VELMORA_SIM_FTDI_FLASH="$fw/flash.bin" \
        "$ctl" firmware update full.zpg --yes >"$fw/out" 2>"$fw/err"); then
    echo "run-bench: the update through $lib failed:" >&2
    tail -n 5 "$fw/err" >&2
    exit 1
  fi
  end=$(date +%s.%N)
  "$build/bench/velmora-bench-firmware" same "$fw/full.zpg" "$fw/flash.bin" || { echo "run-bench: flash differs" >&2; exit 1; }
  awk -F= -v s="$start" -v e="$end" -v n="$lib" '
    { v[$1] = $2 }
    END {
      t = e - s; f = v["floor_ns"] / 1e9; q = v["floor_with_quiet_reads_ns"] / 1e9
      printf "firmware_%s_s: %.3f\nfirmware_%s_floor_s: %.3f\nfirmware_%s_ratio_to_floor: %.3f\n", n, t, n, f, n, t / f
      printf "firmware_%s_floor_with_quiet_reads_s: %.3f\nfirmware_%s_ratio_to_that: %.3f\n", n, q, n, t / q
      printf "firmware_%s_replies: %d\nfirmware_%s_wire_s: %.3f\nfirmware_%s_quiet_reads_s: %.3f\n", \
             n, v["replies"], n, v["wire_ns"] / 1e9, n, v["quiet_reads_ns"] / 1e9
    }' "$fw/stats"
done
