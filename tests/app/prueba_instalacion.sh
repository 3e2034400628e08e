#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that a desktop finds
# what it needs: the executable, a valid desktop entry, and the icon in every
# hicolor size the entry can ask for.
# Usage: prueba_instalacion.sh <build folder>
set -euo pipefail
construccion=$1
prefijo=$(mktemp -d)
trap 'rm -rf "$prefijo"' EXIT

cmake --install "$construccion" --prefix "$prefijo" >/dev/null

fallos=0
falla() { echo "FALLO: $*"; fallos=$((fallos + 1)); }

[ -x "$prefijo/bin/quelvaren" ] || falla "no se instaló bin/quelvaren"
entrada=$prefijo/share/applications/quelvaren.desktop
if [ -f "$entrada" ]; then
  desktop-file-validate "$entrada" || falla "la entrada de escritorio no es válida"
  grep -qx 'Exec=quelvaren' "$entrada" || falla "Exec no lanza quelvaren"
  icono=$(sed -n 's/^Icon=//p' "$entrada")
else
  falla "no se instaló la entrada de escritorio"
  icono=quelvaren
fi
for lado in 16 22 24 32 48 64 128 256; do
  png=$prefijo/share/icons/hicolor/${lado}x${lado}/apps/$icono.png
  if [ ! -f "$png" ]; then
    falla "falta el icono de ${lado}x${lado}"
  elif ! file "$png" | grep -q "PNG image data, $lado x $lado"; then
    falla "el icono de ${lado}x${lado} no mide eso: $(file -b "$png")"
  fi
done
[ -f "$prefijo/share/icons/hicolor/scalable/apps/$icono.svg" ] || falla "falta el icono vectorial"

[ $fallos -eq 0 ] && echo "instalación completa en $prefijo"
exit $fallos
