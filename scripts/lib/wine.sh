# Shared steps of the scripts that run the Windows builds under Wine: the
# packages, the Chinese locale, a Wine prefix per build folder and a private
# X display. Sourced, not run. Stops only what it started itself.

source "$(dirname "${BASH_SOURCE[0]}")/build.sh"

# Where Debian puts Wine's loaders.
WINE_DIR=${WINE_DIR:-/usr/lib/wine}

# Installs what the Windows builds and Wine need. The 32-bit Wine comes on
# its own: a mirror that cannot deliver it keeps back only the 32-bit steps.
ensure_packages() {
  need_packages "${PKG_BUILD[@]}" "${PKG_MINGW[@]}" || true
  need_packages --recommends "${PKG_WINE[@]}" || true
  need_packages --recommends "${PKG_WINE32[@]}" || true
  choose_wine
}

# What the Windows builds, and what Wine, lack (empty: nothing).
mingw_missing() { missing_of "${PKG_BUILD[@]}" "${PKG_MINGW[@]}"; }
wine_missing() { missing_of "${PKG_WINE[@]}"; }

# Wine shows Chinese only in a Chinese locale that exists on the machine.
# Without it the captions show as boxes, which is no reason to stop.
ensure_locale() {
  if locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then return 0; fi
  if ! command -v locale-gen >/dev/null; then
    echo "warning: no zh_CN.UTF-8 locale and no locale-gen (package locales): Chinese shows as boxes"
    return 0
  fi
  echo "Generating the zh_CN.UTF-8 locale"
  if grep -q '^# *zh_CN.UTF-8 UTF-8' /etc/locale.gen; then
    as_root sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  elif ! grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  fi
  as_root locale-gen >/dev/null || echo "warning: locale-gen failed: Chinese shows as boxes"
}

# Why no 32-bit program runs here, empty when they do: the 32-bit Wine may
# be missing, and some kernels are built without IA32 support, so that
# Wine's 32-bit loader cannot start ("Exec format error").
no_32bit_reason() {
  if ! pkg_installed wine32:i386 || [ ! -x "$WINE_DIR/wine" ]; then
    echo "the 32-bit Wine (wine32:i386) is not installed"
  elif ! "$WINE_DIR/wine" --version >/dev/null 2>&1; then
    echo "this machine cannot run 32-bit programs"
  fi
}

can_run_32bit() {
  [ -z "$(no_32bit_reason)" ]
}

# The Wine loader to use: Debian's "wine" always takes the 32-bit one when it
# is installed, so where that cannot run, 64-bit programs go to wine64 itself.
# Called once the packages are there.
WINE=wine
choose_wine() {
  WINE=wine
  if ! can_run_32bit && [ -x "$WINE_DIR/wine64" ]; then
    WINE=$WINE_DIR/wine64
    export WINELOADER=$WINE_DIR/wine64
  fi
}

# The preset whose program runs here: the 32-bit one where possible.
runnable_preset() {
  if can_run_32bit; then echo mingw32; else echo mingw64; fi
}

# The display scalings that the layout tests and a part of the window
# session run at besides 100 %.
SCALED_DPIS=(120 144 192)

# The Wine prefixes that scripts/wine-tests runs a build in, a line
# "FOLDER DPI" each: the build's own, a second one at 100 % for the
# session, which runs beside the window tests, and with "scaled" one for
# each other scaling. Each is booted by make_prefix.
test_prefixes() {  # PRESET [scaled]
  local base="$ROOT/build/$1/wineprefix" dpi
  echo "$base 96"
  echo "$base-2 96"
  if [ "${2:-}" = scaled ]; then
    for dpi in "${SCALED_DPIS[@]}"; do echo "$base-$dpi $dpi"; done
  fi
}

wine_env() {
  export WINEPREFIX=$1 WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
}

# Creates a prefix under the build folder (once); programs in it run inside
# Wine's virtual desktop, which draws window frames and keeps Wine from
# waiting for a window manager that Xvfb does not have. With a DPI, the
# prefix's display scaling is that (96 is 100 %) and its desktop grows with
# it, so that the program's window stays on it.
make_prefix() {
  local prefix=$1 dpi=${2:-96}
  local width=$((1024 * dpi / 96)) height=$((768 * dpi / 96))
  (
    wine_env "$prefix"
    if [ ! -f "$prefix/system.reg" ]; then
      mkdir -p "$prefix"
      "$WINE" wineboot -i >/dev/null 2>&1
    fi
    "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "${width}x${height}" /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
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
