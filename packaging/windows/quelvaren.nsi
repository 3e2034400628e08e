; The Windows installer (NSIS 3, 64-bit): the program's folder under Program
; Files (the Group Policy templates in it), a Start menu entry, an optional
; start at logon for the user who installs it or for every user of the
; machine, and an uninstaller. The uninstaller leaves the user's settings
; (HKEY_CURRENT_USER\Software\Quelvaren) where they are.
;
; scripts/windows builds it: makensis -DVERSION=1.2.0 -DARCHIVOS=<archivos.nsh>
;   -DICONO=<quelvaren.ico> -DSALIDA=<installer.exe> quelvaren.nsi
; archivos.nsh names every file of the runnable folder, in two macros:
; InstalarArchivos and BorrarArchivos.
;
; A silent install (/S) leaves the start at logon out unless /ARRANQUE (the
; user who installs) or /ARRANQUE_TODOS (every user) is given.

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

Name "${NOMBRE} ${VERSION}"
OutFile "${SALIDA}"
InstallDir "$PROGRAMFILES64\${NOMBRE}"
InstallDirRegKey HKLM "${CLAVE_DESINSTALAR}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "${NOMBRE} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=3082 "ProductName" "${NOMBRE}"
VIAddVersionKey /LANG=3082 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=3082 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=3082 "FileDescription" "Instalador de ${NOMBRE}"
VIAddVersionKey /LANG=3082 "LegalCopyright" "${NOMBRE}"

!define MUI_ICON "${ICONO}"
!define MUI_UNICON "${ICONO}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Quelvaren.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Spanish"

Section "Quelvaren" SecPrograma
  SectionIn RO
  SetRegView 64
  SetShellVarContext all
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
FunctionEnd

; The settings under HKEY_CURRENT_USER\Software\Quelvaren stay: a later
; install finds the user's password and level as they were.
Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$SMPROGRAMS\${NOMBRE}.lnk"
  DeleteRegValue HKCU "${CLAVE_ARRANQUE}" "${NOMBRE}"
  DeleteRegValue HKLM "${CLAVE_ARRANQUE}" "${NOMBRE}"
  !insertmacro BorrarArchivos
  Delete "$INSTDIR\Desinstalar.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${CLAVE_DESINSTALAR}"
SectionEnd
