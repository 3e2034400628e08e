#!/usr/bin/env bash
# Runs the Windows output's test program under Wine three times: against
# Wine's own Core Audio with one device (ALSA's null device) and with none,
# and against doubles of Core Audio, which stand in for the endpoint volume
# that Wine does not implement. Wine's prefix is kept in the build
# folder, made on the first run and reused; HOME is private too. A run fails
# on a non-zero exit, a time-out, or a crash or uncaught exception that Wine
# reports. Without Wine or the program (no MinGW-w64 compiler) the test says
# so and is skipped.
# Usage: prueba_volumen_salida_windows.sh <wine64> <wineserver> <program.exe> <folder>
set -uo pipefail
wine=$1 wineserver=$2 programa=$3 carpeta=$4

readonly kSinProbar=77        # ctest's SKIP_RETURN_CODE for this test
readonly kLimitePrefijo=180   # seconds to make a new prefix
readonly kLimiteEjecucion=30  # seconds for one run of the program

. "$(dirname "$0")/../support/wine.sh"
wine_presente "la salida de Windows"
if [ ! -f "$programa" ]; then
  echo "NO SE PROBÓ la salida de Windows: falta $programa (compilador x86_64-w64-mingw32-g++-posix)"
  exit $kSinProbar
fi

export WINEDLLOVERRIDES=winemenubuilder.exe=d WINEDEBUG=-all
# A console program: no display, no sound server.
unset DISPLAY WAYLAND_DISPLAY PULSE_SERVER
registro=$carpeta/wine.log

wine_prefijo $kLimitePrefijo

# ALSA's whole configuration, without the machine's: one null device, or none.
printf 'pcm.!default { type null }\n' >"$carpeta/alsa-con-dispositivo.conf"
printf '# no devices\n' >"$carpeta/alsa-sin-dispositivo.conf"
cp "$carpeta/alsa-sin-dispositivo.conf" "$carpeta/alsa-dobles.conf"

fallos=0
for caso in con-dispositivo sin-dispositivo dobles; do
  # To a file, not a pipe: Wine's own processes outlive the program and
  # would hold a pipe open.
  ALSA_CONFIG_PATH=$carpeta/alsa-$caso.conf timeout $kLimiteEjecucion \
    "$wine" "$programa" $caso </dev/null >"$registro" 2>&1
  resultado=$?
  grep -v '^ALSA lib' "$registro"
  if [ $resultado -ne 0 ]; then
    echo "FALLO: $caso terminó con $resultado"
    fallos=$((fallos + 1))
  elif grep -q -e 'Unhandled' -e 'terminate called' "$registro"; then
    echo "FALLO: $caso: Wine informa de un fallo del programa"
    fallos=$((fallos + 1))
  fi
done
[ $fallos -eq 0 ]
