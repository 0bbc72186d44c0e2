#!/usr/bin/env bash
# The environment the end-to-end tests run the Windows build in: Wine (64-bit prefix
# running the 32-bit exe), a resident wineserver, Xvfb, a CUPS scheduler of the tests'
# own with a raw queue "LabelPrinter", and a capture listener on a free port of
# 127.0.0.1 standing in for the printer. The scheduler listens on a socket of its own
# only, and CUPS_SERVER sends every client to it (lpadmin, lpstat, Wine): the machine's
# own CUPS and its printers are never touched, and need not be there.
#
#   tests/e2e/env.sh [start]   set up whatever is missing (fast when all is up)
#   tests/e2e/env.sh stop      stop every process this script started, by recorded PID,
#                              and the Wine processes of the prefix
#   tests/e2e/env.sh status    show what runs
#   tests/e2e/env.sh stop-printer   stop the capture printer only (start restarts it)
#   tests/e2e/env.sh processes      count the Wine processes of the prefix
#   tests/e2e/env.sh stop-programs  stop them
#
# All state lives under build/e2e, except the binfmt registration for 32-bit programs
# on machines that need one. After start, `source build/e2e/env` gives a shell
# WINEPREFIX, DISPLAY, CUPS_SERVER and the QV_* variables the tests use.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
e2e=$root/build/e2e
pids=$e2e/pids
logs=$e2e/logs
captures=$e2e/captures
cups=$e2e/cups
queue=LabelPrinter

export WINEPREFIX=$e2e/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# What cannot live in build/ goes here, one name per clone.
outside=/tmp/quvara-cups-$(echo "$root" | md5sum | cut -c1-12)
# A socket's path must fit in 108 bytes: a clone deep down gets one in /tmp.
export CUPS_SERVER=$cups/cups.sock
[ ${#CUPS_SERVER} -lt 100 ] || CUPS_SERVER=$outside.sock

say() { echo "env: $*"; }
die() { echo "env: $*" >&2; exit 1; }

# PID recorded in $pids/NAME whose process is still alive and still runs COMMAND
# (guards against a recycled PID after a reboot or crash).
recorded_pid() {
  local name=$1 command=$2 pid
  [ -f "$pids/$name" ] || return 1
  pid=$(cat "$pids/$name")
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q -- "$command" || return 1
  echo "$pid"
}

stop_one() {
  local name=$1 command=$2 pid i
  if pid=$(recorded_pid "$name" "$command"); then
    kill -TERM "$pid" 2>/dev/null || true
    for i in $(seq 50); do
      [ -d "/proc/$pid" ] || break
      sleep 0.1
    done
    if [ -d "/proc/$pid" ]; then
      kill -KILL "$pid" 2>/dev/null || true
    fi
    say "stopped $name (pid $pid)"
  fi
  rm -f "$pids/$name"
}

# Whether 32-bit programs run through qemu here (about six times slower).
emulated() { grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; }

ensure_i386() {
  if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    return
  fi
  # The kernel's own 32-bit support is switched off here: run i386 ELF through qemu.
  local binfmt=/proc/sys/fs/binfmt_misc
  [ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt
  if [ -e $binfmt/qemu-i386 ]; then
    echo 1 >$binfmt/qemu-i386
  else
    [ -x /usr/bin/qemu-i386-static ] || die "qemu-user-static is not installed"
    printf '%s\n' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >$binfmt/register
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || die "32-bit programs still do not run"
  say "registered qemu-i386 for 32-bit programs"
}

ensure_prefix() {
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    # A prefix without the marker is left over from an interrupted set-up.
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    say "creating Wine prefix (takes a while once)"
    # With a DISPLAY, wineboot can hang on a crash dialog.
    env -u DISPLAY timeout 600 wineboot --init >"$logs/wineboot.log" 2>&1
    touch "$WINEPREFIX/.ready"
  fi
  if [ ! -f "$WINEPREFIX/.settings-1" ]; then
    {
      env -u DISPLAY timeout 120 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
      # A crash must end the process with its exception code at once: winedbg, Wine's
      # default debugger, can hang under qemu and reports the crashed program's exit as 0.
      local view
      for view in /reg:64 /reg:32; do
        env -u DISPLAY timeout 120 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
          /v Debugger /t REG_SZ /d '' /f $view
      done
    } >>"$logs/wineboot.log" 2>&1
    touch "$WINEPREFIX/.settings-1"
  fi
}

wait_for_wineserver_exit() {
  # wineboot's own server goes away a few seconds after its last client.
  timeout 30 wineserver -w || die "a wineserver for $WINEPREFIX does not end; stop it first"
}

ensure_wineserver() {
  if recorded_pid wineserver wineserver >/dev/null; then
    return
  fi
  wait_for_wineserver_exit
  # Resident server: each later wine start skips the server start-up.
  setsid wineserver -f -p </dev/null >"$logs/wineserver.log" 2>&1 &
  echo $! >"$pids/wineserver"
  say "wineserver started (pid $!)"
}

ensure_xvfb() {
  local display
  if recorded_pid xvfb Xvfb >/dev/null && [ -f "$e2e/display" ]; then
    return
  fi
  display=99
  while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
  done
  setsid Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$logs/xvfb.log" 2>&1 &
  echo $! >"$pids/xvfb"
  echo ":$display" >"$e2e/display"
  wait_until 50 test -e "/tmp/.X11-unix/X$display" || die "Xvfb did not start, see $logs/xvfb.log"
  say "Xvfb started on :$display (pid $(cat "$pids/xvfb"))"
}

cups_running() { lpstat -r 2>/dev/null | grep -q "is running"; }

# Waits up to TENTHS tenths of a second for COMMAND to succeed.
wait_until() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  "$@"
}

write_cups_config() {
  local jobs=$cups
  mkdir -p "$cups"/{state,log}
  # The backends read the jobs as user lp: a clone in a private folder (mktemp -d, a
  # umask of 077) keeps its jobs in /tmp instead.
  runuser -u lp -- test -x "$cups" 2>/dev/null || jobs=$outside
  mkdir -p "$jobs"/{spool,cache,tmp}
  chmod 0755 "$jobs"
  chown lp:lp "$jobs/spool" "$jobs/cache"
  chmod 0710 "$jobs/spool"
  # No Port line: nothing but this socket reaches the scheduler.
  printf '%s\n' "Listen $CUPS_SERVER" "LogLevel warn" "Browsing No" "<Location />" \
    "Order allow,deny" "Allow all" "</Location>" "<Policy default>" "<Limit All>" \
    "Order deny,allow" "</Limit>" "</Policy>" "DefaultPolicy default" >"$cups/cupsd.conf"
  printf '%s\n' "ServerRoot $cups" "RequestRoot $jobs/spool" "CacheDir $jobs/cache" \
    "StateDir $cups/state" "TempDir $jobs/tmp" "ErrorLog $cups/log/error_log" \
    "AccessLog $cups/log/access_log" "PageLog $cups/log/page_log" "User lp" "Group lp" \
    "SystemGroup root" >"$cups/cups-files.conf"
}

ensure_cups() {
  local uri
  if ! recorded_pid cupsd "$cups/cupsd.conf" >/dev/null; then
    write_cups_config
    rm -f "$CUPS_SERVER"
    setsid cupsd -f -c "$cups/cupsd.conf" -s "$cups/cups-files.conf" </dev/null >"$logs/cupsd.log" 2>&1 &
    echo $! >"$pids/cupsd"
    wait_until 100 cups_running || die "cupsd did not start, see $cups/log/error_log"
    say "cupsd started on $CUPS_SERVER (pid $(cat "$pids/cupsd"))"
  fi
  uri=socket://127.0.0.1:$(capture_port)
  if ! lpstat -v "$queue" 2>/dev/null | grep -q "$uri\$"; then
    lpadmin -p "$queue" -E -v "$uri" -m raw 2>>"$logs/lpadmin.log"
    # A job that cannot be delivered must not stop the queue for all later tests.
    lpadmin -p "$queue" -o printer-error-policy=abort-job 2>>"$logs/lpadmin.log"
    say "queue $queue to $uri"
  fi
  cupsenable "$queue"
  cupsaccept "$queue"
}

# The capture listener's port, from its ready file ("PID PORT").
capture_port() { cut -s -d' ' -f2 "$e2e/capture.ready" 2>/dev/null; }

ensure_capture() {
  local ready=$e2e/capture.ready port
  if recorded_pid capture capture.py >/dev/null; then
    return
  fi
  # A free port the first time; the same one again after a stop, for the jobs waiting.
  port=$(capture_port || true)
  rm -f "$ready"
  mkdir -p "$captures"
  setsid python3 "$root/tests/e2e/capture.py" --port "${port:-0}" --dir "$captures" --ready "$ready" \
    </dev/null >"$logs/capture.log" 2>&1 &
  echo $! >"$pids/capture"
  wait_until 50 test -f "$ready" || die "capture listener did not start, see $logs/capture.log"
  say "capture listener on 127.0.0.1:$(capture_port) (pid $(cat "$pids/capture"))"
}

ensure_helpers() {
  local source=$root/tests/e2e/launch.c target=$e2e/launch.exe
  if [ ! -f "$target" ] || [ "$source" -nt "$target" ]; then
    i686-w64-mingw32-gcc -static -O2 -s -Wall -o "$target" "$source"
  fi
}

write_env_file() {
  local temp
  # Where GetTempPathA points differs between Wine versions: ask the prefix once.
  if [ ! -s "$e2e/temp-dir" ]; then
    # Output to a file, not a pipe: Wine's background processes started by this first
    # program would otherwise hold the pipe open.
    timeout 120 wine cmd /c 'echo %TEMP%' >"$e2e/temp-dir.win" 2>/dev/null
    temp=$(tr -d '\r\n' <"$e2e/temp-dir.win")
    [ -n "$temp" ] || die "cannot find the prefix's temporary folder"
    timeout 60 winepath -u "$temp" 2>/dev/null >"$e2e/temp-dir"
  fi
  temp=$(realpath -m "$(cat "$e2e/temp-dir")")
  mkdir -p "$temp"
  cat >"$e2e/env" <<EOF
export WINEPREFIX='$WINEPREFIX'
export WINEDEBUG='$WINEDEBUG'
export WINEDLLOVERRIDES='$WINEDLLOVERRIDES'
export DISPLAY='$(cat "$e2e/display")'
export CUPS_SERVER='$CUPS_SERVER'
export QV_E2E='$e2e'
export QV_CAPTURES='$captures'
export QV_QUEUE='$queue'
export QV_DEVICE='socket://127.0.0.1:$(capture_port)'
export QV_TEMP='$temp'
export QV_LAUNCH='$e2e/launch.exe'
export QV_EMULATED='$(emulated && echo 1 || echo 0)'
EOF
}

start() {
  mkdir -p "$pids" "$logs" "$captures"
  command -v wine >/dev/null || die "wine is not installed (scripts/install-deps.sh)"
  ensure_i386
  ensure_prefix
  ensure_wineserver
  ensure_xvfb
  ensure_capture
  ensure_cups
  ensure_helpers
  write_env_file
}

# Wine's own background processes of this prefix (services.exe, winedevice.exe, ...):
# started by the first program run, they stay as long as the server does.
prefix_processes() {
  local dir exe
  for dir in /proc/[0-9]*; do
    exe=$(readlink "$dir/exe" 2>/dev/null) || continue
    case $exe in
      /usr/lib/wine/* | */qemu-i386-static) ;;
      *) continue ;;
    esac
    [[ $exe == */wineserver* ]] && continue
    tr '\0' '\n' <"$dir/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      echo "${dir#/proc/}"
  done
  return 0
}

stop_prefix_processes() {
  local list pid
  list=$(prefix_processes)
  [ -n "$list" ] || return 0
  for pid in $list; do kill -TERM "$pid" 2>/dev/null || true; done
  for _ in $(seq 50); do
    list=$(for pid in $list; do if [ -d "/proc/$pid" ]; then echo "$pid"; fi; done)
    [ -n "$list" ] || break
    sleep 0.1
  done
  for pid in $list; do kill -KILL "$pid" 2>/dev/null || true; done
  say "stopped Wine processes of the prefix"
}

stop() {
  stop_one capture capture.py
  stop_one cupsd "$cups/cupsd.conf"
  rm -rf "$outside"
  stop_one xvfb Xvfb
  stop_prefix_processes
  stop_one wineserver wineserver
  rm -f "$e2e/display"
}

status() {
  local name pid
  for name in wineserver:wineserver xvfb:Xvfb "cupsd:$cups/cupsd.conf" capture:capture.py; do
    if pid=$(recorded_pid "${name%%:*}" "${name#*:}"); then
      echo "${name%%:*}: running (pid $pid)"
    else
      echo "${name%%:*}: not running"
    fi
  done
  cups_running && echo "scheduler on $CUPS_SERVER: $(lpstat -r)"
  lpstat -v "$queue" 2>/dev/null || true
}

case "${1:-start}" in
  start) start ;;
  stop) stop ;;
  stop-printer) stop_one capture capture.py ;; # the capture printer goes away; start brings it back
  processes) prefix_processes | wc -l ;;
  stop-programs) stop_prefix_processes ;; # what a crashed or hung program left behind
  status) status ;;
  *) die "usage: $0 [start|stop|status]" ;;
esac
