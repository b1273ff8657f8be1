# Shared by test.sh and run.sh: installs what a fresh Debian machine lacks,
# configures and builds, and manages a private Xvfb display.
# Sourced, not run: it sets DELVORA_ROOT, DELVORA_BUILD and helper functions.

DELVORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
DELVORA_BUILD=${DELVORA_BUILD:-$DELVORA_ROOT/build}

delvora_packages="cmake make g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev wine wine64 fonts-wine xvfb xauth x11-utils googletest imagemagick wixl"

delvora_install_packages() {
  local missing=()
  for p in $delvora_packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

DELVORA_CONFIGURED=""
# Configures (once per run) and builds; with arguments, only those targets (and
# what they need).
delvora_build() {
  if [ -z "$DELVORA_CONFIGURED" ]; then
    echo "== Configuring and building in $DELVORA_BUILD"
    cmake -S "$DELVORA_ROOT" -B "$DELVORA_BUILD" \
          -DCMAKE_TOOLCHAIN_FILE="$DELVORA_ROOT/cmake/mingw-w64-x86_64.cmake" >"$DELVORA_BUILD.configure.log" 2>&1 \
      || { cat "$DELVORA_BUILD.configure.log"; return 1; }
    DELVORA_CONFIGURED=1
  fi
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  if ! cmake --build "$DELVORA_BUILD" "${targets[@]}" -j"$(nproc)" >"$DELVORA_BUILD.build.log" 2>&1; then
    grep -E -A3 'error|Error|\*\*\*' "$DELVORA_BUILD.build.log" | head -n 80
    echo "(full log: $DELVORA_BUILD.build.log)"
    return 1
  fi
}

DELVORA_XVFB_PID=""
# Starts Xvfb on a free display when none is set; stop it with delvora_stop_display.
delvora_start_display() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${DELVORA_FORCE_XVFB:-}" ]; then
    return 0
  fi
  local n
  for n in $(seq 91 199); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      DELVORA_XVFB_PID=$!
      export DISPLAY=":$n"
      local i
      for i in $(seq 50); do
        xdpyinfo -display ":$n" >/dev/null 2>&1 && { echo "== Xvfb on $DISPLAY (pid $DELVORA_XVFB_PID)"; return 0; }
        sleep 0.1
      done
      echo "Xvfb did not start on :$n" >&2
      return 1
    fi
  done
  echo "no free X display number" >&2
  return 1
}

delvora_stop_display() {
  if [ -n "$DELVORA_XVFB_PID" ]; then
    kill "$DELVORA_XVFB_PID" 2>/dev/null
    wait "$DELVORA_XVFB_PID" 2>/dev/null
    DELVORA_XVFB_PID=""
  fi
}
