# The one installer of the scripts: installs the Debian packages that are
# missing, with sudo when not root. Sourced, not run.
#
# Mirrors are not always whole (an index in the middle of a sync, an i386
# twin missing from the security suite), so nothing here ends a script:
# an index that fails to download is a warning, an install that fails is
# tried again pinned to the machine's own release, and then package by
# package. What still is not there is named and left in NOT_INSTALLED; the
# caller reports the steps that need it as not run.

# The package sets, each named once.
PKG_BUILD=(cmake ninja-build)
PKG_NATIVE=(g++ libgtest-dev googletest pkg-config librapidcheck-dev)
PKG_FUZZ=(clang libclang-rt-14-dev)
PKG_BENCH=(libbenchmark-dev python3)
PKG_MINGW=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
           binutils-mingw-w64-i686 binutils-mingw-w64-x86-64)
PKG_WINE=(wine wine64 xvfb imagemagick fonts-wqy-microhei locales)
PKG_WINE32=(wine32:i386)
PKG_RELEASE=(python3 git unzip)

NOT_INSTALLED=()
# Shared with the scripts that a script starts: the indexes are fetched once
# a run, and what could not be installed is not tried again.
export CARDTEST_APT_UPDATED=${CARDTEST_APT_UPDATED:-}
export CARDTEST_NOT_INSTALLABLE=${CARDTEST_NOT_INSTALLABLE:-}
_apt_recommends=--no-install-recommends

pkg_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The machine's own release (bookworm), empty when it does not say.
release_codename() {
  (. "${OS_RELEASE:-/etc/os-release}" 2>/dev/null && echo "${VERSION_CODENAME:-}")
}

_apt_log() { echo "${TMPDIR:-/tmp}/cardtest-apt-$$.log"; }

_apt_install() {  # [-t RELEASE] NAME...
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -q $_apt_recommends "$@" \
    >"$(_apt_log)" 2>&1
}

_apt_errors() { grep -E '^(E|W): |held broken|but it is not' "$(_apt_log)" | head -n 6 | sed 's/^/    /'; }

# need_packages [--recommends] NAME...  (a NAME may carry an architecture:
# wine32:i386). Returns 0 when all of them are installed in the end.
# Without recommended packages, but for Wine: its X11 driver loads the X
# extension libraries (Xrender, XRandR, Xi, Xcursor, ...) at run time, and
# libwine only recommends them.
need_packages() {
  local missing=() given_up=() still=() p release
  _apt_recommends=--no-install-recommends
  if [ "${1:-}" = --recommends ]; then _apt_recommends=; shift; fi
  for p in "$@"; do
    pkg_installed "$p" && continue
    if [[ " $CARDTEST_NOT_INSTALLABLE " == *" $p "* ]]; then given_up+=("$p"); else missing+=("$p"); fi
  done
  if [ ${#given_up[@]} -gt 0 ]; then
    NOT_INSTALLED+=("${given_up[@]}")
    echo "NOT INSTALLED: ${given_up[*]} (it could not be installed earlier in this run)"
  fi
  if [ ${#missing[@]} -eq 0 ]; then
    [ ${#given_up[@]} -eq 0 ]
    return
  fi
  for p in "${missing[@]}"; do
    case $p in
      *:i386)
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
          as_root dpkg --add-architecture i386 && CARDTEST_APT_UPDATED=
        fi ;;
    esac
  done
  echo "Installing: ${missing[*]}"
  if [ -z "$CARDTEST_APT_UPDATED" ]; then
    CARDTEST_APT_UPDATED=1
    if ! as_root apt-get update -q >"$(_apt_log)" 2>&1; then
      echo "warning: not every package index could be downloaded (apt-get update failed); going on with the indexes there are:"
      _apt_errors
    fi
  fi
  release=$(release_codename)
  if ! _apt_install "${missing[@]}"; then
    echo "warning: the install failed:"
    _apt_errors
    if [ -n "$release" ]; then
      echo "Installing again, pinned to this machine's release: apt-get install -t $release"
      _apt_install -t "$release" "${missing[@]}" || echo "warning: the pinned install failed too"
    fi
    # One at a time, so that one package the mirror cannot deliver keeps
    # back only itself.
    if [ ${#missing[@]} -gt 1 ] && [ -n "$(missing_of "${missing[@]}")" ]; then
      echo "Installing one package at a time"
      for p in "${missing[@]}"; do
        pkg_installed "$p" && continue
        _apt_install "$p" || { [ -n "$release" ] && _apt_install -t "$release" "$p"; } || true
      done
    fi
  fi
  rm -f "$(_apt_log)"
  for p in "${missing[@]}"; do pkg_installed "$p" || still+=("$p"); done
  if [ ${#still[@]} -gt 0 ]; then
    NOT_INSTALLED+=("${still[@]}")
    CARDTEST_NOT_INSTALLABLE="$CARDTEST_NOT_INSTALLABLE ${still[*]}"
    echo "NOT INSTALLED: ${still[*]} (the steps that need it are reported as not run)"
  fi
  [ ${#still[@]} -eq 0 ] && [ ${#given_up[@]} -eq 0 ]
}

# The packages of a set that could not be installed, for a "not run" line.
missing_of() {  # NAME...
  local p out=()
  for p in "$@"; do pkg_installed "$p" || out+=("$p"); done
  echo "${out[*]}"
}
