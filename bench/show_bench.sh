#!/usr/bin/env bash
# What the running show costs: `kestapp /s` on an Xvfb server of its own, measured from outside through
# /proc. It reports the share of one core the program uses (user and system time after its first second,
# over the wall time), the time from exec to the first presented frame (the program's own --timing
# report), and its peak resident memory (VmHWM just before the key that ends it), each beside its goal.
#
#   bench/show_bench.sh [--seconds=N] [--kestapp=PATH]
#
# N is the length of the run (default 60, at least 2). PATH defaults to build/release/app/kestapp.
# Needs Xvfb and xdotool (scripts/setup-debian.sh installs them).
set -euo pipefail

usage() {
  sed -n '2,10s/^# \{0,1\}//p' "$0"
}

seconds=60
kestapp="$(cd "$(dirname "$0")/.." && pwd)/build/release/app/kestapp"
for arg in "$@"; do
  case "$arg" in
    --seconds=*) seconds="${arg#--seconds=}" ;;
    --kestapp=*) kestapp="${arg#--kestapp=}" ;;
    -h | --help)
      usage
      exit 0
      ;;
    *)
      echo "show_bench.sh: unknown option '$arg' (see --help)" >&2
      exit 2
      ;;
  esac
done
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 2 ]; then
  echo "show_bench.sh: --seconds needs a whole number of at least 2" >&2
  exit 2
fi
if [ ! -x "$kestapp" ]; then
  echo "show_bench.sh: no program at $kestapp (build it, or pass --kestapp=PATH)" >&2
  exit 2
fi
for tool in Xvfb xdotool; do
  if ! command -v "$tool" > /dev/null; then
    echo "show_bench.sh: $tool is not installed (scripts/setup-debian.sh installs it)" >&2
    exit 2
  fi
done

work="$(mktemp -d)"
xvfb_pid=""
show_pid=""
cleanup() {
  if [ -n "$show_pid" ] && kill -0 "$show_pid" 2> /dev/null; then
    kill -KILL "$show_pid" 2> /dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2> /dev/null || true
    wait "$xvfb_pid" 2> /dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# A server of our own, on a display number derived from our process id; a number another server holds is
# skipped. -noreset: the server stays up when our probing client leaves.
display=""
first=$((100 + $$ % 800))
for number in $(seq "$first" $((first + 4))); do
  [ -e "/tmp/.X$number-lock" ] && continue
  Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp -noreset 2> "$work/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    if ! kill -0 "$xvfb_pid" 2> /dev/null; then
      break
    fi
    if DISPLAY=":$number" xdotool getdisplaygeometry > /dev/null 2>&1; then
      display=":$number"
      break
    fi
    sleep 0.1
  done
  [ -n "$display" ] && break
  kill "$xvfb_pid" 2> /dev/null || true
  wait "$xvfb_pid" 2> /dev/null || true
  xvfb_pid=""
done
if [ -z "$display" ]; then
  echo "show_bench.sh: Xvfb did not start" >&2
  exit 1
fi

ticks_per_second="$(getconf CLK_TCK)"
# User plus system time of a process in clock ticks: fields 14 and 15 of its stat line, counted after the
# command name, which may hold spaces.
cpu_ticks() {
  local stat
  stat="$(< "/proc/$1/stat")"
  stat="${stat##*) }"
  read -r -a fields <<< "$stat"
  echo $((fields[11] + fields[12]))
}
status_value() {
  awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"
}

# Its own lock and configuration directory, so that no other instance or profile file is in the way.
DISPLAY="$display" XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work" "$kestapp" --timing /s 2> "$work/stderr" &
show_pid=$!

# Stops the benchmark with what the show said when it is no longer running.
still_running() {
  if ! kill -0 "$show_pid" 2> /dev/null; then
    echo "show_bench.sh: the show ended $1:" >&2
    cat "$work/stderr" >&2
    exit 1
  fi
}

sleep 1
still_running "within its first second"
start_wall="$EPOCHREALTIME"
start_ticks="$(cpu_ticks "$show_pid")"
start_xvfb_ticks="$(cpu_ticks "$xvfb_pid")"
start_switches="$(status_value "$show_pid" voluntary_ctxt_switches)"

sleep $((seconds - 1))
still_running "before the run was over"
end_wall="$EPOCHREALTIME"
end_ticks="$(cpu_ticks "$show_pid")"
end_xvfb_ticks="$(cpu_ticks "$xvfb_pid")"
end_switches="$(status_value "$show_pid" voluntary_ctxt_switches)"
peak_kb="$(status_value "$show_pid" VmHWM)"
threads="$(status_value "$show_pid" Threads)"

# A key ends the show; the pointer rests on its full-screen window, which therefore has the focus.
key_wall="$EPOCHREALTIME"
DISPLAY="$display" xdotool key Escape
exit_status=""
for _ in $(seq 300); do
  if ! kill -0 "$show_pid" 2> /dev/null; then
    set +e
    wait "$show_pid"
    exit_status=$?
    set -e
    break
  fi
  sleep 0.01
done
exit_wall="$EPOCHREALTIME"
first_frame="$(sed -n 's/^first frame presented after \([0-9]*\) ms$/\1/p' "$work/stderr" | head -n 1)"
# "presented N frames (M presents asked for) in T ms", printed as the program ends.
read -r frames asked run_ms < <(sed -n 's/^presented \([0-9]*\) frames (\([0-9]*\) presents asked for) in \([0-9]*\) ms$/\1 \2 \3/p' "$work/stderr") || true

awk -v seconds="$seconds" -v hz="$ticks_per_second" \
  -v w0="$start_wall" -v w1="$end_wall" -v c0="$start_ticks" -v c1="$end_ticks" \
  -v x0="$start_xvfb_ticks" -v x1="$end_xvfb_ticks" -v s0="$start_switches" -v s1="$end_switches" \
  -v frame="${first_frame:-}" -v peak="$peak_kb" -v threads="$threads" \
  -v frames="${frames:-}" -v asked="${asked:-}" -v run_ms="${run_ms:-}" \
  -v key="$key_wall" -v ended="$exit_wall" -v status="$exit_status" '
  function verdict(ok) { return ok ? "ok" : "ABOVE GOAL" }
  BEGIN {
    wall = w1 - w0
    cpu = 100 * (c1 - c0) / hz / wall
    printf "kestapp /s on Xvfb 1024x768x24 for %d s (measured over the last %.1f s)\n", seconds, wall
    printf "  CPU share of one core:         %6.2f %%    goal <= 3 %%      %s\n", cpu, verdict(cpu <= 3)
    if (frame == "") {
      printf "  first frame presented after:   (no --timing report)\n"
    } else {
      printf "  first frame presented after:   %6d ms   goal <= 150 ms   %s\n", frame, verdict(frame <= 150)
    }
    printf "  peak resident memory (VmHWM):  %6.1f MB\n", peak / 1024
    printf "  loop wake-ups (voluntary context switches of the main thread): %.0f per s; threads: %d\n",
           (s1 - s0) / wall, threads
    if (run_ms > 0) {
      printf "  frames presented: %.1f per s (%.1f presents asked for per s)\n", 1000 * frames / run_ms,
             1000 * asked / run_ms
    }
    printf "  the X server meanwhile:        %6.2f %% of one core\n", 100 * (x1 - x0) / hz / wall
    if (status == "") {
      printf "  a key did not end the show within 3 s\n"
    } else {
      printf "  ended on a key after %.0f ms with status %d\n", 1000 * (ended - key), status
    }
  }'
