; SPDX-License-Identifier: GPL-3.0-or-later
; The Windows installer of Velbor, made by scripts/build-windows.sh with
; Debian's makensis from a clean staging folder:
;   makensis -DVERSION=0.1 -DSTAGING=<folder> -DFILES=<list> -DOUTFILE=<exe> velbor.nsi
; 64-bit (Debian's Wine runs 64-bit programs only). Installs for every user
; into Program Files; silently with  Velbor-setup.exe /S /D=C:\Cartella
; The uninstaller removes exactly the files it installed: the users' own
; files (in %APPDATA%\Velbor and in the data folders) stay.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "x64.nsh"

Name "Velbor ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Velbor"
BrandingText "Velbor ${VERSION}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velbor"

!define MUI_ICON "${STAGING}\velbor.ico"
!define MUI_UNICON "${STAGING}\velbor.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\velbor.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Avvia Velbor"
!insertmacro MUI_PAGE_LICENSE "${STAGING}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Italian"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_ITALIAN} "ProductName" "Velbor"
VIAddVersionKey /LANG=${LANG_ITALIAN} "FileDescription" "Installazione di Velbor"
VIAddVersionKey /LANG=${LANG_ITALIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "LegalCopyright" "GPL-3.0-or-later"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Velbor"
  SetOutPath "$INSTDIR"
  File /r "${STAGING}\*.*"
  ; Its presence tells the program it is installed: it then keeps each
  ; user's files in %APPDATA%\Velbor, never here.
  WriteUninstaller "$INSTDIR\Disinstalla.exe"
  CreateDirectory "$SMPROGRAMS\Velbor"
  CreateShortcut "$SMPROGRAMS\Velbor\Velbor.lnk" "$INSTDIR\velbor.exe" "" "$INSTDIR\velbor.ico" 0
  CreateShortcut "$SMPROGRAMS\Velbor\Disinstalla Velbor.lnk" "$INSTDIR\Disinstalla.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Velbor"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Velbor"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velbor.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Disinstalla.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Disinstalla.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; The installed files one by one (the list the build made from the
  ; staging folder), then the folders only when left empty.
  !include "${FILES}"
  Delete "$INSTDIR\Disinstalla.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Velbor\Velbor.lnk"
  Delete "$SMPROGRAMS\Velbor\Disinstalla Velbor.lnk"
  RMDir "$SMPROGRAMS\Velbor"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
