# Shared by scripts/run and scripts/test: installs what is missing, finds or builds
# VTK, configures and builds the project. Sourced, not run.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}

say() { echo "[marionette-lab] $*" >&2; }

# A VTK 9.3+ build that provides GUISupportQtQuick, or empty.
usable_vtk_dir() {
  local dir=$1
  [[ -n $dir && -f $dir/vtk-config.cmake ]] || return 1
  grep -qs "GUISupportQtQuick" "$dir"/VTK-targets.cmake "$dir"/vtk-config.cmake || return 1
  echo "$dir"
}

ensure_dependencies() {
  "$ROOT/scripts/install-deps"
  GLTF_VALIDATOR_DIR=$("$ROOT/scripts/install-gltf-validator" | tail -n 1)
  export GLTF_VALIDATOR_DIR
  if [[ -n ${VTK_DIR:-} ]] && usable_vtk_dir "$VTK_DIR" >/dev/null; then
    say "using VTK from VTK_DIR=$VTK_DIR"
    return
  fi
  if [[ -n ${VTK_DIR:-} ]]; then
    say "VTK_DIR=$VTK_DIR has no VTK with GUISupportQtQuick; building the cached one"
  fi
  local prefix
  prefix=$("$ROOT/scripts/build-vtk" | tail -n 1)
  VTK_DIR=$(ls -d "$prefix"/lib/cmake/vtk-* | head -n 1)
  export VTK_DIR
}

configure_project() {
  local extra=("$@")
  local launcher=()
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  if [[ ! -f $BUILD_DIR/build.ninja ]] || [[ ${#extra[@]} -gt 0 ]]; then
    cmake -G Ninja -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} \
      -DVTK_DIR="$VTK_DIR" -DML_GLTF_VALIDATOR_DIR="$GLTF_VALIDATOR_DIR" "${launcher[@]}" \
      "${extra[@]}" >&2
  fi
}

build_project() {
  cmake --build "$BUILD_DIR" -j"$(nproc)" "$@" >&2
}

# Runs a command under a virtual X server with Mesa's software OpenGL.
with_virtual_display() {
  if [[ -n ${DISPLAY:-} ]] && [[ -z ${ML_FORCE_XVFB:-} ]]; then
    "$@"
  else
    xvfb-run -a -s "-screen 0 1600x1200x24 +extension GLX" "$@"
  fi
}
