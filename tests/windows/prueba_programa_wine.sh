#!/usr/bin/env bash
# The whole Windows program under Wine 8, from its installer to its
# uninstaller, on a private X desktop (Xvfb) with an XEmbed tray (trayer),
# where Wine docks its tray icons:
#  - the installer, run silently with the start at logon, puts the runnable
#    folder under Program Files (with complete Group Policy templates), a
#    Start menu entry and the Run value;
#  - --dispositivos lists Wine's one endpoint as the default;
#  - the first start asks for the first password, which lands scrambled in
#    Wine's registry, as the Linux build scrambles it;
#  - Activar hides the window to the tray; a click on the icon asks for the
#    password and brings the window back; a second start while it runs does
#    the same; the exit asks first and ends cleanly; a later start asks for
#    the stored password;
#  - an administrator's policy under HKLM\Software\Policies\Quelvaren:
#    --comprobar reads it, and its password, not the user's, opens the window;
#  - installed again for every user, the start at logon moves to the
#    machine's Run value;
#  - the uninstaller takes the program away and leaves the settings.
# Wine implements no endpoint volume (E_NOTIMPL): no level is checked, only
# that the program lives on, quietly, while its output's calls fail.
#
# Wine's prefix is kept in the build folder, made on the first run and reused;
# HOME is private too. The test fails on a time-out, a crash, or an uncaught
# exception that Wine reports; it is skipped, and says so, when Wine, the
# desktop tools or the cross-built installer (scripts/windows) are missing.
# Usage: prueba_programa_wine.sh <wine64> <wineserver> <installer.exe> <linux program> <folder>
set -uo pipefail
wine=$1 wineserver=$2 instalador=$3 programa_linux=$4 carpeta=$5

readonly kSinProbar=77       # ctest's SKIP_RETURN_CODE for this test
readonly kLimitePrefijo=180  # seconds to make a new prefix
readonly kEspera=40          # seconds for anything Wine, the desktop or the program must do
readonly kClave=abc
readonly kTituloPrimeraClave='Nueva Clave de Acceso'
readonly kTituloAcceso='Introducir la CLAVE de ACCESO'
readonly kTituloPrincipal='Quelvaren'

. "$(dirname "$0")/../support/wine.sh"
wine_presente "el programa para Windows"
if [ ! -f "$instalador" ]; then
  echo "NO SE PROBÓ el programa para Windows: falta $instalador (scripts/windows lo hace; necesita el kit de Qt para Windows)"
  exit $kSinProbar
fi
for herramienta in Xvfb trayer xdotool xwininfo; do
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
  (cd "$carpeta" && exec "$wine" 'C:\Program Files\Quelvaren\Quelvaren.exe' </dev/null \
    >>"$carpeta/programa.log" 2>&1) &
  pid=$!
}
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

echo "== Segundo arranque mientras corre"
tecla_en "$kTituloPrincipal" alt+t # stops control
tecla_en "$kTituloPrincipal" alt+t # and starts it again: to the tray
esperar no_hay_ventana "$kTituloPrincipal" || fallo "Activar no ocultó la ventana"
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

echo "== Desinstalador"
timeout $kEspera "$wine" "$instalada/Desinstalar.exe" /S </dev/null >>"$carpeta/instalador.log" 2>&1 ||
  fallo "el desinstalador no terminó bien"
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
