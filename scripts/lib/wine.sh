# Shared steps of scripts/run and scripts/wine-tests: the packages, the
# Chinese locale, a Wine prefix per build folder and a private X display.
# Sourced, not run. Stops only what it started itself.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# Installs the Debian packages that the Windows builds and Wine need.
ensure_packages() {
  local wanted=(cmake ninja-build g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
                wine wine64 wine32:i386 xvfb imagemagick fonts-wqy-microhei locales)
  local missing=()
  for p in "${wanted[@]}"; do installed "$p" || missing+=("$p"); done
  if [ ${#missing[@]} -eq 0 ]; then choose_wine; return 0; fi
  echo "Installing: ${missing[*]}"
  if [[ " ${missing[*]} " == *" wine32:i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  as_root apt-get update -q
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -q "${missing[@]}"
  choose_wine
}

# Wine shows Chinese only in a Chinese locale that exists on the machine.
ensure_locale() {
  if locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then return 0; fi
  echo "Generating the zh_CN.UTF-8 locale"
  if grep -q '^# *zh_CN.UTF-8 UTF-8' /etc/locale.gen; then
    as_root sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  elif ! grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  fi
  as_root locale-gen >/dev/null
}

# Configures and builds one preset's targets (mingw32 or mingw64).
build_preset() {
  local preset=$1; shift
  (cd "$ROOT" && cmake --preset "$preset" >/dev/null && cmake --build "build/$preset" --target "$@")
}

# Whether this machine runs 32-bit programs: some kernels are built without
# IA32 support, and then Wine's 32-bit loader cannot start ("Exec format error").
can_run_32bit() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The Wine loader to use: Debian's "wine" always takes the 32-bit one when it
# is installed, so where that cannot run, 64-bit programs go to wine64 itself.
# Called once the packages are there.
WINE=wine
choose_wine() {
  WINE=wine
  if ! can_run_32bit && [ -x /usr/lib/wine/wine64 ]; then
    WINE=/usr/lib/wine/wine64
    export WINELOADER=/usr/lib/wine/wine64
  fi
}

# The preset whose program runs here: the 32-bit one where possible.
runnable_preset() {
  if can_run_32bit; then echo mingw32; else echo mingw64; fi
}

wine_env() {
  export WINEPREFIX=$1 WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
}

# Creates a prefix under the build folder (once); programs in it run inside
# Wine's virtual desktop, which draws window frames and keeps Wine from
# waiting for a window manager that Xvfb does not have.
make_prefix() {
  local prefix=$1
  (
    wine_env "$prefix"
    if [ ! -f "$prefix/system.reg" ]; then
      mkdir -p "$prefix"
      "$WINE" wineboot -i >/dev/null 2>&1
    fi
    "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    wineserver -w
  )
}

stop_wineserver() {
  [ -n "${1:-}" ] && [ -d "$1" ] && WINEPREFIX=$1 wineserver -k >/dev/null 2>&1 || true
}

XVFB_PID=
# Starts Xvfb on the first free display number and exports DISPLAY.
start_xvfb() {  # [WIDTHxHEIGHT], 1280x1024 unless told
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "${1:-1280x1024}x24" -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  export DISPLAY=":$n"
}

stop_xvfb() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
}
