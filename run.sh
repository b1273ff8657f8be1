#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine and runs Delvora against the
# simulated driver in the build's own Wine prefix. See ./run.sh --help.
set -uo pipefail
. "$(dirname "$0")/scripts/setup-common.sh"

run_seconds=30
shot_interval=5
device_count=8
keep=""
prepare_only=""
force_headless=""
shot_dir=""
tour=""

usage() {
  cat <<USAGE
usage: ./run.sh [options]

Installs what is missing, builds into build/, prepares the Wine prefix
build/wineprefix (the simulated driver tqaudio with its devices in demo mode,
the resource loader, the registry values and the help page) and starts Delvora.

With a display (DISPLAY set) Delvora opens there and run.sh waits until you
close it. Without one, Delvora runs on a private Xvfb display, screenshots of
the screen are saved every few seconds, and the program is closed after a set
time.

options:
  --seconds N        without a display: run for N seconds (default $run_seconds)
  --keep             without a display: run until Ctrl-C (or until Delvora ends)
  --interval N       seconds between screenshots (default $shot_interval)
  --screenshots DIR  where the screenshots go
                     (default screenshots/<date-time>/ in the repository)
  --devices N        number of driver devices (default $device_count)
  --pages            without a display: after each screenshot switch to the
                     next page (Devices, Global, Record Log, ...), so that the
                     screenshots show all three
  --headless         use a private Xvfb display even when DISPLAY is set
  --prepare-only     set up the prefix, then stop the driver and the wineserver
                     again without starting Delvora
  -h, --help         this text

At the end (Delvora closed, time up or Ctrl-C) the driver service, the
wineserver and any Xvfb that run.sh started are stopped.
USAGE
}

fail() { echo "$*" >&2; exit 1; }
usage_error() { echo "run.sh: $*" >&2; exit 2; }

number_arg() {
  case "${2:-}" in
    ''|*[!0-9]*) usage_error "$1 needs a whole number";;
  esac
}

parse_options() {
  while [ $# -gt 0 ]; do
    case "$1" in
      --seconds) number_arg "$1" "${2:-}"; run_seconds=$2; shift 2;;
      --interval) number_arg "$1" "${2:-}"; shot_interval=$2; shift 2;;
      --devices) number_arg "$1" "${2:-}"; device_count=$2; shift 2;;
      --screenshots) [ -n "${2:-}" ] || usage_error "--screenshots needs a folder"
                     shot_dir=$2; shift 2;;
      --keep) keep=1; shift;;
      --pages) tour=1; shift;;
      --headless) force_headless=1; shift;;
      --prepare-only) prepare_only=1; shift;;
      -h|--help) usage; exit 0;;
      *) echo "run.sh: unknown option $1" >&2; usage >&2; exit 2;;
    esac
  done
  [ "$shot_interval" -ge 1 ] || usage_error "--interval must be at least 1"
  [ "$device_count" -ge 1 ] && [ "$device_count" -le 2048 ] || usage_error "--devices must be 1 to 2048"
}

# The one place that decides the display: the user's when DISPLAY is set,
# otherwise (or with --headless, or DELVORA_FORCE_XVFB in the environment) a
# private Xvfb with screenshots and a time limit. delvora_start_display reads
# the same variable, so it starts the Xvfb exactly when this says headless.
headless=""
choose_display() {
  if [ -n "$force_headless" ] || [ -z "${DISPLAY:-}" ] || [ -n "${DELVORA_FORCE_XVFB:-}" ]; then
    headless=1
    export DELVORA_FORCE_XVFB=1
  fi
}

bin="$DELVORA_BUILD/bin"
sheetpage="$DELVORA_BUILD/tools/sheetpage.exe"
sheetpage_win=""
wine_run="$DELVORA_BUILD/wine-run.sh"
wine_prefix="$DELVORA_BUILD/wine-prefix.sh"
export WINEPREFIX="$DELVORA_BUILD/wineprefix"
drive_c="$WINEPREFIX/drive_c"

# Where the program looks: "Root Path" (help page below it) and "Output Path"
# (default folder of the log file), both in the prefix's C: drive.
root_win='C:\Delvora'
output_win='C:\Delvora\Logs'
help_source="$DELVORA_ROOT/resources/help/Delvora.htm"

# Only what a run needs: the tests are test.sh's business. Delvora itself is
# built apart so that its failure gets its own message.
build_programs() {
  delvora_install_packages || exit 1
  delvora_build tqaudio tqsim TqResLoader DelvoraRes sheetpage || fail "build failed"
  [ -n "$prepare_only" ] && return
  if ! delvora_build Delvora || [ ! -f "$bin/Delvora.exe" ]; then
    fail "Delvora.exe was not built (see $DELVORA_BUILD.build.log); nothing to run."
  fi
}

# Runs a Windows program of the build from bin/ (tqsim finds tqaudio.sys beside it).
in_bin() { (cd "$bin" && "$wine_run" "$@"); }

# Without a display of the user's, Delvora runs in a Wine virtual desktop that
# fills the Xvfb screen: Wine then draws the window's caption and frame itself,
# which there is no window manager to do, so the screenshots show the window whole.
desktop_name=Delvora
desktop_size=1280x1024
in_desktop() {
  if [ -n "$headless" ]; then
    in_bin explorer "/desktop=$desktop_name,$desktop_size" "$@"
  else
    in_bin "$@"
  fi
}

# What the run has started, for cleanup to stop.
prefix_started=""
driver_started=""
app_pid=""
shot_dir_used=""
shots=0

# The one exit trap: whatever way the script ends (Delvora closed, time up,
# Ctrl-C, a failed step), it stops what it started, newest first.
cleanup() {
  trap - EXIT INT TERM
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    close_delvora
  fi
  if [ -n "$driver_started" ]; then
    echo "== Stopping the driver service"
    in_bin tqsim.exe stop || echo "warning: the driver service did not stop" >&2
    driver_started=""
  fi
  if [ -n "$prefix_started" ]; then
    "$wine_prefix" stop >/dev/null
    prefix_started=""
  fi
  delvora_stop_display
  [ -z "$shot_dir_used" ] || echo "== $shots screenshots saved in $shot_dir_used"
}

# Closes Delvora the way its close box does: taskkill without /f posts
# WM_CLOSE to the program's top-level windows (of its own desktop, hence
# in_desktop), the sheet closes and the program ends normally. Only if it is
# still there after a while is it ended by force.
close_delvora() {
  echo "== Closing Delvora (WM_CLOSE through taskkill)"
  in_desktop taskkill /im Delvora.exe >/dev/null 2>&1
  wait_for_exit 100
  if kill -0 "$app_pid" 2>/dev/null; then
    echo "warning: Delvora did not close within 10 s; ending it by force" >&2
    in_desktop taskkill /f /im Delvora.exe >/dev/null 2>&1
    wait_for_exit 50
  fi
  # Whatever is left of the run goes with the prefix's wineserver at the end.
  kill -0 "$app_pid" 2>/dev/null || wait "$app_pid" 2>/dev/null
  app_pid=""
}

# Waits up to $1 tenths of a second for Delvora's process to end.
wait_for_exit() {
  local i
  for i in $(seq "$1"); do
    kill -0 "$app_pid" 2>/dev/null || return 0
    sleep 0.1
  done
}

start_prefix() {
  echo "== Preparing the Wine prefix $WINEPREFIX"
  local new_prefix=""
  [ -f "$WINEPREFIX/system.reg" ] || new_prefix=1
  "$wine_prefix" start >/dev/null || fail "the Wine prefix could not be started"
  prefix_started=1
  if [ -n "$new_prefix" ]; then
    # Creating the prefix starts an ordinary wineserver (wineboot -i comes first),
    # which ends a few seconds after the last program, taking the driver's host
    # process with it. Restarted on the existing prefix it is the persistent one.
    "$wine_prefix" stop >/dev/null
    "$wine_prefix" start >/dev/null || fail "the Wine prefix could not be started"
  fi
  if [ -z "$headless" ]; then
    # The test fixture turns Wine's window management off for its display, which
    # has no window manager; on the user's display Delvora's window is the window
    # manager's again.
    in_bin reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1
  fi
}

# load: installs tqaudio.sys as a kernel driver service, writes Device000 ...
# below services\tqaudio\parameters, and (re)starts it so that it reads them.
# While Wine's service manager is still starting the prefix's own services, it
# may lose a service just created (0x80070424) or refuse to start one (database
# locked, 0x8007041F). Try again for up to a minute.
load_driver() {
  echo "== Driver: $device_count devices, demo mode"
  driver_started=1
  local attempt
  for attempt in $(seq 20); do
    in_bin tqsim.exe load "$device_count" 2>"$DELVORA_BUILD.tqsim.log" && break
    if [ "$attempt" -eq 20 ]; then
      cat "$DELVORA_BUILD.tqsim.log" >&2
      fail "the simulated driver did not load"
    fi
    [ "$attempt" -gt 1 ] || echo "   (Wine's service manager is still busy with the new prefix; waiting)"
    sleep 3
  done
  in_bin tqsim.exe mode demo || fail "the driver did not take demo mode"
  in_bin tqsim.exe info || exit 1
}

# Debian's Wine looks for its own fonts at a path that does not exist, so
# dialogs fall back to another face and a caption's buttons, drawn with
# Marlett, show as letters (the close box as "r"). Wine always reads the
# prefix's Fonts folder: links there give it its fonts.
link_fonts() {
  local wine_fonts=/usr/share/wine/fonts
  if [ -d "$wine_fonts" ]; then
    mkdir -p "$drive_c/windows/Fonts" || exit 1
    ln -sf "$wine_fonts"/* "$drive_c/windows/Fonts/" || exit 1
  else
    echo "warning: $wine_fonts is missing (package fonts-wine); captions show letters for their buttons" >&2
  fi
}

register_loader() {
  echo "== Registering the resource loader"
  in_bin regsvr32 /s TqResLoader.dll || fail "regsvr32 TqResLoader.dll failed"
}

write_settings() {
  echo "== Registry values and folders"
  mkdir -p "$drive_c/Delvora/Utilities/Audio" "$drive_c/Delvora/Logs" || exit 1
  # One REGEDIT4 file (backslashes doubled, CR LF line ends) in the prefix's own
  # temp folder, so regedit gets a plain C: path.
  mkdir -p "$drive_c/windows/temp" || exit 1
  local reg_file="$drive_c/windows/temp/delvora-run.reg"
  {
    printf 'REGEDIT4\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Tarquel\\Orrindale\\1.0]\r\n'
    printf '"Root Path"="%s"\r\n\r\n' "${root_win//\\/\\\\}"
    printf '[HKEY_LOCAL_MACHINE\\Software\\Tarquel\\TqVudAva\\1.0]\r\n'
    printf '"Output Path"="%s"\r\n\r\n' "${output_win//\\/\\\\}"
    # The help command opens the page with the shell. The prefix runs without
    # Wine's HTML engine, whose registration would tie .htm to "htmlfile"; the
    # class itself (opened with winebrowser, the desktop's browser) is there.
    printf '[HKEY_LOCAL_MACHINE\\Software\\Classes\\.htm]\r\n'
    printf '@="htmlfile"\r\n"Content Type"="text/html"\r\n'
  } >"$reg_file"
  in_bin regedit /S 'C:\windows\temp\delvora-run.reg' || fail "regedit could not import $reg_file"
  local check key value expected
  for check in 'HKLM\Software\Tarquel\Orrindale\1.0|Root Path|'"$root_win" \
               'HKLM\Software\Tarquel\TqVudAva\1.0|Output Path|'"$output_win"; do
    IFS='|' read -r key value expected <<<"$check"
    in_bin reg query "$key" /v "$value" 2>/dev/null | tr -d '\r' | grep -qF "$expected" \
      || fail "registry value \"$value\" of $key was not written"
    echo "   $key \"$value\" = $expected"
  done
  if [ -f "$help_source" ]; then
    cp "$help_source" "$drive_c/Delvora/Utilities/Audio/Delvora.htm" || exit 1
    echo "   help page: $root_win\\Utilities\\Audio\\Delvora.htm"
  else
    echo "warning: $help_source is missing; the help command will report it" >&2
  fi
}

# In the virtual desktop the process watched is the desktop's (explorer), which
# ends a moment after Delvora's last window has gone.
start_delvora() {
  echo "== Starting Delvora on $DISPLAY"
  if [ -n "$headless" ]; then
    ( cd "$bin" && exec "$wine_run" explorer "/desktop=$desktop_name,$desktop_size" Delvora.exe ) &
  else
    ( cd "$bin" && exec "$wine_run" Delvora.exe ) &
  fi
  app_pid=$!
}

wait_for_user() {
  echo "   close the Delvora window to end"
  wait "$app_pid"
  local rc=$?
  app_pid=""
  echo "== Delvora ended (exit code $rc)"
}

prepare_screenshots() {
  [ -n "$shot_dir" ] || shot_dir="$DELVORA_ROOT/screenshots/$(date +%Y%m%d-%H%M%S)"
  mkdir -p "$shot_dir" || exit 1
  shot_dir=$(cd "$shot_dir" && pwd)
  shot_dir_used=$shot_dir
  if [ -n "$tour" ]; then
    [ -f "$sheetpage" ] || fail "$sheetpage was not built"
    sheetpage_win=$(in_bin winepath -w "$sheetpage" 2>/dev/null | tr -d '\r')
  fi
}

take_shot() {
  import -window root -display "$DISPLAY" "$1" 2>/dev/null \
    || echo "warning: screenshot $1 failed" >&2
  shots=$((shots + 1))
}

tour_pages=(0 2 1)   # after the Devices page (shown at start): Global, Record Log, Devices again
tour_next=0
next_page() {
  local page=${tour_pages[$tour_next]}
  tour_next=$(( (tour_next + 1) % ${#tour_pages[@]} ))
  in_desktop "$sheetpage_win" "$page" || echo "warning: could not switch to page $page" >&2
}

watch_headless() {
  if [ -n "$keep" ]; then
    echo "   running until Ctrl-C; screenshots every ${shot_interval}s into $shot_dir"
  else
    echo "   running for ${run_seconds}s; screenshots every ${shot_interval}s into $shot_dir"
  fi
  local start=$SECONDS next_shot=$shot_interval elapsed
  while kill -0 "$app_pid" 2>/dev/null; do
    elapsed=$((SECONDS - start))
    [ -n "$keep" ] || [ "$elapsed" -lt "$run_seconds" ] || break
    if [ "$elapsed" -ge "$next_shot" ]; then
      take_shot "$(printf '%s/shot-%04ds.png' "$shot_dir" "$elapsed")"
      next_shot=$((next_shot + shot_interval))
      [ -z "$tour" ] || next_page
    fi
    sleep 0.5
  done
  if kill -0 "$app_pid" 2>/dev/null; then
    take_shot "$shot_dir/shot-final.png"
    close_delvora
  else
    wait "$app_pid"
    echo "warning: Delvora ended by itself (exit code $?) after $((SECONDS - start))s" >&2
    app_pid=""
  fi
}

main() {
  parse_options "$@"
  choose_display
  trap cleanup EXIT
  trap 'echo; echo "== Interrupted"; exit 130' INT TERM
  build_programs
  # The display comes before the prefix so that Wine's first boot finds one.
  if [ -n "$headless" ]; then
    delvora_start_display || exit 1
  fi
  start_prefix
  load_driver
  link_fonts
  register_loader
  write_settings
  if [ -n "$prepare_only" ]; then
    echo "== Prefix prepared"
    exit 0
  fi
  if [ -n "$headless" ]; then
    prepare_screenshots
    start_delvora
    watch_headless
  else
    start_delvora
    wait_for_user
  fi
  exit 0
}

main "$@"
