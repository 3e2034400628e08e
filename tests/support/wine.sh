# Sourced by the tests that run Windows programs under Wine: the check that
# Wine is there and a private prefix in the test's folder, made once and
# kept only once it is complete. The sourcing script sets wine, wineserver,
# carpeta and kSinProbar (ctest's SKIP_RETURN_CODE) first.

# Ends the test as not run when Wine is missing; $1 says what was not tested.
wine_presente() {
  if [ ! -x "$wine" ] || [ ! -x "$wineserver" ]; then
    echo "NO SE PROBÓ $1: falta wine64 (paquetes wine64 wine)"
    exit "$kSinProbar"
  fi
}

# A private HOME and WINEPREFIX in $carpeta, the prefix made on the first run
# (reporting Windows 10, which Qt 6 wants) within $1 seconds a step.
wine_prefijo() {
  local limite=$1
  mkdir -p "$carpeta/home"
  export HOME=$carpeta/home WINEPREFIX=$carpeta/prefijo
  [ -f "$carpeta/prefijo.hecho" ] && return 0
  rm -rf "$WINEPREFIX"
  if ! { timeout "$limite" "$wine" wineboot -i && timeout "$limite" "$wine" reg add \
    'HKCU\Software\Wine' /v Version /d win10 /f && timeout "$limite" "$wineserver" -w; } \
    </dev/null >"$carpeta/prefijo.log" 2>&1; then
    cat "$carpeta/prefijo.log"
    echo "FALLO: Wine no creó su prefijo en $WINEPREFIX"
    exit 1
  fi
  touch "$carpeta/prefijo.hecho"
}
