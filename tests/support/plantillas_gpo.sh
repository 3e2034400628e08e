#!/bin/sh
# Checks the Group Policy templates in a folder laid out as PolicyDefinitions
# (quelvaren.admx, es-ES/ and en-US/quelvaren.adml): each file well-formed XML,
# a policy for every value the program reads from the policy, and every
# string and presentation the template names present in both languages.
# Prints what is wrong and ends with 1; needs xmllint (libxml2-utils).
# Usage: plantillas_gpo.sh <folder>
carpeta=$1
admx=$carpeta/quelvaren.admx
fallos=0
falla() { echo "FALLO: $*"; fallos=$((fallos + 1)); }
# Counts the nodes of an XPath expression, whatever the namespace.
contar() { xmllint --xpath "count($2)" "$1" 2>/dev/null || echo 0; }

for archivo in "$admx" "$carpeta/es-ES/quelvaren.adml" "$carpeta/en-US/quelvaren.adml"; do
  xmllint --noout "$archivo" || falla "$archivo no es XML bien formado"
done
for valor in Valor Auto Modo Aviso Dispositivo Clave; do
  [ "$(contar "$admx" "//*[local-name()='policy'][@key='Software\\Policies\\Quelvaren'][descendant-or-self::*[@valueName='$valor']]")" = 1 ] ||
    falla "la plantilla no tiene una directiva para $valor"
done
referencias=$(grep -o '\$([a-z]*\.[A-Za-z0-9_]*)' "$admx" | sort -u)
[ -n "$referencias" ] || falla "la plantilla no nombra textos"
for idioma in es-ES en-US; do
  adml=$carpeta/$idioma/quelvaren.adml
  for referencia in $referencias; do
    tipo=${referencia#??}
    tipo=${tipo%%.*}
    nombre=${referencia#*.}
    nombre=${nombre%)}
    [ "$(contar "$adml" "//*[local-name()='$tipo'][@id='$nombre']")" = 1 ] ||
      falla "$idioma no tiene $referencia"
  done
done
[ $fallos -eq 0 ]
