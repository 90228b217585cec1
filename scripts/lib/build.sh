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
  early_result "$preset" || return $?
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

# Builds made early, in the background, on the cores that the tests of the
# phases before leave idle (niced, so that those tests keep their time).
# build_early PRESET:TARGET,TARGET... ... builds them one after the other;
# build_preset of such a preset first waits for its early build and reports
# that build's failure or warnings (once), then builds what is still missing.
EARLY_DIR=$ROOT/build/early
build_early() {
  local item preset targets
  rm -rf "$EARLY_DIR"
  mkdir -p "$EARLY_DIR"
  for item in "$@"; do : >"$EARLY_DIR/${item%%:*}.pending"; done
  set -m  # a process group of its own, so that a stop takes all of it
  (
    renice -n 19 -p "$BASHPID" >/dev/null 2>&1 || true
    for item in "$@"; do
      preset=${item%%:*}
      targets=${item#*:}
      [ "$targets" = "$item" ] && targets=
      # shellcheck disable=SC2086
      EARLY_BUILD=1 BUILD_LOG=$EARLY_DIR/$preset.log build_preset "$preset" ${targets//,/ } >/dev/null 2>&1
      echo $? >"$EARLY_DIR/$preset.rc"
      rm -f "$EARLY_DIR/$preset.pending"
    done
  ) &
  EARLY_PID=$!
  echo "$EARLY_PID" >"$EARLY_DIR/pid"
  set +m
}

# Stops the early builds, if they still run (a script that ends early).
stop_early() {
  [ -n "${EARLY_PID:-}" ] || return 0
  kill -- "-$EARLY_PID" 2>/dev/null || true
  wait "$EARLY_PID" 2>/dev/null || true
  EARLY_PID=
  rm -rf "$EARLY_DIR"
}

# early_result PRESET: 0 when PRESET has no early build or it built cleanly,
# else its result as build_preset gives it, after waiting for it.
early_result() {
  local preset=$1 rc
  [ -z "${EARLY_BUILD:-}" ] || return 0  # the early build itself
  [ -e "$EARLY_DIR/$preset.pending" ] || [ -e "$EARLY_DIR/$preset.rc" ] || return 0
  # Only while the early builds still run: one killed with its script
  # leaves its marks behind, and a later build must not wait for them.
  local pid
  pid=$(cat "$EARLY_DIR/pid" 2>/dev/null)
  while [ -e "$EARLY_DIR/$preset.pending" ] && [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; do sleep 1; done
  if [ -e "$EARLY_DIR/$preset.pending" ]; then
    rm -f "$EARLY_DIR/$preset.pending"
    return 0  # no result: build it now
  fi
  rc=$(cat "$EARLY_DIR/$preset.rc" 2>/dev/null || echo 1)
  rm -f "$EARLY_DIR/$preset.rc"
  case $rc in
    0) return 0 ;;
    2) grep -E 'warning:' "$EARLY_DIR/$preset.log"
       echo "$preset: the build has warnings (${EARLY_DIR#"$ROOT"/}/$preset.log)" ;;
    *) tail -n 60 "$EARLY_DIR/$preset.log"
       echo "$preset: the build FAILED (${EARLY_DIR#"$ROOT"/}/$preset.log)"
       rc=1 ;;
  esac
  return "$rc"
}
