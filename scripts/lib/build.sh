# What every script shares: the repository's root, the number of jobs, the
# installer and the one "configure and build a preset". Sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)
[ "$JOBS" -ge 1 ] 2>/dev/null || JOBS=1
source "$ROOT/scripts/lib/packages.sh"

# build_preset PRESET [TARGET...]: configures and builds a preset of
# CMakePresets.json into build/PRESET (its build preset's targets, or those
# named), the output in build/PRESET-build.log or in BUILD_LOG. Returns 1,
# with the end of the log, when configuring or building fails, and 2 when
# the build warns (the house builds are warning-free).
build_preset() {
  local preset=$1; shift
  local log=${BUILD_LOG:-$ROOT/build/$preset-build.log}
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  mkdir -p "$(dirname "$log")"
  if ! (cd "$ROOT" && cmake --preset "$preset" && cmake --build --preset "$preset" -j "$JOBS" "${targets[@]}") \
       >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "$preset: the build FAILED (${log#"$ROOT"/})"
    return 1
  fi
  if grep -E 'warning:' "$log"; then
    echo "$preset: the build has warnings (${log#"$ROOT"/})"
    return 2
  fi
}
