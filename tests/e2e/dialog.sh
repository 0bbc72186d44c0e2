# Operating Quvara's setup dialog from outside with xdotool, and reading back the registry
# values its OK writes (sourced; needs the
# variables of build/e2e/env). The dialog and its message boxes are found by title.

dialog_title='Vellanor 5.1.1 setup'

# Every Windows program the tests start has a time limit: one that hangs is stopped (with
# the rest of its prefix, whose state it may have left broken), fails its check, and the
# run goes on. Where 32-bit code runs through qemu everything takes about six times longer
# than natively; the limits allow for that. tests/check-time-limits.sh keeps it so.
wine_program=$(command -v wine)
wine64_program=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -x "$wine64_program" ] || wine64_program=$wine_program # the same tools, only slower
win() { # PROGRAM [ARGUMENT...]: runs a Windows program, 180 s at most
  local limit=180 status
  timeout -k 10 "$limit" "$wine_program" "$@"
  status=$?
  if [ "$status" = 124 ] || [ "$status" = 137 ]; then
    echo "stopped after ${limit}s: $*" >&2
    timeout 30 wineserver -k 2>/dev/null
  fi
  return "$status"
}
winreg() { timeout -k 10 60 "$wine64_program" reg "$@"; } # reg.exe of the 64-bit view

# Windows path of a Unix path: drive Z: is the Unix root in every Wine prefix.
winpath() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}

# Polls up to 60 s (a loaded machine that emulates 32-bit code needs more than 30) for a
# window titled exactly $1; prints its id.
find_window() {
  local id
  for _ in $(seq 600); do
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
    win "$QV_LAUNCH" "$(winpath "$QV_E2E/dialog-cmdline")" >"$QV_E2E/dialog.out" 2>&1
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

# Moves the selection of the open dialog's printer list to the printer named $1 as a
# user does: from the top, one entry down at a time, reading the selection each time.
# 1 when no entry has that name.
select_printer() {
  local current seen=""
  press "$dialog" Home || return
  for _ in $(seq 50); do
    current=$(win "$QV_LAUNCH" -s 2>/dev/null)
    [ "$current" = "$1" ] && return 0
    [ "$current" != "$seen" ] || break # the last entry: Down moves no more
    seen=$current
    press "$dialog" Down
  done
  echo "select_printer: no entry '$1' in the list" >&2
  return 1
}

# Up to 30 s for the program started by dialog_open to end.
dialog_ended() {
  for _ in $(seq 300); do
    [ -s "$QV_E2E/dialog.status" ] && return 0
    sleep 0.1
  done
  return 1
}

# Waits for the program started by dialog_open to end; sets $status ("running" if it did
# not, after cancelling the dialog so that it does not linger into the next test).
dialog_wait_closed() {
  if dialog_ended; then
    status=$(cat "$QV_E2E/dialog.status")
  else
    status=running
    press "$(find_window "$dialog_title")" Escape
    dialog_ended
  fi
  finished=$(date +%s.%N)
}

# What OK writes, row by row, for printer $1 and the program at Windows path $2:
# ROOT|KEY|VALUE|TYPE|DATA ("" is the key's default value).
config_rows() {
  local m='MIME\Database\Content Type\application/x-' c="\"$2\" \"%1\""
  cat <<EOF
HKLM|Software\Pellander\Quvara|Printer|REG_SZ|$1
HKCR|.EPL||REG_SZ|EPLFile
HKCR|.EPL2||REG_SZ|EPLFile
HKCR|EPLFile||REG_SZ|EPL Label
HKCR|EPLFile|EditFlags|REG_BINARY|00000100
HKCR|EPLFile\Shell||REG_SZ|Open
HKCR|.ZPL||REG_SZ|ZPLFile
HKCR|ZPLFile||REG_SZ|ZPL Label
HKCR|ZPLFile|EditFlags|REG_BINARY|00000100
HKCR|ZPLFile\Shell||REG_SZ|Open
HKCR|EPLFile\Shell\Open\command||REG_SZ|$c
HKCR|${m}epl|Extension|REG_SZ|.epl
HKCR|${m}epl2|Extension|REG_SZ|.epl2
HKCR|ZPLFile\Shell\Open\command||REG_SZ|$c
HKCR|${m}zpl|Extension|REG_SZ|.zpl
EOF
}

# How reg.exe names value $2 of a key under root $1; sets the array $args.
reg_args() {
  args=(/v "$2")
  [ -n "$2" ] || args=(/ve)
  [ "$1" = HKLM ] && args+=(/reg:32)
  return 0
}

# Each of those values as `reg query` shows it, and as they should be (config_rows' arguments).
# A value not found is asked for twice: once, in a fresh prefix, a query that ran right
# after the program had written it came back empty.
config_dump() {
  local root sub value args line
  while IFS='|' read -r root sub value _; do
    reg_args "$root" "$value"
    for _ in 1 2; do
      line=$(winreg query "$root\\$sub" "${args[@]}" </dev/null 2>/dev/null |
        tr -d '\r' | sed -n 's/^    //p' | head -n 1)
      [ -n "$line" ] && break
    done
    printf '%s\\%s: %s\n' "$root" "$sub" "$line"
  done < <(config_rows x x)
}
config_expected() {
  local root sub value type data
  while IFS='|' read -r root sub value type data; do
    printf '%s\\%s: %s    %s    %s\n' "$root" "$sub" "${value:-(Default)}" "$type" "$data"
  done < <(config_rows "$1" "$2")
}
