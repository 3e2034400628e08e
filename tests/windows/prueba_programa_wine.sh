#!/usr/bin/env bash
# The whole Windows program under Wine 8, from its installer to its
# uninstaller, on a private X desktop (Xvfb) with an XEmbed tray (trayer),
# where Wine docks its tray icons:
#  - the installer, run silently with the start at logon, puts the runnable
#    folder under Program Files (with complete Group Policy templates), a
#    Start menu entry and the Run value; the executable carries its manifest;
#  - the options print through a pipe, with their exit codes: --version, the
#    help in Qt's Spanish, an unknown option; a password piped as UTF-8 or as
#    ANSI gives the same line; --dispositivos lists Wine's one endpoint as the
#    default;
#  - the first start asks for the first password, which lands scrambled in
#    Wine's registry, as the Linux build scrambles it;
#  - Activar hides the window to the tray; a click on the icon asks for the
#    password and brings the window back; the hidden locked window shown by
#    another program asks for the password when clicked, and goes away again
#    when it is cancelled; a second start while it runs asks too; the exit
#    asks first and ends cleanly; a later start asks for the stored password;
#  - an administrator's policy under HKLM\Software\Policies\Quelvaren:
#    --comprobar reads it, and its password, not the user's, opens the window;
#  - installed again for every user, the start at logon moves to the
#    machine's Run value;
#  - with the program running, a silent install ends with 3 and changes
#    nothing, /S /CERRAR and an interactive install answered "Sí" close it
#    and install;
#  - the uninstaller closes the running program, takes it away and leaves the
#    settings;
#  - the README's registry recipe, as printed and saved, gives a preset
#    password that the access dialog takes.
# Wine implements no endpoint volume (E_NOTIMPL): no level is checked, only
# that the program lives on, quietly, while its output's calls fail.
#
# Wine's prefix is kept in the build folder, made on the first run and reused;
# HOME is private too. The test fails on a time-out, a crash, or an uncaught
# exception that Wine reports; it is skipped, and says so, when Wine, the
# desktop tools or the cross-built installer (scripts/windows) are missing.
# Usage: prueba_programa_wine.sh <wine64> <wineserver> <installer.exe> <linux program> <folder>
#          <mostrar_ventana.exe> <README.md>
set -uo pipefail
wine=$1 wineserver=$2 instalador=$3 programa_linux=$4 carpeta=$5 mostrar=$6 readme=$7

readonly kSinProbar=77       # ctest's SKIP_RETURN_CODE for this test
readonly kLimitePrefijo=180  # seconds to make a new prefix
readonly kEspera=40          # seconds for anything Wine, the desktop or the program must do
readonly kClave=abc
readonly kTituloPrimeraClave='Nueva Clave de Acceso'
readonly kTituloAcceso='Introducir la CLAVE de ACCESO'
readonly kTituloPrincipal='Quelvaren'
readonly kTituloInstalador='Instalación de Quelvaren'
readonly kSalidaEnMarcha=3   # the installer's, documented in the README
readonly kClavePreajuste=xyz # the password of the README's registry recipe
readonly kClaveAcentos='ñandú'

. "$(dirname "$0")/../support/wine.sh"
wine_presente "el programa para Windows"
if [ ! -f "$instalador" ]; then
  echo "NO SE PROBÓ el programa para Windows: falta $instalador (scripts/windows lo hace; necesita el kit de Qt para Windows)"
  exit $kSinProbar
fi
if [ ! -f "$mostrar" ]; then
  echo "NO SE PROBÓ el programa para Windows: falta $mostrar (compilador x86_64-w64-mingw32-g++-posix)"
  exit $kSinProbar
fi
for herramienta in Xvfb trayer xdotool xwininfo iconv; do
  if ! command -v $herramienta >/dev/null; then
    echo "NO SE PROBÓ el programa para Windows: falta $herramienta (scripts/deps)"
    exit $kSinProbar
  fi
done

mkdir -p "$carpeta/home"
carpeta=$(cd "$carpeta" && pwd)
export HOME=$carpeta/home WINEPREFIX=$carpeta/prefijo WINEARCH=win64 WINEDEBUG=-all
# No menu entries in the real desktop, no Mono or Gecko prompts; the sound goes
# through ALSA's null device (winepulse off), which gives Wine one endpoint.
export WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree,mshtml=;winepulse.drv=d'
printf 'pcm.!default { type null }\n' >"$carpeta/alsa.conf"
export ALSA_CONFIG_PATH=$carpeta/alsa.conf
# Qt's warnings go to the standard error, where the log catches them.
export QT_FORCE_STDERR_LOGGING=1
unset WAYLAND_DISPLAY PULSE_SERVER DBUS_SESSION_BUS_ADDRESS
# Wine's ANSI code page follows the locale: Windows-1252, as on Western Windows.
export LC_ALL=C.UTF-8
c=$WINEPREFIX/drive_c
instalada="$c/Program Files/Quelvaren"
enlace="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quelvaren.lnk"

fallos=0
fallo() {
  echo "FALLO: $*"
  fallos=$((fallos + 1))
}
# Polls a condition until it holds or the time runs out.
esperar() {
  local limite=$((SECONDS + kEspera))
  until "$@"; do
    [ $SECONDS -ge $limite ] && return 1
    sleep 0.2
  done
}

xvfb=0 bandeja=0
terminar() {
  "$wineserver" -k 2>/dev/null
  [ $bandeja -gt 0 ] && kill $bandeja 2>/dev/null
  [ $xvfb -gt 0 ] && kill $xvfb 2>/dev/null
  wait 2>/dev/null
}
trap terminar EXIT

wine_prefijo $kLimitePrefijo
# Every run starts as a machine that never had the program: no folder, no
# settings, no entries of an earlier run (the registry files are edited while
# no wineserver holds them).
"$wineserver" -k 2>/dev/null
timeout $kLimitePrefijo "$wineserver" -w
rm -rf "$instalada" "$enlace"
for archivo in "$WINEPREFIX/user.reg" "$WINEPREFIX/system.reg"; do
  awk '/^\[/ { fuera = ($0 ~ /Quelvaren/) } !fuera && !/^"Quelvaren"=/' "$archivo" >"$archivo.nuevo" &&
    mv "$archivo.nuevo" "$archivo"
done
# What the registry holds once Wine has written it to disk.
registro_de() {
  timeout $kLimitePrefijo "$wineserver" -w
  cat "$WINEPREFIX/$1.reg"
}
# The values of one key in a registry file, as Wine writes them.
valores_de() {
  CLAVE="[$2]" awk 'index($0, ENVIRON["CLAVE"] " ") == 1 { dentro = 1; next } /^\[/ { dentro = 0 } dentro' \
    "$WINEPREFIX/$1.reg"
}

# The desktop: Xvfb on a display it picks, trayer at the bottom right.
exec 3>"$carpeta/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset >"$carpeta/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
esperar test -s "$carpeta/display" || { cat "$carpeta/xvfb.log"; echo "FALLO: Xvfb no arrancó"; exit 1; }
export DISPLAY=:$(cat "$carpeta/display")
trayer --edge bottom --align right --widthtype pixel --width 200 --height 32 --transparent false \
  --SetDockType true --expand false >"$carpeta/trayer.log" 2>&1 &
bandeja=$!
panel() { xdotool search --onlyvisible --class '^trayer$' 2>/dev/null | head -n1; }
hay_panel() { [ -n "$(panel)" ]; }
esperar hay_panel || { echo "FALLO: trayer no arrancó"; exit 1; }

ventana() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1; }
hay_ventana() { [ -n "$(ventana "$1")" ]; }
no_hay_ventana() { [ -z "$(ventana "$1")" ]; }
# Types into the window, then presses Enter.
teclear() {
  local v
  v=$(ventana "$1") && [ -n "$v" ] && xdotool windowfocus --sync "$v" &&
    xdotool type --delay 30 "$2" && xdotool key Return
}
# A click on the window's bare margin makes it Wine's active window, then the key.
tecla_en() {
  local v X Y WIDTH HEIGHT SCREEN
  v=$(ventana "$1") && [ -n "$v" ] && eval "$(xdotool getwindowgeometry --shell "$v")" &&
    xdotool mousemove $((X + 3)) $((Y + HEIGHT / 2)) click 1 && sleep 0.3 && xdotool key "$2"
}
clic_en() {
  local v X Y WIDTH HEIGHT SCREEN
  v=$(ventana "$1") && [ -n "$v" ] && eval "$(xdotool getwindowgeometry --shell "$v")" &&
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
}
# Wine's tray icon: explorer's window that trayer has embedded.
icono() {
  xwininfo -tree -id "$(panel)" 2>/dev/null |
    sed -n 's/.*("explorer.exe" "explorer.exe") *\([0-9]*\)x\([0-9]*\)+.* +\([0-9]*\)+\([0-9]*\)$/\1 \2 \3 \4/p' |
    awk '$1 > 1 && $2 > 1 { print $3 + int($1 / 2), $4 + int($2 / 2); exit }'
}
hay_icono() { [ -n "$(icono)" ]; }
corre() { kill -0 "$1" 2>/dev/null; }
no_corre() { ! corre "$1"; }
# Starts the installed program in the background, its output to a file (not a
# pipe: Wine's own processes outlive it and would hold a pipe open).
arrancar() {
  local exe=${1:-'C:\Program Files\Quelvaren\Quelvaren.exe'}
  (cd "$carpeta" && exec "$wine" "$exe" </dev/null >>"$carpeta/programa.log" 2>&1) &
  pid=$!
}
# Started and past its password, as a user leaves it.
en_marcha() {
  arrancar && esperar hay_ventana "$kTituloAcceso" && teclear "$kTituloAcceso" "$kClave" &&
    esperar hay_ventana "$kTituloPrincipal"
}
# The installed program's options, with nothing on standard input.
opcion() { timeout $kEspera "$wine" "$instalada/Quelvaren.exe" "$@"; }
: >"$carpeta/programa.log"

echo "== Instalador"
if ! timeout $kEspera "$wine" "$instalador" /S /ARRANQUE </dev/null >"$carpeta/instalador.log" 2>&1; then
  cat "$carpeta/instalador.log"
  fallo "el instalador no terminó bien"
fi
# Every file of the runnable folder, and the uninstaller and the licences
# besides.
diferencias=$(diff -r "$(dirname "$instalador")/Quelvaren" "$instalada" |
  grep -v -e ': Desinstalar.exe$' -e ': licencias$')
[ -z "$diferencias" ] || fallo "la carpeta instalada no es la carpeta del programa: $diferencias"
diff -r "$(dirname "$instalador")/licencias" "$instalada/licencias" >/dev/null ||
  fallo "faltan las licencias de lo que se instala"
[ -f "$instalada/Desinstalar.exe" ] || fallo "falta el desinstalador"
[ -f "$enlace" ] || fallo "falta la entrada del menú Inicio"
registro_de system >/dev/null
valores_de user 'Software\\Microsoft\\Windows\\CurrentVersion\\Run' |
  grep -qxF '"Quelvaren"="\"C:\\Program Files\\Quelvaren\\Quelvaren.exe\""' ||
  fallo "falta el arranque al iniciar la sesión (clave Run del usuario)"
valores_de system 'Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quelvaren' |
  grep -qxF "\"DisplayVersion\"=\"$(basename "$instalador" | sed 's/^Quelvaren-\(.*\)-instalador\.exe$/\1/')\"" ||
  fallo "falta la entrada de Programas y características"
"$(dirname "$0")/../support/plantillas_gpo.sh" "$instalada/PolicyDefinitions" ||
  fallo "las plantillas de directivas de grupo instaladas no están completas"
[ -f "$instalada/Quelvaren.exe" ] || { echo "FALLO: no hay programa instalado"; exit 1; }
# The manifest: the rights of whoever starts it, each monitor's scale.
for marca in 'level="asInvoker"' '>PerMonitorV2'; do
  grep -qaF "$marca" "$instalada/Quelvaren.exe" || fallo "el programa no lleva $marca en su manifiesto"
done

echo "== Las opciones, por una tubería"
{ opcion --version </dev/null; echo $? >"$carpeta/codigo"; } | tr -d '\r' >"$carpeta/version.txt"
[ "$(cat "$carpeta/codigo")" = 0 ] || fallo "--version terminó con $(cat "$carpeta/codigo")"
[ "$(cat "$carpeta/version.txt")" = "$("$programa_linux" --version)" ] ||
  fallo "--version escribió: $(cat "$carpeta/version.txt")"
# Qt's own texts of the help, as the Linux program (with Debian's translation)
# prints them: the translation shipped beside the program is loaded.
diff <(opcion --help </dev/null | iconv -f CP1252 | tr -d '\r' | tail -n +2) \
  <("$programa_linux" --help | tail -n +2) || fallo "la ayuda no es la de Qt en español"
opcion --desconocida </dev/null >/dev/null 2>"$carpeta/error.txt"
codigo=$?
[ $codigo -eq 1 ] && [ "$(wc -l <"$carpeta/error.txt")" -eq 1 ] ||
  fallo "una opción desconocida terminó con $codigo: $(cat "$carpeta/error.txt")"
# The password's characters, whichever way they are piped.
utf8=$(printf '%s\n' "$kClaveAcentos" | opcion --clave-preajuste | tr -d '\r')
ansi=$(printf '%s\n' "$kClaveAcentos" | iconv -t CP1252 | opcion --clave-preajuste | tr -d '\r')
[ "$utf8" = "$ansi" ] && [ "$(tr -cd , <<<"$utf8" | wc -c)" -eq $(((${#kClaveAcentos} + 1) * 2 - 1)) ] ||
  fallo "la clave $kClaveAcentos no llegó entera: \"$utf8\" (UTF-8), \"$ansi\" (ANSI)"

echo "== La lista de dispositivos"
# Wine's one endpoint (ALSA's null device), by its ID, marked as the default.
timeout $kEspera "$wine" "$instalada/Quelvaren.exe" --dispositivos </dev/null \
  >"$carpeta/dispositivos.txt" 2>&1 || fallo "--dispositivos no terminó bien"
grep -qaP '^\{[0-9.]+\}\.\{[0-9A-Fa-f-]+\}\t.+ \(predeterminado\)\r?$' "$carpeta/dispositivos.txt" ||
  fallo "--dispositivos no dio el dispositivo predeterminado: $(cat "$carpeta/dispositivos.txt")"

echo "== Primer arranque"
arrancar
primero=$pid
esperar hay_ventana "$kTituloPrimeraClave" || fallo "no pidió la primera clave"
teclear "$kTituloPrimeraClave" "$kClave"
esperar hay_ventana "$kTituloAcceso" || fallo "no pidió la clave de acceso tras la primera"
teclear "$kTituloAcceso" "$kClave"
esperar hay_ventana "$kTituloPrincipal" || fallo "no mostró la ventana principal"
esperar hay_icono || fallo "el icono no llegó a la bandeja"

echo "== Activar: a la bandeja, y de vuelta con la clave"
tecla_en "$kTituloPrincipal" alt+t
esperar no_hay_ventana "$kTituloPrincipal" || fallo "Activar no ocultó la ventana"
read -r x y <<<"$(icono)"
xdotool mousemove "$x" "$y" click 1
esperar hay_ventana "$kTituloAcceso" || fallo "el clic en el icono no pidió la clave"
teclear "$kTituloAcceso" "$kClave"
esperar hay_ventana "$kTituloPrincipal" || fallo "la clave no devolvió la ventana"
corre $primero || fallo "el programa terminó con el control activo"

echo "== La ventana bloqueada, mostrada desde fuera"
tecla_en "$kTituloPrincipal" alt+t # stops control
tecla_en "$kTituloPrincipal" alt+t # and starts it again: to the tray
esperar no_hay_ventana "$kTituloPrincipal" || fallo "Activar no ocultó la ventana"
timeout $kEspera "$wine" "$mostrar" "$kTituloPrincipal" </dev/null >/dev/null 2>&1 ||
  fallo "no se encontró la ventana oculta"
esperar hay_ventana "$kTituloPrincipal" || fallo "la ventana oculta no se mostró desde fuera"
clic_en "$kTituloPrincipal"
esperar hay_ventana "$kTituloAcceso" || fallo "un clic en la ventana bloqueada no pidió la clave"
xdotool windowfocus --sync "$(ventana "$kTituloAcceso")" && xdotool key Escape
esperar no_hay_ventana "$kTituloPrincipal" || fallo "la ventana quedó a la vista tras cancelar la clave"

echo "== Segundo arranque mientras corre"
(cd "$carpeta" && timeout $kEspera "$wine" 'C:\Program Files\Quelvaren\Quelvaren.exe' \
  </dev/null >>"$carpeta/programa.log" 2>&1) || fallo "el segundo arranque no terminó bien"
esperar hay_ventana "$kTituloAcceso" || fallo "el segundo arranque no pidió la clave"
teclear "$kTituloAcceso" "$kClave"
esperar hay_ventana "$kTituloPrincipal" || fallo "la clave no devolvió la ventana"

echo "== Salir"
tecla_en "$kTituloPrincipal" alt+s
dos_ventanas() { [ "$(xdotool search --onlyvisible --name "^$kTituloPrincipal\$" | wc -l)" -ge 2 ]; }
esperar dos_ventanas || fallo "Salir no preguntó"
xdotool key Return
esperar no_corre $primero || fallo "el programa no terminó tras Salir"
wait $primero || fallo "el programa terminó con $?"
esperar no_hay_ventana "$kTituloPrincipal" || fallo "quedó una ventana del programa"

echo "== La clave en el registro"
registro_de user >/dev/null
esperada=$(printf '%s\n' "$kClave" | "$programa_linux" --clave-preajuste | sed -n 's/^Pass=//p')
guardada=$(valores_de user 'Software\\Quelvaren\\Config' | sed -n 's/^"Pass"="\(.*\)"$/\1/p')
echo "Pass guardada: \"$guardada\"; según el programa de Linux: \"$esperada\""
[ -n "$esperada" ] || fallo "el programa de Linux no cifró la clave"
[ "$guardada" = "$esperada" ] || fallo "la clave guardada no es la cifrada"
[ "$guardada" != "$kClave" ] || fallo "la clave está guardada en claro"

echo "== Un arranque más pide la clave guardada"
arrancar
esperar hay_ventana "$kTituloAcceso" || fallo "no pidió la clave guardada"
hay_ventana "$kTituloPrimeraClave" && fallo "pidió una primera clave con una ya guardada"
xdotool windowfocus --sync "$(ventana "$kTituloAcceso")" && xdotool key Escape
esperar no_corre $pid || fallo "no terminó al cancelar la clave"
wait $pid || fallo "terminó con $? al cancelar la clave"

echo "== La política del administrador, en el registro"
# Where Group Policy writes it, in the 64-bit view: a level and a password
# other than the user's ("$kClave").
politica='HKLM\Software\Policies\Quelvaren'
clave_politica=$(printf 'xyz\n' | "$programa_linux" --clave-politica | sed -n 's/^Clave=//p')
{ timeout $kEspera "$wine" reg add "$politica" /v Valor /d 20000 /f &&
  timeout $kEspera "$wine" reg add "$politica" /v Clave /d "$clave_politica" /f; } </dev/null \
  >>"$carpeta/registro.log" 2>&1 || fallo "no se pudo escribir la política"
timeout $kEspera "$wine" "$instalada/Quelvaren.exe" --comprobar </dev/null >"$carpeta/comprobar.txt" 2>&1
LC_ALL=C grep -qa '^Valor=20000 (pol.tica)' "$carpeta/comprobar.txt" &&
  LC_ALL=C grep -qa '^Clave de acceso: la de la pol.tica' "$carpeta/comprobar.txt" ||
  fallo "--comprobar no leyó la política: $(cat "$carpeta/comprobar.txt")"
arrancar
esperar hay_ventana "$kTituloAcceso" || fallo "no pidió la clave con la política"
teclear "$kTituloAcceso" xyz
esperar hay_ventana "$kTituloPrincipal" || fallo "la clave de la política no abrió la ventana"
tecla_en "$kTituloPrincipal" alt+s
esperar dos_ventanas || fallo "Salir no preguntó"
xdotool key Return
esperar no_corre $pid || fallo "el programa no terminó tras Salir"
timeout $kEspera "$wine" reg delete "$politica" /f </dev/null >>"$carpeta/registro.log" 2>&1

echo "== Instalado de nuevo, arranca para todos los usuarios"
timeout $kEspera "$wine" "$instalador" /S /ARRANQUE_TODOS </dev/null >>"$carpeta/instalador.log" 2>&1 ||
  fallo "el instalador con /ARRANQUE_TODOS no terminó bien"
registro_de system >/dev/null
valores_de system 'Software\\Microsoft\\Windows\\CurrentVersion\\Run' |
  grep -qxF '"Quelvaren"="\"C:\\Program Files\\Quelvaren\\Quelvaren.exe\""' ||
  fallo "falta el arranque para todos los usuarios (clave Run de la máquina)"
valores_de user 'Software\\Microsoft\\Windows\\CurrentVersion\\Run' | grep -q '^"Quelvaren"=' &&
  fallo "quedó también el arranque del usuario"

echo "== Instalar sobre el programa en marcha"
en_marcha || fallo "el programa no arrancó"
antes=$(stat -c %Y "$instalada/Desinstalar.exe")
timeout $kEspera "$wine" "$instalador" /S </dev/null >>"$carpeta/instalador.log" 2>&1
codigo=$?
[ $codigo -eq $kSalidaEnMarcha ] || fallo "la instalación silenciosa con el programa en marcha terminó con $codigo"
corre $pid || fallo "la instalación silenciosa cerró el programa sin /CERRAR"
[ "$(stat -c %Y "$instalada/Desinstalar.exe")" = "$antes" ] ||
  fallo "la instalación silenciosa cambió archivos con el programa en marcha"
timeout $kEspera "$wine" "$instalador" /S /CERRAR </dev/null >>"$carpeta/instalador.log" 2>&1 ||
  fallo "la instalación con /CERRAR no terminó bien"
esperar no_corre $pid || fallo "/CERRAR no cerró el programa"
wait $pid || fallo "el programa cerrado por /CERRAR terminó con $?"

echo "== Instalar sobre el programa en marcha, contestando"
asistente() { xdotool search --onlyvisible --name "^$kTituloInstalador" 2>/dev/null; }
hay_asistente() { [ -n "$(asistente)" ]; }
pregunta() { [ "$(asistente | wc -l)" -ge 2 ]; }
en_marcha || fallo "el programa no volvió a arrancar"
"$wine" "$instalador" </dev/null >>"$carpeta/instalador.log" 2>&1 &
instalacion=$!
esperar hay_asistente || fallo "el instalador no se abrió"
pagina=$(asistente | head -n1)
# Siguiente, Siguiente, Instalar; then the question, answered with its
# default, Sí; at the end, Terminar.
for _ in 1 2 3; do xdotool windowfocus --sync "$pagina" key Return && sleep 1; done
esperar pregunta || fallo "el instalador no preguntó si cerrar el programa"
xdotool windowfocus --sync "$(asistente | grep -vxF "$pagina" | head -n1)" key Return
esperar no_corre $pid || fallo "contestar Sí no cerró el programa"
wait $pid || fallo "el programa cerrado por el instalador terminó con $?"
terminar_asistente() { xdotool windowfocus --sync "$pagina" key Return 2>/dev/null; sleep 1; no_corre $instalacion; }
esperar terminar_asistente || fallo "el instalador no llegó a su final"
wait $instalacion || fallo "el instalador terminó con $?"

echo "== Desinstalador con el programa en marcha"
en_marcha || fallo "el programa no arrancó"
timeout $kEspera "$wine" "$instalada/Desinstalar.exe" /S </dev/null >>"$carpeta/instalador.log" 2>&1 ||
  fallo "el desinstalador no terminó bien"
esperar no_corre $pid || fallo "el desinstalador no cerró el programa"
wait $pid || fallo "el programa cerrado por el desinstalador terminó con $?"
registro_de system >/dev/null # waits until its copy in the temporary folder ends, too
[ ! -e "$instalada" ] || fallo "quedó la carpeta del programa: $(ls "$instalada")"
[ ! -e "$enlace" ] || fallo "quedó la entrada del menú Inicio"
valores_de user 'Software\\Microsoft\\Windows\\CurrentVersion\\Run' | grep -q '^"Quelvaren"=' &&
  fallo "quedó el arranque al iniciar la sesión"
valores_de system 'Software\\Microsoft\\Windows\\CurrentVersion\\Run' | grep -q '^"Quelvaren"=' &&
  fallo "quedó el arranque para todos los usuarios"
grep -qF '[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quelvaren]' "$WINEPREFIX/system.reg" &&
  fallo "quedó la entrada de Programas y características"
quedan=$(valores_de user 'Software\\Quelvaren\\Config' | sed -n 's/^"Pass"="\(.*\)"$/\1/p')
[ -n "$quedan" ] && [ "$quedan" = "$guardada" ] ||
  fallo "el desinstalador borró los ajustes del usuario"

echo "== La receta del registro del README"
# The lines of its registry file, the last one as the program prints it.
receta=$(awk '/^    Windows Registry Editor Version 5\.00$/ { dentro = 1 }
  dentro { sub(/^    /, ""); print } dentro && /^"Pass"=/ { exit }' "$readme")
programa_windows=$(dirname "$instalador")/Quelvaren/Quelvaren.exe
impresa=$(printf '%s\n' "$kClavePreajuste" |
  timeout $kEspera "$wine" "$programa_windows" --clave-preajuste | tr -d '\r')
[ -n "$impresa" ] && grep -qxF "$impresa" <<<"$receta" ||
  fallo "el README no da la línea que imprime el programa: $impresa"
# Saved as the README says (UTF-16 LE with a byte order mark), imported; the
# user's own password, which would win, goes.
{ printf '\xff\xfe'; sed 's/$/\r/' <<<"$receta" | iconv -t UTF-16LE; } >"$c/preajuste.reg"
timeout $kEspera "$wine" regedit /S 'C:\preajuste.reg' </dev/null >>"$carpeta/instalador.log" 2>&1 ||
  fallo "regedit no importó la receta"
timeout $kEspera "$wine" reg delete 'HKCU\Software\Quelvaren\Config' /v Pass /f </dev/null \
  >>"$carpeta/instalador.log" 2>&1 || fallo "no se pudo quitar la clave del usuario"
arrancar "$programa_windows"
esperar hay_ventana "$kTituloAcceso" || fallo "no pidió la clave del preajuste"
teclear "$kTituloAcceso" "$kClavePreajuste"
esperar hay_ventana "$kTituloPrincipal" || fallo "el diálogo de acceso no aceptó la clave de la receta"

# Whatever the program and Wine said, but ALSA's complaints about the
# machine's missing sound cards.
grep -v '^ALSA lib' "$carpeta/programa.log"
if grep -q -e 'Unhandled' -e 'terminate called' "$carpeta/programa.log" "$carpeta/instalador.log"; then
  fallo "Wine informa de un fallo del programa"
fi
if grep -v '^ALSA lib' "$carpeta/programa.log" | grep -q .; then
  fallo "el programa dijo algo mientras fallaban las llamadas de la salida"
fi
if [ $fallos -gt 0 ]; then
  command -v import >/dev/null && import -window root "$carpeta/pantalla.png" &&
    echo "Captura: $carpeta/pantalla.png"
  exit 1
fi
echo "Bien: instalado, probado y desinstalado bajo Wine"
