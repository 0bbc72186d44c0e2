#!/usr/bin/env bash
# End-to-end tests of the real Windows build under Wine: each test sets the registry,
# starts Quvara.exe with an exact command line (or through the shell's file
# associations), then compares what reached the capture printer and the log.
#
#   tests/e2e/run.sh            tests build/windows/Quvara.exe
#   QUVARA_EXE=path tests/e2e/run.sh
#   tests/e2e/run.sh NAME...    runs only the tests whose names contain a NAME
#   E2E_STOP=1 tests/e2e/run.sh stops the environment afterwards
#
# Sets up the environment first (tests/e2e/env.sh) and leaves it running for the next
# run. Prints "N passed, M failed" last and exits non-zero if anything failed.
set -uo pipefail
# Names with letters beyond ASCII pass through Wine's tools as UTF-8.
export LC_ALL=C.UTF-8

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
exe=$(realpath -m "${QUVARA_EXE:-$root/build/windows/Quvara.exe}")
if [ ! -f "$exe" ]; then
  echo "no $exe: build it first (cmake --preset windows && cmake --build --preset windows)" >&2
  echo "0 passed, 1 failed"
  exit 1
fi

bash "$root/tests/e2e/env.sh" start || { echo "0 passed, 1 failed"; exit 1; }
# shellcheck source=/dev/null
source "$root/build/e2e/env"
# shellcheck source=tests/e2e/dialog.sh
source "$root/tests/e2e/dialog.sh"

# A second queue of the tests' scheduler, to the same capture printer, whose name differs
# from the first only by a soft hyphen (U+00AD), which Windows' linguistic comparison
# (lstrcmpA) ignores. It is there while the tests run.
queue2=$'LabelPrinter\xc2\xad'  # as CUPS and Wine's tools spell it (UTF-8)
queue2_ansi=$'LabelPrinter\xad'  # as the program sees and logs it (Windows-1252)
lpadmin -p "$queue2" -E -v "$QV_DEVICE" -m raw 2>/dev/null ||
  { echo "cannot create the second queue"; echo "0 passed, 1 failed"; exit 1; }

work=$QV_E2E/work
rm -rf "$work"
# Jobs of earlier runs only fill the disk; the listener keeps counting on its own.
find "$QV_CAPTURES" -name '*.prn' -delete
cancel -a -x "$QV_QUEUE" 2>/dev/null # CUPS keeps every job's data for a day
mkdir -p "$work/dir with blanks"
log=$QV_TEMP/QuvaraLog.txt
key='HKLM\Software\Pellander\Quvara'
quiet_seconds=3   # a job reaches the printer well under a second after the program ends
arrive_seconds=30

passed=0
failed=0
problems=()

exe_win=$(winpath "$exe")

fail() { problems+=("$*"); }

reg_set_printer() {
  winreg add "$key" /v Printer /t REG_SZ /d "$1" /f /reg:32 >/dev/null 2>&1 ||
    fail "could not set the saved printer"
}

reg_delete_key() {
  winreg delete "$key" /f /reg:32 >/dev/null 2>&1 || true
  if winreg query "$key" /reg:32 >/dev/null 2>&1; then
    fail "could not delete $key"
  fi
}

# The system's text for an error code, taken from this Wine rather than written down.
systext() {
  local cache=$work/message-$1
  [ -f "$cache" ] || win "$QV_LAUNCH" -m "$1" >"$cache" 2>/dev/null
  cat "$cache"
}

entry() { printf '%s: %s\r\n' "$1" "$2"; }
entry_error() {
  printf '%s: %s\r\n\t' "$1" "$2"
  systext "$3"
  printf '\r\n'
}
entries_printer_loaded() {
  entry QV017 "Get previously configured printer"
  entry QV029 "Opening registry key"
  entry QV030 'Software\Pellander\Quvara'
  entry QV032 "Reading registry value"
  entry QV033 "Printer"
  entry QV019 "$1"
}
# command line, argument text, path, printer
entries_print_start() {
  entry QV002 "$1"
  entry QV003 "$2"
  entry QV101 "Printing..."
  entry QV102 "$3"
  entry QV103 "$4"
}
entries_printed() {
  entries_printer_loaded "$4"
  entries_print_start "$@"
  entry QV111 "End-of-file"
}

last_capture() {
  local name
  name=$(find "$QV_CAPTURES" -name '*.prn' -printf '%f\n' | sort | tail -n 1)
  echo "${name%.prn}"
}

# Lets jobs of an earlier test drain so they are not taken for this test's.
settle() {
  local i
  for i in $(seq 100); do
    [ -z "$(lpstat -o "$QV_QUEUE" 2>/dev/null)" ] && break
    sleep 0.1
  done
  before=$(last_capture)
  rm -f "$log"
}

new_captures() {
  find "$QV_CAPTURES" -name '*.prn' -printf '%f\n' | sort |
    awk -v b="${before:-0}" '$0 > b ".prn" { print }'
}

# Runs the program with exactly this command line (-u: in UTF-8, as wide text); sets $status.
run_cmdline() {
  printf '%s' "$1" >"$work/cmdline"
  win "$QV_LAUNCH" ${2:-} "$(winpath "$work/cmdline")" >"$work/wine.out" 2>&1
  status=$?
  finished=$(date +%s.%N)
}

expect_exit_zero() {
  [ "$status" = 0 ] || fail "exit code $status, expected 0 ($(head -c 300 "$work/wine.out"))"
}

# The one new job must hold exactly the bytes of $1.
expect_printed() { # FILE [SECONDS to wait, default $arrive_seconds]
  local file=$1 wait=${2:-$arrive_seconds} deadline jobs
  deadline=$(($(date +%s) + wait))
  while [ -z "$(new_captures)" ] && [ "$(date +%s)" -lt "$deadline" ]; do
    sleep 0.05
  done
  jobs=$(new_captures)
  if [ -z "$jobs" ]; then
    fail "nothing arrived at the printer within ${wait}s"
    return
  fi
  sleep 0.3 # a second job would be a fault too
  jobs=$(new_captures)
  if [ "$(echo "$jobs" | wc -l)" != 1 ]; then
    fail "expected one job, got: $(echo "$jobs" | tr '\n' ' ')"
  fi
  if ! cmp -s "$file" "$QV_CAPTURES/$(echo "$jobs" | head -n 1)"; then
    fail "printer received other bytes than $(basename "$file"): $(cmp "$file" "$QV_CAPTURES/$(echo "$jobs" | head -n 1)" 2>&1 | head -n 1)"
  fi
}

expect_nothing_printed() {
  local wait jobs
  wait=$(awk -v f="$finished" -v q="$quiet_seconds" -v now="$(date +%s.%N)" \
    'BEGIN { w = f + q - now; print (w > 0 ? w : 0) }')
  sleep "$wait"
  jobs=$(new_captures)
  # An empty connection carries nothing either.
  for job in $jobs; do
    [ -s "$QV_CAPTURES/$job" ] && fail "printer received a job: $job ($(stat -c %s "$QV_CAPTURES/$job") bytes)"
  done
  return 0
}

# Compares the log with $work/expected-log (written by the caller: a pipe into this
# function would run it in a subshell and lose its failures).
expect_log() {
  if [ ! -f "$log" ]; then
    fail "no log at $log"
  elif ! cmp -s "$work/expected-log" "$log"; then
    fail "log differs from expected (< expected, > actual):"$'\n'"$(diff <(cat -A "$work/expected-log") <(cat -A "$log") | cut -c1-160 | head -n 30 | sed 's/^/      /')"
  fi
}

# Where 32-bit code is emulated, qemu-user now and then crashes a thread of a Wine
# program, which then hangs until its time limit (measured: about one opening of the
# file dialog in five). A failed test whose program crashed in Wine's own code or hung
# that way runs again, at most three times more, each retry printed. Natively, and for
# every other failure, the first result stands.
emulator_crashed() {
  ((QV_EMULATED)) || return 1
  wait # the programs a test left running end within their time limits
  crash=$(find "$QV_E2E" -maxdepth 2 -name '*.out' -newer "$QV_E2E/attempt-started" \
    -exec grep -a -h -o -E -e 'qemu: uncaught target signal [0-9]+' -e 'wine client error:.{0,60}' \
    -e 'launch: child still running after [0-9]+ s' -e 'stopped after [0-9]+s' {} + | head -n 1)
  [ -n "$crash" ]
}

run_test() {
  local name=$1 pattern selected=${#selected_names[@]}
  if [ "$selected" -gt 0 ]; then
    local hit=0
    for pattern in "${selected_names[@]}"; do
      [[ $name == *"$pattern"* ]] && hit=1
    done
    [ $hit = 1 ] || return 0
  fi
  local started=$SECONDS attempt
  for attempt in 1 2 3 4; do
    problems=()
    touch "$QV_E2E/attempt-started"
    "$name"
    stop_net_printers
    [ ${#problems[@]} = 0 ] && break
    emulator_crashed || break
    echo "    attempt $attempt: ${problems[0]%%$'\n'*}; under emulation \"$crash\": run again"
    bash "$root/tests/e2e/env.sh" stop-programs >/dev/null
  done
  if [ ${#problems[@]} = 0 ]; then
    passed=$((passed + 1))
    echo "PASS $name ($((SECONDS - started))s)"
  else
    failed=$((failed + 1))
    echo "FAIL $name ($((SECONDS - started))s)"
    printf '    %s\n' "${problems[@]}"
  fi
}

# Prints $2 as the program's argument text, with the printed file $1.
print_case() {
  local file=$1 args=$2 path=$3 cmdline="\"$exe_win\" $2"
  reg_set_printer "$QV_QUEUE"
  settle
  run_cmdline "$cmdline"
  expect_exit_zero
  expect_printed "$file"
  entries_printed "$cmdline" "$args" "$path" "$QV_QUEUE" >"$work/expected-log"
  expect_log
}

make_bytes() { # FILE SIZE: byte i is i mod 256, so every value from 0x00 to 0xFF appears
  python3 -c 'import sys; n = int(sys.argv[2]); open(sys.argv[1], "wb").write(bytes(range(256)) * (n // 256) + bytes(range(n % 256)))' "$1" "$2"
}

# ---------------------------------------------------------------------------

test_quoted_path_with_blanks_prints_file_and_recreates_log() {
  local file="$work/dir with blanks/shipping label.zpl"
  cp "$root/samples/shipping-label.zpl" "$file"
  # A longer log of an earlier run must not survive behind the new entries.
  head -c 20000 /dev/zero | tr '\0' 'x' >"$log.old"
  reg_set_printer "$QV_QUEUE"
  settle
  mv "$log.old" "$log"
  run_cmdline "\"$exe_win\" \"$(winpath "$file")\""
  expect_exit_zero
  expect_printed "$file"
  entries_printed "\"$exe_win\" \"$(winpath "$file")\"" "\"$(winpath "$file")\"" \
    "$(winpath "$file")" "$QV_QUEUE" >"$work/expected-log"
  expect_log
}

test_unquoted_path_is_taken_unchanged_and_writes_no_event() {
  local file="$work/plain.zpl"
  cp "$root/samples/shipping-label.zpl" "$file"
  events_traced print_case "$file" "$(winpath "$file")" "$(winpath "$file")"
  ! grep -a -q 'EventSource' "$work/wine.out" || fail "a printed label wrote an event"
}

test_unquoted_path_with_blanks_is_one_path() {
  local file="$work/dir with blanks/label  two.epl"
  cp "$root/samples/shipping-label.epl" "$file"
  print_case "$file" "$(winpath "$file")" "$(winpath "$file")"
}

test_opening_quote_without_closing_or_a_blank_after_it_names_the_file() {
  local file="$work/dir with blanks/open quote.epl"
  cp "$root/samples/shipping-label.epl" "$file"
  # Only a closing quote is dropped at the end, after the blanks: "open quote.ep" is not named.
  cp "$root/samples/shipping-label.zpl" "${file%?}"
  print_case "$file" "\"$(winpath "$file")" "$(winpath "$file")"
  print_case "$file" "\"$(winpath "$file")\" "$'\t' "$(winpath "$file")"
}

test_blanks_and_tabs_after_program_name_are_skipped() {
  local file="$work/dir with blanks/tabbed.zpl" cmdline
  cp "$root/samples/shipping-label.zpl" "$file"
  cmdline="\"$exe_win\" "$'\t'"  \"$(winpath "$file")\""
  reg_set_printer "$QV_QUEUE"
  settle
  run_cmdline "$cmdline"
  expect_exit_zero
  expect_printed "$file"
  entries_printed "$cmdline" "\"$(winpath "$file")\"" "$(winpath "$file")" "$QV_QUEUE" >"$work/expected-log"
  expect_log
}

test_files_around_chunk_sizes_arrive_byte_for_byte() {
  local size file
  for size in 1 1023 1024 1025 2048 1048576; do
    file="$work/bytes-$size.zpl"
    make_bytes "$file" "$size"
    local before_problems=${#problems[@]}
    print_case "$file" "\"$(winpath "$file")\"" "$(winpath "$file")"
    [ ${#problems[@]} = "$before_problems" ] || fail "(size $size)"
  done
}

test_empty_file_sends_no_bytes_and_logs_normal_end() {
  local file="$work/empty.zpl" cmdline
  : >"$file"
  cmdline="\"$exe_win\" \"$(winpath "$file")\""
  reg_set_printer "$QV_QUEUE"
  settle
  run_cmdline "$cmdline"
  expect_exit_zero
  expect_nothing_printed
  entries_printed "$cmdline" "\"$(winpath "$file")\"" "$(winpath "$file")" "$QV_QUEUE" >"$work/expected-log"
  expect_log
}

# Prints the plain sample label with the capture printer saved; sets $file and $cmdline.
print_plain_label() {
  file="$work/plain.zpl"
  cp "$root/samples/shipping-label.zpl" "$file"
  cmdline="\"$exe_win\" \"$(winpath "$file")\""
  run_cmdline "$cmdline"
  expect_exit_zero
}

# Prints the plain label while no printer can be loaded; $1 writes the entries
# between opening the key and giving up.
print_without_saved_printer() {
  settle
  print_plain_label
  expect_nothing_printed
  {
    entry QV017 "Get previously configured printer"
    entry QV029 "Opening registry key"
    entry QV030 'Software\Pellander\Quvara'
    "$1"
    entry QV018 "No printer configured"
    entry QV019 ""
    entry QV001 "No printer configured"
  } >"$work/expected-log"
  expect_log
}

entries_key_missing() { entry_error QV031 "Failed to open key" 2; }
entries_value_missing() {
  entry QV032 "Reading registry value"
  entry QV033 "Printer"
  entry_error QV034 "Failed to read value" 2
}

test_missing_printer_key_prints_nothing() {
  reg_delete_key
  print_without_saved_printer entries_key_missing
}

test_missing_printer_value_prints_nothing() {
  reg_delete_key
  winreg add "$key" /v Other /t REG_SZ /d LabelPrinter /f /reg:32 >/dev/null 2>&1
  print_without_saved_printer entries_value_missing
}

# A print that fails after the printer was loaded: nothing arrives, and the log ends
# in one error entry. PRINTER ARGUMENT PATH CODE TEXT ERROR
print_refused() {
  local cmdline="\"$exe_win\" $2"
  reg_set_printer "$1"
  settle
  run_cmdline "$cmdline"
  expect_exit_zero
  expect_nothing_printed
  {
    entries_printer_loaded "$1"
    entries_print_start "$cmdline" "$2" "$3" "$1"
    entry_error "$4" "$5" "$6"
  } >"$work/expected-log"
  expect_log
}

# Wine's event log only traces what it is given: type and ID, then each string (cut at 200
# characters), as C strings.
events_traced() { WINEDEBUG=-all,fixme+advapi,err+eventlog,warn+eventlog "$@"; }
expect_event() { # TYPE ID, as Wine traces them: one event of the run, that one
  [ "$(grep -a -c "ReportEventW (.*,$1,0x0000,$2," "$work/wine.out")" = 1 ] &&
    [ "$(grep -a -c 'ReportEventW (' "$work/wine.out")" = 1 ] ||
    fail "no event $2 of type $1, or more than one: $(grep -a 'ReportEventW (' "$work/wine.out")"
}

test_printer_unknown_to_spooler_logs_qv105_and_one_error_event() {
  local file="$work/plain.zpl" text
  cp "$root/samples/shipping-label.zpl" "$file"
  # 1801: ERROR_INVALID_PRINTER_NAME
  events_traced print_refused "No Such Printer" "\"$(winpath "$file")\"" "$(winpath "$file")" \
    QV105 "Failed to open printer" 1801
  expect_event 0x0001 0x00000069
  for text in "L\"$(winpath "$file" | sed 's/\\/\\\\/g')\"" 'L"No Such Printer"' \
    'L"QV017: Get previously configured printer\r\nQV029: Opening registry key\r\n'; do
    grep -a 'err:eventlog:ReportEventW' "$work/wine.out" | grep -qF -- "$text" || fail "the event lacks $text"
  done
}

test_file_that_does_not_exist_logs_qv104() {
  local path
  path=$(winpath "$work/dir with blanks/no such label.zpl")
  # 2: ERROR_FILE_NOT_FOUND
  print_refused "$QV_QUEUE" "\"$path\"" "$path" QV104 "Failed to open file" 2
}

test_lone_quote_names_no_file() {
  # 3: ERROR_PATH_NOT_FOUND, the name being empty
  print_refused "$QV_QUEUE" '"' "" QV104 "Failed to open file" 3
}

# ---- the setup dialog, operated with keys as a user would ----

expect_config() {
  config_expected "$1" "$exe_win" >"$work/expected-config"
  config_dump >"$work/config"
  diff "$work/expected-config" "$work/config" >"$work/config.diff" ||
    fail "registry differs (< expected, > actual): $(head -n 8 "$work/config.diff")"
}

delete_config() {
  local sub
  for sub in .EPL .EPL2 .ZPL EPLFile ZPLFile 'MIME\Database\Content Type\application/x-epl' \
    'MIME\Database\Content Type\application/x-epl2' 'MIME\Database\Content Type\application/x-zpl'; do
    winreg delete "HKCR\\$sub" /f </dev/null >/dev/null 2>&1
  done
}

# The log of opening the dialog with printer $1 saved: both queues are listed.
entries_dialog_opened() {
  entry QV004 "Initializing config dialog"
  entries_printer_loaded "$1"
  entry QVxxx "Listing local and connected printers"
  entry QV005 "EnumPrinters query memory requirements"
  entry QV007 "Allocating memory"
  entry QV009 "EnumPrinters query list of printers"
  entry QV011 "Populating printer list"
  entry QV012 "$QV_QUEUE"
  entry QV012 "$queue2_ansi"
  entry QV013 "Freeing memory"
  entry QV014 "Initialization complete"
}
# Reading the selection: printer $1, or none when empty.
entries_selected() {
  entry QV020 "Get selected printer"
  if [ -n "$1" ]; then
    entry QV021 "Found selected printer"
    entry QV022 "$1"
  fi
}
# OK with printer $1 selected (none when empty), saving printer $2.
entries_ok() {
  local sub value row=0
  entries_selected "$1"
  entry QV015 "Saving printer name"
  while IFS='|' read -r _ sub value _; do
    row=$((row + 1))
    [ $row = 2 ] && entry QV016 "Creating file associations"
    entry QV035 "Creating registry key"
    entry QV036 "$sub"
    entry QV038 "Writing registry value"
    entry QV039 "$value"
  done < <(config_rows "$2" "$exe_win")
}

# Types the keys that follow into the window titled $1 (a box the dialog opened); sets $box.
answer() {
  local title=$1
  shift
  if ! box=$(find_window "$title"); then
    fail "no window titled '$title'"
    return 1
  fi
  press "$box" "$@"
}

# Selects the printer named $1 in the open dialog.
choose() { select_printer "$1" || fail "no printer '$1' in the dialog's list"; }

# Opens the dialog with printer $1 saved and types the keys that follow.
operate_dialog() {
  local saved=$1
  shift
  reg_set_printer "$saved"
  settle
  if ! dialog_open "$exe"; then
    fail "the setup dialog did not appear"
    return 1
  fi
  press "$dialog" "$@"
}

test_dialog_preselects_exactly_the_saved_printer() {
  local saved ansi
  # Each name as saved, then as the program logs it.
  for saved in "$QV_QUEUE|$QV_QUEUE" "$queue2|$queue2_ansi"; do
    ansi=${saved#*|}
    operate_dialog "${saved%%|*}" Return || return
    dialog_wait_closed
    expect_exit_zero
    { entries_dialog_opened "$ansi"; entries_ok "$ansi" "$ansi"; } >"$work/expected-log"
    expect_log
  done
}

test_dialog_ok_saves_printer_and_associations_that_print_label_files() {
  local ext file
  delete_config
  operate_dialog "$queue2" || return
  choose "$QV_QUEUE"
  press "$dialog" Return
  dialog_wait_closed
  expect_exit_zero
  { entries_dialog_opened "$queue2_ansi"; entries_ok "$QV_QUEUE" "$QV_QUEUE"; } >"$work/expected-log"
  expect_log
  expect_config "$QV_QUEUE"
  # The browser's way: open the file with the type's open command that OK wrote.
  for ext in zpl epl2 epl; do
    file="$work/dir with blanks/label from browser.$ext"
    cp "$root/samples/shipping-label.${ext%2}" "$file"
    settle
    win start /wait /unix "$file" >"$work/wine.out" 2>&1
    status=$?
    finished=$(date +%s.%N)
    expect_exit_zero
    expect_printed "$file"
    # The shell substitutes %1 with the Windows path of the file.
    entries_printed "\"$exe_win\" \"$(winpath "$file")\"" "\"$(winpath "$file")\"" \
      "$(winpath "$file")" "$QV_QUEUE" >"$work/expected-log"
    expect_log
    [ ${#problems[@]} = 0 ] || { fail "(.$ext)"; return; }
  done
}

test_dialog_cancel_writes_nothing() {
  delete_config
  reg_set_printer "$queue2"
  config_dump >"$work/config-before"
  operate_dialog "$queue2" || return
  choose "$QV_QUEUE"
  press "$dialog" Escape
  dialog_wait_closed
  expect_exit_zero
  entries_dialog_opened "$queue2_ansi" >"$work/expected-log"
  expect_log
  config_dump >"$work/config"
  cmp -s "$work/config-before" "$work/config" ||
    fail "Cancel changed the registry: $(diff "$work/config-before" "$work/config" | head -n 4)"
}

test_dialog_ok_without_selection_asks_then_saves() {
  local box
  delete_config
  operate_dialog "Gone Printer" Return || return
  answer Quvara Return
  dialog_wait_closed
  expect_exit_zero
  { entries_dialog_opened "Gone Printer"; entries_ok "" "Gone Printer"; } >"$work/expected-log"
  expect_log
  expect_config "Gone Printer"
}

# ---- the dialog's Test, Show Remote Printers and Setup... ----

# Through Test: the file-open dialog gets the path typed in (after choosing
# "All Files(*.*)" when $2 is "all"), or Esc when $1 is empty.
pick_in_file_dialog() {
  local box
  press "$dialog" alt+t
  if [ -z "$1" ]; then
    answer 'Select a file to print' Escape
    return
  fi
  answer 'Select a file to print' || return
  [ "${2:-}" = all ] && press "$box" alt+t End alt+n # the last filter: All Files(*.*)
  xdotool type --delay 20 "$(winpath "$1")"
  press "$box" Return
}

# With the saved first queue, selects the second one and presses Test once: the file
# $1 must reach the printer (nothing when $1 is empty), the log say so, and the
# registry stay as it was. One file dialog per run: where 32-bit code is emulated,
# each opening risks the emulator's crash.
dialog_test_round() {
  local file=$1
  reg_set_printer "$QV_QUEUE"
  config_dump >"$work/config-before"
  operate_dialog "$QV_QUEUE" || return
  choose "$queue2"
  pick_in_file_dialog "$file" "${2:-}"
  if [ -n "$file" ]; then
    expect_printed "$file"
    before=$(last_capture)
  fi
  press "$dialog" Escape
  dialog_wait_closed
  expect_exit_zero
  expect_nothing_printed
  {
    entries_dialog_opened "$QV_QUEUE"
    entry QV026 "Testing configuration"
    entries_selected "$queue2_ansi"
    if [ -n "$file" ]; then
      entry QV101 "Printing..."
      entry QV102 "$(winpath "$file")"
      entry QV103 "$queue2_ansi"
      entry QV111 "End-of-file"
      entry QV028 "Test configuration complete"
    else
      entry QV027 "No file selected"
    fi
  } >"$work/expected-log"
  expect_log
  config_dump >"$work/config"
  cmp -s "$work/config-before" "$work/config" || fail "Test changed the registry"
}

test_dialog_test_prints_a_chosen_label_to_the_selected_printer_and_saves_nothing() {
  cp "$root/samples/shipping-label.epl" "$work/shipping label.epl"
  dialog_test_round "$work/shipping label.epl"
}

test_dialog_test_prints_any_file_under_all_files() {
  cp "$root/samples/shipping-label.zpl" "$work/label as text.txt"
  dialog_test_round "$work/label as text.txt" all
}

test_dialog_test_without_a_file_prints_nothing() { dialog_test_round ""; }

test_dialog_remote_printers_only_after_the_warning() {
  local box
  # From the list, which has the focus, back to the check box (the last tab stop).
  operate_dialog "$QV_QUEUE" shift+Tab space || return
  answer 'Show remote printers' Escape
  # Cancel unchecked the box: checking it again asks again.
  press "$dialog" space
  answer 'Show remote printers' Return
  press "$dialog" Escape
  dialog_wait_closed
  expect_exit_zero
  {
    entries_dialog_opened "$QV_QUEUE"
    # Wine cannot list a domain's printers (error 1004): the local ones stay, unselected.
    entries_dialog_opened "$QV_QUEUE" | sed '$d'
    entry QVxxx "Listing remote printers"
    entry QVxxx "EnumPrinters query memory requirements"
    entry_error QVxxx "EnumPrinters memory requirements query failed" 1004
  } >"$work/expected-log"
  expect_log
}

test_dialog_setup_opens_the_printer_settings_and_the_dialog_goes_on() {
  delete_config
  operate_dialog "$QV_QUEUE" alt+s Return || return
  dialog_wait_closed
  expect_exit_zero
  {
    entries_dialog_opened "$QV_QUEUE"
    entry QV023 "Displaying printer properties"
    entries_selected "$QV_QUEUE"
    entry QV025 "Printer settings displayed"
    entries_ok "$QV_QUEUE" "$QV_QUEUE"
  } >"$work/expected-log"
  expect_log
  expect_config "$QV_QUEUE"
}

# ---- faults around a print ----

test_second_copy_prints_while_the_first_holds_the_log() {
  operate_dialog "$QV_QUEUE" || return # the first copy keeps its log open
  print_plain_label
  expect_printed "$file"
  press "$dialog" Escape
  dialog_wait_closed
  expect_exit_zero
  # The second copy neither wrote into nor replaced the first one's log.
  entries_dialog_opened "$QV_QUEUE" >"$work/expected-log"
  expect_log
}

test_label_held_open_for_writing_is_not_printed() {
  local held="$work/being-written.zpl" # the helper takes its argument unquoted
  cp "$root/samples/shipping-label.zpl" "$held"
  rm -f "$work/holder.fifo"
  mkfifo "$work/holder.fifo"
  win "$QV_LAUNCH" -w "$(winpath "$held")" <"$work/holder.fifo" >"$work/holder.out" 2>&1 &
  exec 9>"$work/holder.fifo"
  for _ in $(seq 300); do grep -q holding "$work/holder.out" && break; sleep 0.1; done
  grep -q holding "$work/holder.out" || fail "the file could not be held: $(cat "$work/holder.out")"
  # 32: ERROR_SHARING_VIOLATION. Without the fifo's writing end: a Wine service started
  # meanwhile would keep it open, and the helper would wait for ever.
  print_refused "$QV_QUEUE" "\"$(winpath "$held")\"" "$(winpath "$held")" QV104 "Failed to open file" 32 9>&-
  exec 9>&-
  wait
}

test_stopped_queue_keeps_the_label_until_it_is_started() {
  local started
  reg_set_printer "$QV_QUEUE"
  settle
  cupsdisable "$QV_QUEUE"
  started=$(date +%s.%N)
  print_plain_label
  echo "    the run took $(awk -v s="$started" -v e="$finished" 'BEGIN { printf "%.1f", e - s }')s with the queue stopped"
  expect_nothing_printed
  cupsenable "$QV_QUEUE"
  expect_printed "$file"
}

test_unreachable_printer_gets_the_label_when_it_is_back() {
  reg_set_printer "$QV_QUEUE"
  settle
  bash "$root/tests/e2e/env.sh" stop-printer >/dev/null
  print_plain_label
  expect_nothing_printed
  bash "$root/tests/e2e/env.sh" start >/dev/null
  # CUPS tries the printer again every 30 seconds.
  expect_printed "$file" 60
}

test_deleted_printer_logs_qv105_and_prints_when_added_again() {
  local file="$work/plain.zpl"
  cp "$root/samples/shipping-label.zpl" "$file"
  lpadmin -x "$QV_QUEUE"
  # 1801: ERROR_INVALID_PRINTER_NAME
  print_refused "$QV_QUEUE" "\"$(winpath "$file")\"" "$(winpath "$file")" QV105 "Failed to open printer" 1801
  bash "$root/tests/e2e/env.sh" start >/dev/null # adds the queue again, same name
  settle
  print_plain_label
  expect_printed "$file"
}

# With the station option Notify, a label that cannot be printed says why, in a box in
# front of the browser; a label that prints shows none (the run would wait for its OK).
test_notify_tells_why_a_label_did_not_print_and_stays_silent_when_it_prints() {
  local text=""
  winreg add "$key" /v Notify /t REG_DWORD /d 1 /f /reg:32 >/dev/null 2>&1 || fail "could not set Notify"
  reg_set_printer "Gone Printer"
  settle
  printf '"%s" "%s"' "$exe_win" "$(winpath "$root/samples/test-label.zpl")" >"$work/cmdline"
  win "$QV_LAUNCH" "$(winpath "$work/cmdline")" >"$work/wine.out" 2>&1 &
  if box=$(find_window Quvara); then
    text=$(win "$QV_LAUNCH" -t | tr -d '\r')
    press "$box" Return
  fi
  wait
  echo "    $text" | head -n 1
  [[ $text == *'Windows has no printer named "Gone Printer".'* && $text == *"Event QV105. Details: "*QuvaraLog.txt ]] ||
    fail "no notice, or another one: '$text'"
  reg_set_printer "$QV_QUEUE"
  settle
  print_plain_label
  expect_printed "$file"
  winreg delete "$key" /v Notify /f /reg:32 >/dev/null 2>&1
}

# Opened one after another through the association, as from a browser's downloads.
test_burst_of_labels_all_arrive_in_order() {
  # Where 32-bit code is emulated, 50 (200 would take ten minutes there).
  local count=${QV_BURST:-$( ((QV_EMULATED)) && echo 50 || echo 200)} i started elapsed processes_before jobs
  operate_dialog "$QV_QUEUE" Return || return # the associations, as OK writes them
  dialog_wait_closed
  for i in $(seq -f '%03g' "$count"); do
    sed "s/^\\^XZ/^FO40,1180^A0N,24,24^FDBURST $i^FS\\n^XZ/" "$root/samples/shipping-label.zpl" \
      >"$work/burst-$i.zpl"
  done
  settle
  processes_before=$(bash "$root/tests/e2e/env.sh" processes)
  started=$(date +%s.%N)
  for i in $(seq -f '%03g' "$count"); do
    win start /wait /unix "$work/burst-$i.zpl" >/dev/null 2>&1 ||
      fail "label $i: exit code $?"
  done
  elapsed=$(awk -v s="$started" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }')
  for _ in $(seq 300); do [ "$(new_captures | wc -l)" -ge "$count" ] && break; sleep 0.1; done
  jobs=$(new_captures)
  [ "$(echo "$jobs" | grep -c .)" = "$count" ] || fail "$(echo "$jobs" | grep -c .) of $count labels arrived"
  i=0
  for job in $jobs; do
    i=$((i + 1))
    cmp -s "$work/burst-$(printf '%03d' $i).zpl" "$QV_CAPTURES/$job" ||
      { fail "job $job is not label $i"; break; }
  done
  echo "    $count labels in ${elapsed}s ($(awk -v t="$elapsed" -v n="$count" 'BEGIN { printf "%.2f", t / n }')s each); Wine processes $processes_before before, $(bash "$root/tests/e2e/env.sh" processes) after; log $(stat -c %s "$log") bytes; CUPS jobs left: $(lpstat -o "$QV_QUEUE" | wc -l)"
  [ "$(bash "$root/tests/e2e/env.sh" processes)" -le "$processes_before" ] || fail "Wine processes were left behind"
  [ -z "$(lpstat -o "$QV_QUEUE")" ] || fail "CUPS still holds jobs"
  # The last run's log only: no log grows from run to run.
  entries_printed "\"$exe_win\" \"$(winpath "$work/burst-$(printf '%03d' "$count").zpl")\"" \
    "\"$(winpath "$work/burst-$(printf '%03d' "$count").zpl")\"" \
    "$(winpath "$work/burst-$(printf '%03d' "$count").zpl")" "$QV_QUEUE" >"$work/expected-log"
  expect_log
}

test_program_in_a_folder_with_a_non_ascii_name() {
  # Unix names in UTF-8; the command line in Windows-1252, unquoted, so the
  # program name must not end at the "ü".
  local dir="$work/Dr"$'\xc3\xbc'"cker" file exe_1252 file_1252
  mkdir -p "$dir"
  cp "$exe" "$dir/Quvara.exe"
  file="$dir/"$'\xc3\x89'"tiquette.zpl"
  cp "$root/samples/shipping-label.zpl" "$file"
  exe_1252="$(winpath "$work")\\Dr"$'\xfc'"cker\\Quvara.exe"
  file_1252="$(winpath "$work")\\Dr"$'\xfc'"cker\\"$'\xc9'"tiquette.zpl"

  reg_set_printer "$QV_QUEUE"
  settle
  if dialog_open "" "$exe_1252"; then
    press "$dialog" Escape
    dialog_wait_closed
    expect_exit_zero
    entries_dialog_opened "$QV_QUEUE" >"$work/expected-log"
    expect_log
  else
    fail "started without a file, it showed no dialog"
    dialog_wait_closed
  fi

  settle
  run_cmdline "$exe_1252 $file_1252"
  expect_exit_zero
  expect_printed "$file"
  entries_printed "$exe_1252 $file_1252" "$file_1252" "$file_1252" "$QV_QUEUE" >"$work/expected-log"
  expect_log
}

test_names_outside_the_code_page_print_the_file_they_name() {
  # Started as wide text; Windows-1252 best-fits "Ł" to "L" and has "?" for Cyrillic, so the
  # ANSI command line names the look-alike beside the label, or nothing. The log keeps it.
  local name ansi path
  printf '^XA^FDlook-alike^FS^XZ' >"$work/Label.zpl"
  for name in $'\xc5\x81abel.zpl:Label.zpl' $'\xd0\x9c\xd0\xb5\xd1\x82\xd0\xba\xd0\xb0.zpl:?????.zpl'; do
    ansi=${name#*:} name=${name%%:*} path="$(winpath "$work")\\$ansi"
    printf '^XA^FD%s^FS^XZ' "$ansi" >"$work/$name"
    reg_set_printer "$QV_QUEUE"
    settle
    run_cmdline "\"$exe_win\" \"$(winpath "$work")\\$name\"" -u
    expect_exit_zero
    expect_printed "$work/$name"
    entries_printed "\"$exe_win\" \"$path\"" "\"$path\"" "$path" "$QV_QUEUE" >"$work/expected-log"
    expect_log
  done
}

# ---- straight to a printer's address, without a queue ----

net_pids=()
# Starts a capture printer of the test's own on a free port of 127.0.0.1, with capture.py's
# options; sets $net_dir and $net_port. It stops when the test ends.
start_net_printer() {
  net_dir=$work/net-${#net_pids[@]}
  rm -rf "$net_dir" "$net_dir.ready" && mkdir -p "$net_dir"
  setsid python3 "$root/tests/e2e/capture.py" --dir "$net_dir" --ready "$net_dir.ready" "$@" \
    </dev/null >"$net_dir.log" 2>&1 &
  net_pids+=($!)
  for _ in $(seq 100); do [ -s "$net_dir.ready" ] && break; sleep 0.05; done
  net_port=$(cut -s -d' ' -f2 "$net_dir.ready")
}
stop_net_printers() { [ ${#net_pids[@]} = 0 ] || kill "${net_pids[@]}" 2>/dev/null; net_pids=(); }

# The printer got these files, one connection each, in any order, and never two at once.
expect_net_jobs() {
  local want got
  for _ in $(seq 300); do [ "$(find "$net_dir" -name '*.prn' | wc -l)" -ge $# ] && break; sleep 0.1; done
  want=$(for f in "$@"; do md5sum <"$f"; done | sort)
  got=$(for f in "$net_dir"/*.prn; do [ -e "$f" ] && md5sum <"$f"; done | sort)
  [ "$want" = "$got" ] || fail "the printer at the address got $(find "$net_dir" -name '*.prn' -printf '%s bytes, ')not the $# label(s)"
  [ ! -e "$net_dir/OVERLAP" ] || fail "a second connection opened while the first was open"
}

# Prints $file to the saved printer $1; the log ends with the entries of the function $2.
print_to_address() {
  local cmdline="\"$exe_win\" \"$(winpath "$file")\""
  reg_set_printer "$1"
  settle
  run_cmdline "$cmdline"
  expect_exit_zero
  {
    entries_printer_loaded "$1"
    entries_print_start "$cmdline" "\"$(winpath "$file")\"" "$(winpath "$file")" "$1"
    "$2"
  } >"$work/expected-log"
  expect_log
}
entries_sent() { entry QV137 "Connected to the printer"; entry QV111 "End-of-file"; }
entries_printed_at_address() { entries_sent; entry QV140 "Printer closed the connection"; }

# By a name that resolves (to ::1, which refuses, and 127.0.0.1), to a printer that listens
# only after some seconds: the label arrives whole, and nothing goes through CUPS.
test_address_by_a_name_of_a_printer_listening_late_gets_the_label_with_no_queue() {
  file="$work/plain.zpl"
  cp "$root/samples/shipping-label.zpl" "$file"
  start_net_printer --listen-after 4
  events_traced print_to_address "tcp://localhost:$net_port/" entries_printed_at_address
  expect_net_jobs "$file"
  expect_nothing_printed
  ! grep -a -q 'ReportEvent' "$work/wine.out" || fail "a printed label wrote an event"
}

test_address_that_refuses_ends_by_itself_with_qv135_and_an_event() {
  file="$work/plain.zpl"
  entries_refused() { entry_error QV135 "Printer refused the connection" 10061; }
  local started=$SECONDS
  start_net_printer --listen-after 3600
  events_traced print_to_address "tcp://127.0.0.1:$net_port" entries_refused
  echo "    the run ended after $((SECONDS - started))s"
  expect_event 0x0001 0x00000087
  grep -a 'err:eventlog:ReportEventW' "$work/wine.out" | grep -qF "L\"tcp://127.0.0.1:$net_port\"" ||
    fail "the event does not name the address"
}

test_address_of_a_printer_that_drops_the_connection_is_never_a_success() {
  file="$work/big.zpl"
  make_bytes "$file" 8388608 # more than the socket buffers hold
  start_net_printer --reset-after 65536
  reg_set_printer "tcp://127.0.0.1:$net_port"
  settle
  run_cmdline "\"$exe_win\" \"$(winpath "$file")\""
  expect_exit_zero
  grep -a -q -E '^QV138: Connection lost before the whole label went; bytes Windows took: [0-9]+' "$log" &&
    ! grep -a -q -E '^QV1(11|39|40|41):' "$log" ||
    fail "not QV138 alone: $(grep -a -E '^QV1[0-9]{2}' "$log" | tail -n 3 | tr '\r\n' '  ')"
}

test_address_of_a_printer_that_never_closes_ends_at_its_limit_printed() {
  file="$work/plain.zpl"
  entries_kept_open() { entries_sent; entry QV141 "Printer kept the connection open"; }
  start_net_printer --close-after 60
  print_to_address "tcp://127.0.0.1:$net_port" entries_kept_open
  expect_net_jobs "$file"
}

test_address_gets_two_labels_opened_at_once_one_after_the_other() {
  local i runs=()
  start_net_printer --close-after 2 # a second connection meanwhile would be noted
  reg_set_printer "tcp://127.0.0.1:$net_port"
  for i in 1 2; do
    sed "s/^\\^XZ/^FO40,1180^A0N,24,24^FDAT ONCE $i^FS\\n^XZ/" "$root/samples/shipping-label.zpl" >"$work/once-$i.zpl"
    printf '"%s" "%s"' "$exe_win" "$(winpath "$work/once-$i.zpl")" >"$work/cmdline-$i"
    win "$QV_LAUNCH" "$(winpath "$work/cmdline-$i")" >"$work/wine-$i.out" 2>&1 &
    runs+=($!)
  done
  wait "${runs[@]}"
  expect_net_jobs "$work/once-1.zpl" "$work/once-2.zpl"
}

test_dialog_tests_an_address_saves_it_and_shows_it_when_opened_again() {
  local box text address
  cp "$root/samples/shipping-label.epl" "$work/shipping label.epl"
  start_net_printer
  address="tcp://localhost:$net_port"
  operate_dialog "$QV_QUEUE" alt+a || return
  xdotool type --delay 20 "$address"
  press "$dialog" alt+d
  answer 'Select a file to print' || return
  xdotool type --delay 20 "$(winpath "$work/shipping label.epl")"
  press "$box" Return
  if box=$(find_window Quvara); then
    text=$(win "$QV_LAUNCH" -t | tr -d '\r')
    press "$box" Return
  fi
  [ "$text" = "The printer at \"$address\" took the whole test label." ] || fail "the test said '$text'"
  expect_net_jobs "$work/shipping label.epl"
  press "$dialog" alt+a Return # from the field: Return is OK's
  dialog_wait_closed
  expect_exit_zero
  winreg query "$key" /v Printer /reg:32 | grep -q "REG_SZ *$address" || fail "OK did not save $address"
  # Opened again, the field holds the address: OK reads it from there.
  operate_dialog "$address" Return || return
  dialog_wait_closed
  grep -a -q "^QV045: $address" "$log" || fail "the dialog did not show $address"
}

selected_names=("$@")
echo "testing $exe"
for t in $(grep -o '^test_[a-z0-9_]*' "${BASH_SOURCE[0]}"); do
  run_test "$t"
done
reg_set_printer "$QV_QUEUE" # leave the prefix ready for a manual run
lpadmin -x "$queue2"
[ "${E2E_STOP:-0}" = 1 ] && bash "$root/tests/e2e/env.sh" stop
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
