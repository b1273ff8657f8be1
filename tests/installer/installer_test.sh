#!/usr/bin/env bash
# Installs Delvora.msi into a Wine prefix of its own, starts the installed program
# against the simulated driver and asks it for Help, replaces it with a newer package,
# then uninstalls and checks that everything installed went and the logs stayed.
#   installer_test.sh <wine> <wineserver> <wixl> <build dir> <wxs> <help page relative to build dir>
set -uo pipefail
wine=$1 wineserver=$2 wixl=$3 build=$4 wxs=$5 help_page=$6
bin=$build/bin
work=$build/installer-test
devices=3

export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installers, and no menu entries on the host for the shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

drive_c=$WINEPREFIX/drive_c
root=$drive_c/'Program Files/Delvora'
root_win='C:\Program Files\Delvora\'
logs=$drive_c/ProgramData/Delvora/Logs
logs_win='C:\ProgramData\Delvora\Logs\'
clsid='HKLM\Software\Classes\CLSID\{BEF050CF-1519-11D3-B47F-00C04FAD6B54}'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
files=(Delvora.exe DelvoraRecorder.exe TqResLoader.dll enu/DelvoraRes.dll deu/DelvoraRes.dll Utilities/Audio/Delvora.htm)
service_key='HKLM\System\CurrentControlSet\Services\DelvoraRecorder'
event_source_key='HKLM\System\CurrentControlSet\Services\EventLog\Application\DelvoraRecorder'
settings_key='HKLM\Software\Tarquel\TqVudAva\1.0'
newer=$work/Delvora-newer.msi
day_file=""

fail() { echo "FAIL: $*" >&2; exit 1; }
# Every Windows program's output goes to a file: the driver's host process inherits
# it and would keep ctest's pipe open.
win() { "$wine" "$@" >>"$work/wine.log" 2>&1 </dev/null; }
in_bin() { (cd "$bin" && win "$@"); }
winpath() { "$wine" winepath -w "$1" 2>/dev/null </dev/null | tr -d '\r'; }
# reg_value KEY NAME: the value's data ("" names the default value), empty when missing.
reg_value() {
  local flag=(/v "$2")
  [ -n "$2" ] || flag=(/ve)
  "$wine" reg query "$1" "${flag[@]}" 2>/dev/null </dev/null | tr -d '\r' \
    | sed -n 's/^ *[^ ].*REG_SZ *//p' | head -n 1
}
reg_exists() { "$wine" reg query "$1" >/dev/null 2>&1 </dev/null; }
# reg_data KEY NAME: the value's data whatever its type, empty when missing.
reg_data() {
  "$wine" reg query "$1" /v "$2" 2>/dev/null </dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | head -n 1
}
recorder_state() { "$wine" sc query DelvoraRecorder 2>/dev/null </dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'; }
# Waits up to 30 seconds for the recorder service to reach the state.
wait_recorder() {
  local i
  for i in $(seq 30); do [ "$(recorder_state)" = "$1" ] && return 0; sleep 1; done
  return 1
}
installed_products() { "$wine" reg query "$uninstall_key" /s 2>/dev/null </dev/null | tr -d '\r'; }
# All users' Start menu on Windows; Wine's installer puts the shortcut in the user's.
shortcuts() { find "$drive_c/ProgramData" "$drive_c/users" -path '*/Start Menu/Programs/Delvora.lnk' 2>/dev/null; }
msiexec() {
  local action=$1 package=$2
  win msiexec "$action" "$(winpath "$package")" /qn /l*v "$(winpath "$work")\\msiexec-${action#/}.log"
}

cleanup() {
  if [ -f "$WINEPREFIX/system.reg" ]; then
    in_bin tqsim.exe stop
    "$wineserver" -k >/dev/null 2>&1
    "$wineserver" -w >/dev/null 2>&1
  fi
}

new_prefix() {
  echo "== New prefix $WINEPREFIX"
  # A run that was cut short may have left its wineserver.
  [ -d "$WINEPREFIX" ] && "$wineserver" -k >/dev/null 2>&1
  rm -rf "$work" && mkdir -p "$work" || exit 1
  # Creating the prefix leaves a wineserver finishing its set-up; it must end before
  # the persistent one of the test starts.
  win wineboot -i || fail "wineboot -i"
  "$wineserver" -w
  "$wineserver" -p >/dev/null 2>&1
  win wineboot
  # A crash ends the program instead of waiting in the debugger; without a window
  # manager on the test display, windows are Wine's own.
  win reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f
  win reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
}

install() {
  local msi=$build/Delvora.msi
  [ -f "$msi" ] || fail "$msi was not built"
  echo "== Install (package: $(stat -c %s "$msi") bytes)"
  msiexec /i "$msi" || fail "msiexec /i exited $?"
  local f
  for f in "${files[@]}"; do [ -f "$root/$f" ] || fail "not installed: $f"; done
  [ -d "$logs" ] || fail "the Logs folder was not created"
  [ -n "$(shortcuts)" ] || fail "no Start menu shortcut"
  [ "$(reg_value 'HKLM\Software\Tarquel\Orrindale\1.0' 'Root Path')" = "$root_win" ] || fail "Root Path"
  [ "$(reg_value 'HKLM\Software\Tarquel\TqVudAva\1.0' 'Output Path')" = "$logs_win" ] || fail "Output Path"
  [ "$(reg_value "$clsid\\InprocServer32" '')" = "${root_win}TqResLoader.dll" ] || fail "loader's InprocServer32"
  [ "$(reg_value "$clsid\\InprocServer32" ThreadingModel)" = Both ] || fail "loader's ThreadingModel"
  [ "$(reg_value 'HKLM\Software\Classes\TqResLoader.ResLoader\CurVer' '')" = TqResLoader.ResLoader.1 ] \
    || fail "loader's ProgID"
  [ "$(reg_data "$service_key" Start)" = 0x2 ] || fail "the recorder service does not start automatically"
  [ "$(reg_data "$service_key" ObjectName)" = 'NT AUTHORITY\LocalService' ] || fail "the recorder's account"
  [ "$(reg_data "$event_source_key" EventMessageFile)" = "${root_win}DelvoraRecorder.exe" ] \
    || fail "the recorder's event source"
  wait_recorder RUNNING || fail "the recorder service is $(recorder_state), not running"
  # Started, it opens today's file with the header line.
  day_file=$logs/Delvora-$(date +%F).log
  local i
  for i in $(seq 20); do head -c 7 "$day_file" 2>/dev/null | grep -q $'^Device\t' && break; sleep 1; done
  head -c 7 "$day_file" 2>/dev/null | grep -q $'^Device\t' || fail "the recorder wrote no $day_file"
  # (Its parameters key may exist: reading the device count creates it.)
  [ -n "$(reg_data 'HKLM\System\CurrentControlSet\Services\tqaudio' ImagePath)" ] \
    && fail "the package installed the driver"
  [ -e "$drive_c/windows/system32/drivers/tqaudio.sys" ] && fail "the package installed tqaudio.sys"
  echo "   installed: ${files[*]}, Logs folder, shortcut, loader rows, Root Path and Output Path;"
  echo "   the recorder service runs as LocalService and has begun today's file; its event source registered"
}

start_and_help() {
  echo "== Start and Help"
  # The simulated driver stands in for the maker's; the service manager may still be
  # busy with the new prefix for a while.
  local attempt
  for attempt in $(seq 20); do
    in_bin tqsim.exe load "$devices" && break
    [ "$attempt" -lt 20 ] || fail "the simulated driver did not load"
    sleep 3
  done
  # .htm opens with the probe, which writes down the page the shell was given.
  local record=$work/help-opened.txt reg_file=$work/htm.reg
  local probe_win record_win
  probe_win=$(winpath "$bin/installer_probe.exe")
  record_win=$(winpath "$record")
  {
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Classes\\.htm]\r\n@="DelvoraTest.htm"\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Classes\\DelvoraTest.htm\\shell\\open\\command]\r\n'
    printf '@="\\"%s\\" record \\"%s\\" \\"%%1\\""\r\n' "${probe_win//\\/\\\\}" "${record_win//\\/\\\\}"
  } >"$reg_file"
  win regedit /S "$(winpath "$reg_file")" || fail "regedit"
  "$wine" "$bin/installer_probe.exe" run "${root_win}Delvora.exe" "$devices" "$record_win" \
    >"$work/probe.log" 2>&1 </dev/null
  local rc=$?
  sed 's/^/   /' "$work/probe.log"
  [ "$rc" -eq 0 ] || fail "the installed Delvora (probe exit code $rc)"
  local opened
  opened=$(cat "$record")
  [ "$opened" = "${root_win}Utilities\\Audio\\Delvora.htm" ] || fail "Help opened '$opened'"
  echo "   Help opened $opened"
}

upgrade() {
  echo "== Upgrade to a newer package"
  (cd "$build" && "$wixl" -a x64 -D Version=1.0.1 -D BinDir=bin -D HelpPage="$help_page" -o "$newer" "$wxs") \
    || fail "wixl could not build the newer package"
  mkdir -p "$drive_c/DelvoraLogs"
  win reg add "$settings_key" /v 'Recorder Keep Days' /t REG_DWORD /d 7 /f
  win reg add "$settings_key" /v 'Output Path' /d 'C:\DelvoraLogs' /f
  msiexec /i "$newer" || fail "msiexec /i of the newer package exited $?"
  [ "$(reg_data "$settings_key" 'Recorder Keep Days')" = 0x7 ] || fail "the upgrade lost the recorder's Keep Days"
  [ "$(reg_data "$settings_key" 'Output Path')" = 'C:\DelvoraLogs' ] || fail "the upgrade lost the changed Output Path"
  wait_recorder RUNNING || fail "the recorder service is $(recorder_state) after the upgrade"
  local products f
  products=$(installed_products)
  [ "$(grep -c 'DisplayName.*REG_SZ *Delvora$' <<<"$products")" -eq 1 ] || fail "not one Delvora installed"
  grep -q 'DisplayVersion.*REG_SZ *1\.0\.1$' <<<"$products" || fail "the newer version is not the one installed"
  for f in "${files[@]}"; do [ -f "$root/$f" ] || fail "gone after the upgrade: $f"; done
  echo "   one Delvora installed, version 1.0.1, the recorder running with its settings kept"
}

uninstall() {
  echo "== Uninstall"
  local log_file=$logs/DelvoraLog.txt key
  printf 'a log line\r\n' >"$log_file"
  msiexec /x "$newer" || fail "msiexec /x exited $?"
  [ -e "$root" ] && fail "the installation folder is still there: $(cd "$root" && find . | tr '\n' ' ')"
  [ -n "$(shortcuts)" ] && fail "the shortcut is still there: $(shortcuts)"
  for key in "$clsid" 'HKLM\Software\Classes\TqResLoader.ResLoader' 'HKLM\Software\Classes\TqResLoader.ResLoader.1'; do
    reg_exists "$key" && fail "still in the registry: $key"
  done
  [ -n "$(reg_value 'HKLM\Software\Tarquel\Orrindale\1.0' 'Root Path')" ] && fail "Root Path is still there"
  [ -n "$(reg_value 'HKLM\Software\Tarquel\TqVudAva\1.0' 'Output Path')" ] && fail "Output Path is still there"
  installed_products | grep -q 'REG_SZ *Delvora$' && fail "still listed as installed"
  reg_exists "$service_key" && fail "the recorder service is still installed"
  reg_exists "$event_source_key" && fail "the recorder's event source is still registered"
  [ "$(cat "$log_file" 2>/dev/null)" = "$(printf 'a log line\r')" ] || fail "the log file did not stay"
  [ -s "$day_file" ] || fail "the recorder's day file did not stay"
  echo "   removed: files, shortcut, loader rows, registry values, product entry, the recorder service and"
  echo "   its event source; the log file stayed"
}

main() {
  trap cleanup EXIT
  new_prefix
  install
  start_and_help
  upgrade
  uninstall
  echo "installer test passed"
}

main
