# Operating Quvara's setup dialog from outside with xdotool (sourced; needs the
# variables of build/e2e/env). The dialog and its message boxes are found by title.

dialog_title='Vellanor 5.1.1 setup'

# Windows path of a Unix path: drive Z: is the Unix root in every Wine prefix.
winpath() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}

# Polls up to 30 s for a window titled exactly $1; prints its id.
find_window() {
  local id
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Starts COMMAND_LINE (default: the program without an argument) in the background
# through the launcher, and waits for the dialog. Sets $dialog; 1 if none appeared.
dialog_open() {
  local exe=$1 cmdline=${2:-}
  [ -n "$cmdline" ] || cmdline="\"$(winpath "$exe")\""
  printf '%s' "$cmdline" >"$QV_E2E/dialog-cmdline"
  rm -f "$QV_E2E/dialog.status"
  (
    wine "$QV_LAUNCH" "$(winpath "$QV_E2E/dialog-cmdline")" >"$QV_E2E/dialog.out" 2>&1
    echo $? >"$QV_E2E/dialog.status"
  ) &
  dialog=$(find_window "$dialog_title")
}

# Gives window $1 the focus and types the keys that follow, if any.
press() {
  local window=$1
  shift
  xdotool windowfocus --sync "$window" || return
  [ $# = 0 ] || xdotool key --delay 150 "$@"
}

# Waits up to 30 s for the program started by dialog_open to end; sets $status
# ("running" if it did not, after trying to cancel the dialog so it does not
# linger into the next test).
dialog_wait_closed() {
  local try
  for try in 1 2; do
    for _ in $(seq 300); do
      [ -s "$QV_E2E/dialog.status" ] && break 2
      sleep 0.1
    done
    [ $try = 1 ] && press "$(find_window "$dialog_title")" Escape
  done
  status=$(cat "$QV_E2E/dialog.status" 2>/dev/null || echo running)
  [ "$try" = 1 ] || status=running
  finished=$(date +%s.%N)
}
