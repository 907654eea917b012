#!/usr/bin/env bash
# A private PulseAudio server with one silent sink, on a socket in DIR, so that
# Wine's waveOut has a device that plays in real time. Stopped by its PID.
#   sound_server.sh start DIR   (then PULSE_SERVER=unix:DIR/native)
#   sound_server.sh stop DIR
set -euo pipefail
command=$1
dir=$(realpath -m "$2")

case $command in
start)
  mkdir -p "$dir"
  rm -f "$dir/native"
  # Its own runtime and state folders keep it apart from any other server; no
  # descriptor of the caller stays open in it, so CTest need not wait for it.
  XDG_RUNTIME_DIR=$dir HOME=$dir setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --disable-shm=yes --use-pid-file=no --log-target=stderr \
    --load="module-null-sink rate=44100" \
    --load="module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
    </dev/null >"$dir/server.log" 2>&1 &
  echo $! >"$dir/server.pid"
  for _ in $(seq 1 100); do
    [ -S "$dir/native" ] && exit 0
    sleep 0.1
  done
  echo "sound_server: no server after 10 s: $(cat "$dir/server.log")" >&2
  kill "$(cat "$dir/server.pid")" 2>/dev/null || true
  exit 1
  ;;
stop)
  [ -f "$dir/server.pid" ] || exit 0
  pid=$(cat "$dir/server.pid")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || { rm -f "$dir/server.pid"; exit 0; }
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  rm -f "$dir/server.pid"
  ;;
*)
  echo "usage: sound_server.sh start|stop DIR" >&2
  exit 2
  ;;
esac
