#!/usr/bin/env bash
# Builds the Debian package from a build folder with cpack, unpacks it and
# checks what a user installs: the stripped program, a valid desktop entry and
# the icon it names, AppStream metadata that validates and launches that
# entry, the doc files, the administrator's example policy and Group Policy
# templates, a start in every session that nothing enables, the run-time
# dependencies, and a clean lintian report.
# Usage: prueba_paquete.sh <build folder>
set -euo pipefail
construccion=$1
trabajo=$(mktemp -d)
trap 'rm -rf "$trabajo"' EXIT

fallos=0
falla() { echo "FALLO: $*"; fallos=$((fallos + 1)); }

if ! cpack --config "$construccion/CPackConfig.cmake" -G DEB -B "$trabajo" >"$trabajo/cpack.log" 2>&1; then
  cat "$trabajo/cpack.log"
  echo "FALLO: cpack no generó el paquete"
  exit 1
fi
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$trabajo/cpack.log")
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "quelvaren_${version}_$(dpkg --print-architecture).deb" ] ||
  falla "el paquete se llama $(basename "$deb")"

raiz=$trabajo/raiz
dpkg-deb -x "$deb" "$raiz"
share=$raiz/usr/share

programa=$raiz/usr/bin/quelvaren
if [ -x "$programa" ]; then
  file -b "$programa" | grep -q ', stripped' || falla "el programa no está despojado: $(file -b "$programa")"
else
  falla "no está usr/bin/quelvaren"
fi

entrada=$share/applications/quelvaren.desktop
icono=quelvaren
if [ -f "$entrada" ]; then
  desktop-file-validate "$entrada" || falla "la entrada de escritorio no es válida"
  icono=$(sed -n 's/^Icon=//p' "$entrada")
else
  falla "no está la entrada de escritorio"
fi
for lado in 48x48 128x128 256x256; do
  [ -f "$share/icons/hicolor/$lado/apps/$icono.png" ] || falla "falta el icono de $lado"
done

metadatos=$(find "$share/metainfo" -name '*.metainfo.xml' 2>/dev/null | head -n1 || true)
if [ -n "$metadatos" ]; then
  appstreamcli validate --no-net "$metadatos" >"$trabajo/appstream.log" 2>&1 ||
    { cat "$trabajo/appstream.log"; falla "los metadatos AppStream no validan"; }
  lanzable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metadatos")
  [ -f "$share/applications/$lanzable" ] || falla "los metadatos lanzan '$lanzable', que no está"
  grep -q "<release version=\"$version\"" "$metadatos" || falla "los metadatos no anuncian la versión $version"
else
  falla "no están los metadatos AppStream en share/metainfo"
fi

documentos=$share/doc/quelvaren
[ -f "$documentos/copyright" ] || falla "falta doc/quelvaren/copyright"
if [ -f "$documentos/changelog.gz" ]; then
  zcat "$documentos/changelog.gz" >"$trabajo/changelog"
  [ "$(dpkg-parsechangelog -l "$trabajo/changelog" -S Version)" = "$version" ] ||
    falla "el changelog no empieza por la versión $version"
else
  falla "falta doc/quelvaren/changelog.gz"
fi

# For administrators: the example policy, the templates, and a start at every
# logon that they enable themselves: installing starts nothing for anyone (no
# file under /etc, no script that enables the unit).
[ -f "$documentos/examples/politica.conf" ] || falla "falta el ejemplo de politica.conf"
"$(dirname "$0")/../support/plantillas_gpo.sh" "$documentos/PolicyDefinitions" ||
  falla "las plantillas de directivas de grupo no están completas"
unidad=$raiz/usr/lib/systemd/user/quelvaren.service
for linea in Restart=always BindsTo=graphical-session.target WantedBy=graphical-session.target; do
  grep -qx "$linea" "$unidad" 2>/dev/null || falla "la unidad de systemd no tiene $linea"
done
desktop-file-validate "$share/quelvaren/autostart/quelvaren.desktop" ||
  falla "falta la entrada de arranque de XDG, o no es válida"
[ ! -e "$raiz/etc" ] || falla "el paquete pone archivos en /etc: $(cd "$raiz" && find etc -type f)"
dpkg-deb -I "$deb" | grep -q -e postinst -e preinst && falla "el paquete lleva guiones de instalación"

# Every web or mail address the package gives is one the build was given (its
# CMakeCache.txt), or the copyright format's own: where the build names none,
# no field carries a made-up one.
mapfile -t dadas < <(sed -n 's/^QUELVAREN_\(PAGINA\|URL_FALLOS\|URL_CAPTURAS\|CORREO\):STRING=\(..*\)$/\2/p' \
  "$construccion/CMakeCache.txt")
{
  dpkg-deb -f "$deb"
  cat "$metadatos" "$documentos/copyright" || true
  zcat "$documentos/changelog.gz" "$share/man/man1/quelvaren.1.gz" || true
} 2>/dev/null | sed 's/&amp;/\&/g' |
  { grep -oE 'https?://[^][ <>"]+|[[:alnum:]._%+-]+@[[:alnum:]-]+(\.[[:alnum:]-]+)+' || true; } |
  sort -u >"$trabajo/direcciones"
while read -r direccion; do
  [ "$direccion" = https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/ ] && continue
  conocida=0
  for dada in "${dadas[@]}"; do
    [[ $direccion == "$dada"* ]] && conocida=1
  done
  [ $conocida -eq 1 ] || falla "el paquete da la dirección $direccion, que la construcción no dio"
done <"$trabajo/direcciones"

depende=$(dpkg-deb -f "$deb" Depends)
for paquete in libpulse0 qt6-translations-l10n libqt6widgets6 libqt6gui6; do
  grep -Eq "(^|, )$paquete( |,|$)" <<<"$depende" || falla "Depends no incluye $paquete: $depende"
done

raiz_lintian=()
[ "$(id -u)" -eq 0 ] && raiz_lintian=(--allow-root)
lintian "${raiz_lintian[@]}" "$deb" >"$trabajo/lintian.log" 2>&1 || true
cat "$trabajo/lintian.log"
if grep -q '^E: ' "$trabajo/lintian.log"; then falla "lintian informa de errores"; fi

[ $fallos -eq 0 ] && echo "paquete completo: $(basename "$deb")"
exit $fallos
