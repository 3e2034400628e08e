# Sourced by the scripts that build (scripts/build, scripts/windows,
# scripts/package), from the project's root: where ccache is installed
# (scripts/deps installs it), the compiler runs through it, and `lanzador`
# holds the CMake argument that says so (empty without ccache).
#
# Paths below the project are hashed relative to it, and the folder a
# compiler runs in is left out of the hash: a clone or a worktree elsewhere on
# the machine (CI's fresh clone above all) gets what another one compiled.
# The debug information of such an object then names the other folder.
lanzador=()
if command -v ccache >/dev/null; then
  lanzador=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
  export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi
