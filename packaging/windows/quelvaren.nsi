; The Windows installer (NSIS 3, 64-bit): the program's folder under Program
; Files (the Group Policy templates in it), a Start menu entry, an optional
; start at logon for the user who installs it or for every user of the
; machine, and an uninstaller. The uninstaller leaves the user's settings
; (HKEY_CURRENT_USER\Software\Quelvaren) where they are.
;
; Neither changes a file while the program runs from the folder (of any user,
; in any session): never a mix of two versions. Interactive, they ask and
; close it; silent, the installer ends with SALIDA_EN_MARCHA and changes
; nothing unless /CERRAR is given, and the uninstaller closes it. Running
; copies are closed through a value of the machine's key that only
; administrators may write, which every copy watches (app/fin_sesion.h): no
; way around the access password for anyone without the rights the
; installer already has.
;
; The finish page does not start the program: the installer runs with
; administrator rights, and whatever it starts would too, with the first
; password landing in the administrator's settings. It starts from the Start
; menu, or at the next logon.
;
; scripts/windows builds it: makensis -DVERSION=1.2.0 -DARCHIVOS=<archivos.nsh>
;   -DICONO=<quelvaren.ico> -DSALIDA=<installer.exe> quelvaren.nsi
; archivos.nsh names every file of the runnable folder, in two macros:
; InstalarArchivos and BorrarArchivos.
;
; A silent install (/S) leaves the start at logon out unless /ARRANQUE (the
; user who installs) or /ARRANQUE_TODOS (every user) is given, and closes a
; running program only with /CERRAR.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"
!include "${ARCHIVOS}"

!define NOMBRE "Quelvaren"
!define CLAVE_DESINSTALAR "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quelvaren"
!define CLAVE_ARRANQUE "Software\Microsoft\Windows\CurrentVersion\Run"
; The machine's key of the program, and its value that asks every copy
; running from the folder it names to end (watched by the program).
!define CLAVE_PROGRAMA "Software\Quelvaren"
!define VALOR_CERRAR "Cerrar"
; Exit code of a silent install that found the program running and changed
; nothing (0 done, 1 cancelled, 2 stopped by NSIS itself).
!define SALIDA_EN_MARCHA 3
; How long the running copies get to end: ESPERA_CIERRE pauses of
; PAUSA_CIERRE_MS.
!define ESPERA_CIERRE 50
!define PAUSA_CIERRE_MS 200

Name "${NOMBRE} ${VERSION}"
OutFile "${SALIDA}"
InstallDir "$PROGRAMFILES64\${NOMBRE}"
InstallDirRegKey HKLM "${CLAVE_DESINSTALAR}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "${NOMBRE} ${VERSION}"
; Drawn at the screen's scale (150 % too), not stretched by Windows; the
; program it installs needs Windows 10 or later.
ManifestDPIAware true
ManifestSupportedOS Win10

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=3082 "ProductName" "${NOMBRE}"
VIAddVersionKey /LANG=3082 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=3082 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=3082 "FileDescription" "Instalador de ${NOMBRE}"
VIAddVersionKey /LANG=3082 "LegalCopyright" "${NOMBRE}"

!define MUI_ICON "${ICONO}"
!define MUI_UNICON "${ICONO}"
!define MUI_ABORTWARNING
; The components' names get the page's whole width, their description below.
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_FINISHPAGE_TEXT "$(TEXTO_FINAL)"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Spanish"

Var CerrarSinPreguntar

; $0 becomes 1 when the file $1 of $INSTDIR is held by a running program
; (it cannot be opened for writing); it is left alone otherwise.
!macro FuncionRetenido UN
Function ${UN}Retenido
  ${If} ${FileExists} "$INSTDIR\$1"
    ClearErrors
    FileOpen $2 "$INSTDIR\$1" a
    ${If} ${Errors}
      StrCpy $0 1
    ${Else}
      FileClose $2
    ${EndIf}
  ${EndIf}
FunctionEnd
!macroend

; $0: 1 when a copy runs from $INSTDIR (every copy, whatever its file name,
; holds Qt6Core.dll), else 0.
!macro FuncionEnUso UN
Function ${UN}EnUso
  StrCpy $0 0
  StrCpy $1 "Quelvaren.exe"
  Call ${UN}Retenido
  StrCpy $1 "Qt6Core.dll"
  Call ${UN}Retenido
FunctionEnd
!macroend

; Sees that no copy runs from $INSTDIR before a file there changes: asks
; (interactive) or goes on only with $CerrarSinPreguntar (silent), then
; closes every copy. When they do not end, nothing changes: interactive, the
; user may close them and retry; silent, it ends with SALIDA_EN_MARCHA.
!macro FuncionCerrarPrograma UN
Function ${UN}CerrarPrograma
  Call ${UN}EnUso
  ${If} $0 == 0
    Return
  ${EndIf}
  ${If} ${Silent}
    ${If} $CerrarSinPreguntar != 1
      SetErrorLevel ${SALIDA_EN_MARCHA}
      Quit
    ${EndIf}
  ${Else}
    MessageBox MB_YESNO|MB_ICONEXCLAMATION "$(TEXTO_EN_MARCHA)" IDYES cerrar
    Abort "$(TEXTO_NADA_CAMBIADO)"
  ${EndIf}
  cerrar:
  SetRegView 64
  DetailPrint "$(TEXTO_CERRANDO)"
  WriteRegStr HKLM "${CLAVE_PROGRAMA}" "${VALOR_CERRAR}" "$INSTDIR"
  StrCpy $3 0
  ${Do}
    Sleep ${PAUSA_CIERRE_MS}
    Call ${UN}EnUso
    IntOp $3 $3 + 1
    ${If} $0 == 0
    ${OrIf} $3 >= ${ESPERA_CIERRE}
      ${ExitDo}
    ${EndIf}
  ${Loop}
  WriteRegStr HKLM "${CLAVE_PROGRAMA}" "${VALOR_CERRAR}" ""
  ${If} $0 == 0
    Return
  ${EndIf}
  ${If} ${Silent}
    SetErrorLevel ${SALIDA_EN_MARCHA}
    Quit
  ${EndIf}
  MessageBox MB_RETRYCANCEL|MB_ICONSTOP "$(TEXTO_NO_CERRADO)" IDRETRY cerrar
  Abort "$(TEXTO_NADA_CAMBIADO)"
FunctionEnd
!macroend
!insertmacro FuncionRetenido ""
!insertmacro FuncionRetenido "un."
!insertmacro FuncionEnUso ""
!insertmacro FuncionEnUso "un."
!insertmacro FuncionCerrarPrograma ""
!insertmacro FuncionCerrarPrograma "un."

Section "Quelvaren" SecPrograma
  SectionIn RO
  SetRegView 64
  SetShellVarContext all
  Call CerrarPrograma
  ; The key the running copies watch exists from the first install on.
  WriteRegStr HKLM "${CLAVE_PROGRAMA}" "${VALOR_CERRAR}" ""
  !insertmacro InstalarArchivos
  WriteUninstaller "$INSTDIR\Desinstalar.exe"
  CreateShortcut "$SMPROGRAMS\${NOMBRE}.lnk" "$INSTDIR\Quelvaren.exe" "" "$INSTDIR\Quelvaren.exe" 0
  ; Programs and Features
  WriteRegStr HKLM "${CLAVE_DESINSTALAR}" "DisplayName" "${NOMBRE}"
  WriteRegStr HKLM "${CLAVE_DESINSTALAR}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${CLAVE_DESINSTALAR}" "DisplayIcon" "$INSTDIR\Quelvaren.exe"
  WriteRegStr HKLM "${CLAVE_DESINSTALAR}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${CLAVE_DESINSTALAR}" "UninstallString" '"$INSTDIR\Desinstalar.exe"'
  WriteRegStr HKLM "${CLAVE_DESINSTALAR}" "QuietUninstallString" '"$INSTDIR\Desinstalar.exe" /S'
  WriteRegDWORD HKLM "${CLAVE_DESINSTALAR}" "NoModify" 1
  WriteRegDWORD HKLM "${CLAVE_DESINSTALAR}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${CLAVE_DESINSTALAR}" "EstimatedSize" $0
SectionEnd

; The user who installs it, at each logon of theirs.
Section /o "Arrancar al iniciar la sesión" SecArranque
  SetRegView 64
  WriteRegStr HKCU "${CLAVE_ARRANQUE}" "${NOMBRE}" '"$INSTDIR\Quelvaren.exe"'
SectionEnd

; Every user, at each logon (HKLM\...\Run): for shared machines under an
; administrator's policy. It replaces the installing user's own start, which
; would start a second copy.
Section /o "Arrancar al iniciar la sesión, para todos los usuarios" SecArranqueTodos
  SetRegView 64
  WriteRegStr HKLM "${CLAVE_ARRANQUE}" "${NOMBRE}" '"$INSTDIR\Quelvaren.exe"'
  DeleteRegValue HKCU "${CLAVE_ARRANQUE}" "${NOMBRE}"
SectionEnd

LangString DESC_SecPrograma ${LANG_SPANISH} "El programa y las bibliotecas que usa."
LangString TEXTO_EN_MARCHA ${LANG_SPANISH} "${NOMBRE} está en marcha desde $INSTDIR (en esta sesión o en la de otro usuario) y hay que cerrarlo para seguir.$\r$\n$\r$\n¿Cerrarlo ahora en todas las sesiones? Dejará de mantener el volumen hasta que vuelva a arrancarlo. Si no, no se cambia nada."
LangString TEXTO_NO_CERRADO ${LANG_SPANISH} "${NOMBRE} sigue en marcha desde $INSTDIR. Ciérrelo en todas las sesiones (Menú Principal, Salir) y vuelva a intentarlo, o cancele para no cambiar nada."
LangString TEXTO_NADA_CAMBIADO ${LANG_SPANISH} "${NOMBRE} sigue en marcha: no se cambió nada."
LangString TEXTO_CERRANDO ${LANG_SPANISH} "Cerrando ${NOMBRE}..."
LangString TEXTO_FINAL ${LANG_SPANISH} "${NOMBRE} ${VERSION} se ha instalado en el equipo.$\r$\n$\r$\nArránquelo desde el menú Inicio. Si eligió arrancarlo al iniciar la sesión, se pondrá en marcha solo la próxima vez que la inicie.$\r$\n$\r$\nPulse Terminar para cerrar el asistente."
LangString DESC_SecArranque ${LANG_SPANISH} "Pone ${NOMBRE} en marcha cada vez que inicie la sesión."
LangString DESC_SecArranqueTodos ${LANG_SPANISH} "Pone ${NOMBRE} en marcha cada vez que cualquier usuario inicie la sesión."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPrograma} $(DESC_SecPrograma)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecArranque} $(DESC_SecArranque)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecArranqueTodos} $(DESC_SecArranqueTodos)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "${NOMBRE} necesita Windows de 64 bits."
    Abort
  ${EndIf}
  ; /ARRANQUE chooses the start at logon from the command line (silent installs).
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ARRANQUE" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecArranque} ${SF_SELECTED}
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/ARRANQUE_TODOS" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecArranqueTodos} ${SF_SELECTED}
  ${EndIf}
  ; /CERRAR lets a silent install close a running program.
  ClearErrors
  ${GetOptions} $0 "/CERRAR" $1
  ${IfNot} ${Errors}
    StrCpy $CerrarSinPreguntar 1
  ${EndIf}
FunctionEnd

; Uninstalling is what the user (or the administrator) asked for: a silent
; uninstall closes the running program.
Function un.onInit
  StrCpy $CerrarSinPreguntar 1
FunctionEnd

; The settings under HKEY_CURRENT_USER\Software\Quelvaren stay: a later
; install finds the user's password and level as they were.
Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Call un.CerrarPrograma
  Delete "$SMPROGRAMS\${NOMBRE}.lnk"
  DeleteRegValue HKCU "${CLAVE_ARRANQUE}" "${NOMBRE}"
  DeleteRegValue HKLM "${CLAVE_ARRANQUE}" "${NOMBRE}"
  !insertmacro BorrarArchivos
  Delete "$INSTDIR\Desinstalar.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${CLAVE_DESINSTALAR}"
  ; The machine's key goes too, unless it holds an administrator's preset.
  DeleteRegValue HKLM "${CLAVE_PROGRAMA}" "${VALOR_CERRAR}"
  DeleteRegKey /ifempty HKLM "${CLAVE_PROGRAMA}"
SectionEnd
