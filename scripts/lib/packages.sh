# Installs Debian packages that are missing, with sudo when not root.
# Usage: need_packages NAME...   (NAME may carry an architecture: wine32:i386)
need_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  for p in "${missing[@]}"; do
    case "$p" in
      *:i386) dpkg --print-foreign-architectures | grep -q i386 || $sudo dpkg --add-architecture i386 ;;
    esac
  done
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}
