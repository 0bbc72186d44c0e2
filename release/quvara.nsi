; The Quvara installer (NSIS 3, 32-bit). scripts/release.sh builds it:
;   makensis -DVERSION=2.3.0 -DROOT=<project> -DOUTFILE=<setup.exe> release/quvara.nsi
;
; Installs Quvara.exe, the sample labels and the guide into the program files folder,
; adds Start-menu entries and an uninstaller, and ends by starting Quvara.exe without a
; file, so the user picks the printer (the installer runs as administrator, so the
; dialog's OK can write the machine-wide settings). Silent (/S), it starts nothing;
; /PRINTER=<name> writes the values the dialog's OK writes, for rolling out to many
; packing stations. The uninstaller removes what the installer put in place, the saved
; printer, and the file types and MIME entries that point at this Quvara.exe.

Unicode true
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define COMPANY "Pellander Labelling Ltd"
!define SETTINGS_KEY "Software\Pellander\Quvara"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quvara"
!define MIME_KEY "MIME\Database\Content Type\application/x-"
; The shell's FTA_OpenIsSafe and SHCNE_ASSOCCHANGED, as the program itself writes them.
!define OPEN_IS_SAFE 00000100
!define SHCNE_ASSOCCHANGED 0x08000000

Name "Quvara ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quvara"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show

; English (United Kingdom), as the program's own version resource.
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=2057 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=2057 "ProductName" "Quvara Label Printing Utility"
VIAddVersionKey /LANG=2057 "FileDescription" "Quvara setup"
VIAddVersionKey /LANG=2057 "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=2057 "ProductVersion" "${VERSION}.0"
VIAddVersionKey /LANG=2057 "LegalCopyright" "Copyright (C) 2026 ${COMPANY}"

; Files come from STAGE (scripts/release.sh); the uninstaller is signed before it is
; packed when SIGN is defined.
!ifdef SIGN
  !uninstfinalize `${SIGN} "%1"` = 0
!endif

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Quvara"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}/Quvara.exe"
  File "${STAGE}/Quvara guide.html"
  File "${STAGE}/setup-dialog.png"
  File "${STAGE}/LICENSE.txt"
  File "${STAGE}/THIRD-PARTY-NOTICES.txt"
  SetOutPath "$INSTDIR\Samples"
  File "${STAGE}/Samples/shipping-label.zpl"
  File "${STAGE}/Samples/shipping-label.epl"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Quvara"
  CreateShortCut "$SMPROGRAMS\Quvara\Quvara setup.lnk" "$INSTDIR\Quvara.exe"
  CreateShortCut "$SMPROGRAMS\Quvara\Quvara guide.lnk" "$INSTDIR\Quvara guide.html"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quvara ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quvara.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PRINTER=" $1
  ${IfNot} ${Errors}
    Call WriteConfiguration
  ${EndIf}
SectionEnd

; The values the dialog's OK writes, in its order, for printer $1.
Function WriteConfiguration
  WriteRegStr HKLM "${SETTINGS_KEY}" "Printer" "$1"
  WriteRegStr HKCR ".EPL" "" "EPLFile"
  WriteRegStr HKCR ".EPL2" "" "EPLFile"
  WriteRegStr HKCR "EPLFile" "" "EPL Label"
  WriteRegBin HKCR "EPLFile" "EditFlags" ${OPEN_IS_SAFE}
  WriteRegStr HKCR "EPLFile\Shell" "" "Open"
  WriteRegStr HKCR ".ZPL" "" "ZPLFile"
  WriteRegStr HKCR "ZPLFile" "" "ZPL Label"
  WriteRegBin HKCR "ZPLFile" "EditFlags" ${OPEN_IS_SAFE}
  WriteRegStr HKCR "ZPLFile\Shell" "" "Open"
  WriteRegStr HKCR "EPLFile\Shell\Open\command" "" '"$INSTDIR\Quvara.exe" "%1"'
  WriteRegStr HKCR "${MIME_KEY}epl" "Extension" ".epl"
  WriteRegStr HKCR "${MIME_KEY}epl2" "Extension" ".epl2"
  WriteRegStr HKCR "ZPLFile\Shell\Open\command" "" '"$INSTDIR\Quvara.exe" "%1"'
  WriteRegStr HKCR "${MIME_KEY}zpl" "Extension" ".zpl"
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
FunctionEnd

Function .onInstSuccess
  ${IfNot} ${Silent}
    Exec '"$INSTDIR\Quvara.exe"'
  ${EndIf}
FunctionEnd

; Removes file type TYPE while its open command still starts this Quvara.exe; sets $2 to
; 1 when it did. A type another program has taken over since stays, with its extensions.
!macro RemoveFileType TYPE
  StrCpy $2 0
  ReadRegStr $0 HKCR "${TYPE}\Shell\Open\command" ""
  ${If} $0 == '"$INSTDIR\Quvara.exe" "%1"'
    DeleteRegKey HKCR "${TYPE}"
    StrCpy $2 1
  ${EndIf}
!macroend

; Removes extension EXT while it leads to TYPE, and the MIME entry of label type MIME while
; it names that extension.
!macro RemoveExtension TYPE EXT MIME
  ReadRegStr $0 HKCR "${EXT}" ""
  ${If} $0 == "${TYPE}"
    DeleteRegKey HKCR "${EXT}"
  ${EndIf}
  ReadRegStr $0 HKCR "${MIME_KEY}${MIME}" "Extension"
  ${If} $0 == ".${MIME}"
    DeleteRegKey HKCR "${MIME_KEY}${MIME}"
  ${EndIf}
!macroend

Section "Uninstall"
  SetShellVarContext all
  Delete "$INSTDIR\Quvara.exe"
  Delete "$INSTDIR\Quvara guide.html"
  Delete "$INSTDIR\setup-dialog.png"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\Samples\shipping-label.zpl"
  Delete "$INSTDIR\Samples\shipping-label.epl"
  RMDir "$INSTDIR\Samples"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Quvara\Quvara setup.lnk"
  Delete "$SMPROGRAMS\Quvara\Quvara guide.lnk"
  RMDir "$SMPROGRAMS\Quvara"

  DeleteRegKey HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Pellander"
  !insertmacro RemoveFileType "EPLFile"
  ${If} $2 == 1
    !insertmacro RemoveExtension "EPLFile" ".EPL" "epl"
    !insertmacro RemoveExtension "EPLFile" ".EPL2" "epl2"
  ${EndIf}
  !insertmacro RemoveFileType "ZPLFile"
  ${If} $2 == 1
    !insertmacro RemoveExtension "ZPLFile" ".ZPL" "zpl"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
SectionEnd
