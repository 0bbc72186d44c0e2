; The Quvara installer (NSIS 3, 32-bit). scripts/release.sh builds it:
;   makensis -DVERSION=2.3.0 -DROOT=<project> -DSTAGE=<staged files> -DSIDE=<side picture>
;            -DOUTFILE=<setup.exe> [-DSIGN=<signing command> -DPLUGINS=<signed plug-ins>]
;            release/quvara.nsi
;
; Installs Quvara.exe, the test and sample labels and the guide into the program files folder
; (or where an earlier install is), adds Start-menu entries and an uninstaller; its last
; page offers to start Quvara.exe without a file, so the user picks the printer (the
; installer runs as administrator, so the dialog's OK can write the machine-wide
; settings). Silent (/S), it starts nothing; /PRINTER=<printer> writes the values the
; dialog's OK writes, for rolling out to many packing stations, and /NOTIFY the station
; option that shows why a label did not print. The uninstaller removes what the installer
; put in place, and the saved settings and the file types while they belong to this copy.
;
; /PRINTER="<printer>" (or "/PRINTER=<printer>", as tools that quote each argument write
; it) is read to the closing quote; unquoted, up to the next " /" (blank, slash: the next
; switch), so a queue name or an address may hold a slash. The printer is a queue name, or
; when it begins with tcp: (any case) a printer address, tcp://HOST[:PORT][/] as Quvara.exe
; reads it (printer-option.nsh); an address it cannot read exits with 2 before anything is
; installed or written. The value is saved as given.
;
; Exit codes, for deployment tools: 0 done; 32 a file of Quvara's is in use (Quvara.exe:
; nothing was replaced); 740 not run as an administrator; 1602 cancelled by the user; 1638
; Quvara is installed from its MSI package; 2 any other failure.

Unicode true
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "MUI2.nsh"

!define COMPANY "Pellander Labelling Ltd"
!define SETTINGS_KEY "Software\Pellander\Quvara"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quvara"
; Quvara's events in the Application log, read with the messages in Quvara.exe.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Quvara"
!define CLASSES "Software\Classes"
!define MIME_KEY "${CLASSES}\MIME\Database\Content Type\application/x-"
; The MSI package's upgrade code: the same product, installed by Windows Installer.
!define MSI_UPGRADE_CODE "{6865186E-1475-4E70-AEEE-884C37143E77}"
; The shell's FTA_OpenIsSafe and SHCNE_ASSOCCHANGED, as the program itself writes them.
!define OPEN_IS_SAFE 00000100
!define SHCNE_ASSOCCHANGED 0x08000000
; The shell link's SLDF_RUNAS_USER flag, bit 13 of the LinkFlags at offset 0x14: the
; shortcut starts its program as administrator.
!define LINK_FLAGS_BYTE_2 0x15
!define RUNAS_USER_BIT 0x20
Var Copying

!define EXIT_IN_USE 32          ; ERROR_SHARING_VIOLATION
!define EXIT_NOT_ADMIN 740      ; ERROR_ELEVATION_REQUIRED
!define EXIT_CANCELLED 1602     ; ERROR_INSTALL_USEREXIT
!define EXIT_MSI_INSTALLED 1638 ; ERROR_PRODUCT_VERSION: another installation of the product

Name "Quvara ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quvara"
; An upgrade goes where the last install went, so no second copy is left behind.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; A file that cannot be written stops the install: skipped silently, an old Quvara.exe
; would stay under the new version.
AllowSkipFiles off
ShowInstDetails hide
ShowUninstDetails hide
ManifestDPIAware true
BrandingText "${COMPANY}"

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
; packed when SIGN is defined, and the plug-ins come from PLUGINS, signed.
!ifdef SIGN
  !uninstfinalize `${SIGN} "%1"` = 0
!endif
!ifdef PLUGINS
  !addplugindir /x86-unicode "${PLUGINS}"
!endif

!define MUI_ICON "${ROOT}/res/app.ico"
!define MUI_UNICON "${ROOT}/res/app.ico"
; res/installer-side.bmp, with the release's file time (scripts/release.sh).
!define MUI_WELCOMEFINISHPAGE_BITMAP "${SIDE}"
!define MUI_ABORTWARNING
!define MUI_CUSTOMFUNCTION_ABORT OnCancel
!define MUI_CUSTOMFUNCTION_UNABORT un.OnCancel
!insertmacro MUI_PAGE_WELCOME
!define MUI_FINISHPAGE_RUN "$INSTDIR\Quvara.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Set up Quvara now"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!include "printer-option.nsh"

; Without administrator rights (UAC off, or started from a standard user's service) the
; writes below would fail half-way: refuse before anything is changed. A plug-in that did
; not load (app control blocks unsigned code) answers nothing: that is no reason to tell an
; administrator they are none.
Function .onInit
  StrCpy $0 ""
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "User"
  ${OrIf} $0 == "Guest"
  ${OrIf} $0 == "Power"
    MessageBox MB_OK|MB_ICONSTOP "Quvara setup must be run as an administrator." /SD IDOK
    SetErrorLevel ${EXIT_NOT_ADMIN}
    Quit
  ${ElseIf} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Quvara setup could not load one of its own parts, so it \
      cannot go on. If app control (Smart App Control, App Control for Business) is on, use \
      a signed release of Quvara." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  ; Both kinds install into the same folder, and each one's uninstall would delete the
  ; other's files: the MSI's own installation is left to Windows Installer.
  System::Call 'msi::MsiEnumRelatedProductsW(w "${MSI_UPGRADE_CODE}", i 0, i 0, w .r1) i .r0'
  ${If} $0 == 0
    MessageBox MB_OK|MB_ICONSTOP "Quvara is already installed on this computer from its MSI \
      package. Use the MSI package for this version too, or remove that Quvara first \
      (Settings, Apps, Quvara)." /SD IDOK
    SetErrorLevel ${EXIT_MSI_INSTALLED}
    Quit
  ${EndIf}
  ; With an address Quvara.exe cannot read every label would fail: refuse it, with nothing
  ; written yet.
  ${GetParameters} $R0
  Call PrinterOption
  ${IfNot} ${Errors}
    Call CheckPrinter
    ${If} ${Errors}
      MessageBox MB_OK|MB_ICONSTOP "/PRINTER=$R0 is not a printer address Quvara can use: \
        tcp://HOST or tcp://HOST:PORT, HOST a name, an IPv4 address or an IPv6 address in \
        brackets, PORT 1 to 65535." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

; A file that could not be written (AllowSkipFiles off) ends the install here: a program
; holds it, as in the in-use check.
Function .onInstFailed
  ${If} $Copying == 1
    SetErrorLevel ${EXIT_IN_USE}
  ${EndIf}
FunctionEnd

Function OnCancel
  SetErrorLevel ${EXIT_CANCELLED}
FunctionEnd

Function un.OnCancel
  SetErrorLevel ${EXIT_CANCELLED}
FunctionEnd

; A Quvara.exe that is running or held open cannot be replaced; stop before anything is,
; so that an old program is never left registered under the new version.
Function CheckProgramNotInUse
  retry:
  ${If} ${FileExists} "$INSTDIR\Quvara.exe"
    ClearErrors
    FileOpen $0 "$INSTDIR\Quvara.exe" a
    ${If} ${Errors}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Quvara.exe is in use. Close the Quvara \
        setup dialog (and let labels being printed finish), then press Retry." \
        /SD IDCANCEL IDRETRY retry
      SetErrorLevel ${EXIT_IN_USE}
      Abort
    ${EndIf}
    FileClose $0
  ${EndIf}
FunctionEnd

Section "Quvara"
  SetShellVarContext all
  Call CheckProgramNotInUse
  StrCpy $Copying 1
  SetOutPath "$INSTDIR"
  File "${STAGE}/Quvara.exe"
  File "${STAGE}/Quvara guide.html"
  File "${STAGE}/setup-dialog.png"
  File "${STAGE}/notice.png"
  File "${STAGE}/LICENSE.txt"
  File "${STAGE}/THIRD-PARTY-NOTICES.txt"
  File "${STAGE}/test-label.zpl"
  File "${STAGE}/test-label.epl"
  SetOutPath "$INSTDIR\Samples"
  File "${STAGE}/Samples/shipping-label.zpl"
  File "${STAGE}/Samples/shipping-label.epl"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  StrCpy $Copying 0

  CreateDirectory "$SMPROGRAMS\Quvara"
  CreateShortCut "$SMPROGRAMS\Quvara\Quvara setup.lnk" "$INSTDIR\Quvara.exe"
  ; Started as administrator, so that the dialog's OK can save.
  FileOpen $0 "$SMPROGRAMS\Quvara\Quvara setup.lnk" a
  FileSeek $0 ${LINK_FLAGS_BYTE_2} SET
  FileReadByte $0 $1
  IntOp $1 $1 | ${RUNAS_USER_BIT}
  FileSeek $0 ${LINK_FLAGS_BYTE_2} SET
  FileWriteByte $0 $1
  FileClose $0
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
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\Quvara.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7 ; error, warning, information

  ${GetParameters} $0
  StrCpy $R0 $0
  Call PrinterOption
  ${IfNot} ${Errors}
    StrCpy $1 $R0
    Call WriteConfiguration
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/NOTIFY" $1
  ${IfNot} ${Errors}
    WriteRegDWORD HKLM "${SETTINGS_KEY}" "Notify" 1
  ${EndIf}
SectionEnd

; The values the dialog's OK writes, in its order, for printer $1.
Function WriteConfiguration
  WriteRegStr HKLM "${SETTINGS_KEY}" "Printer" "$1"
  WriteRegStr HKLM "${CLASSES}\.EPL" "" "EPLFile"
  WriteRegStr HKLM "${CLASSES}\.EPL2" "" "EPLFile"
  WriteRegStr HKLM "${CLASSES}\EPLFile" "" "EPL Label"
  WriteRegBin HKLM "${CLASSES}\EPLFile" "EditFlags" ${OPEN_IS_SAFE}
  WriteRegStr HKLM "${CLASSES}\EPLFile\Shell" "" "Open"
  WriteRegStr HKLM "${CLASSES}\.ZPL" "" "ZPLFile"
  WriteRegStr HKLM "${CLASSES}\ZPLFile" "" "ZPL Label"
  WriteRegBin HKLM "${CLASSES}\ZPLFile" "EditFlags" ${OPEN_IS_SAFE}
  WriteRegStr HKLM "${CLASSES}\ZPLFile\Shell" "" "Open"
  WriteRegStr HKLM "${CLASSES}\EPLFile\Shell\Open\command" "" '"$INSTDIR\Quvara.exe" "%1"'
  WriteRegStr HKLM "${MIME_KEY}epl" "Extension" ".epl"
  WriteRegStr HKLM "${MIME_KEY}epl2" "Extension" ".epl2"
  WriteRegStr HKLM "${CLASSES}\ZPLFile\Shell\Open\command" "" '"$INSTDIR\Quvara.exe" "%1"'
  WriteRegStr HKLM "${MIME_KEY}zpl" "Extension" ".zpl"
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
FunctionEnd

; Short form of PATH in VAR, without a trailing backslash; empty when PATH does not exist.
; Paths compared this way match whatever their case and spelling ("_?=C:\PROGRA~2\Quvara\").
!macro Normalise VAR PATH
  ClearErrors
  GetFullPathName /SHORT ${VAR} "${PATH}"
  ${If} ${Errors}
    StrCpy ${VAR} ""
  ${EndIf}
  StrCpy $9 ${VAR} "" -1
  ${If} $9 == "\"
    StrCpy ${VAR} ${VAR} -1
  ${EndIf}
!macroend

; Removes file type TYPE while its open command starts this Quvara.exe ($R3, normalised);
; sets $2 to 1 when it did. A type another program has taken over since stays, with its
; extensions.
!macro RemoveFileType TYPE
  StrCpy $2 0
  ReadRegStr $0 HKLM "${CLASSES}\${TYPE}\Shell\Open\command" ""
  StrCpy $1 $0 "" -6
  ${If} $1 == '" "%1"'
    StrCpy $0 $0 -6 1
    !insertmacro Normalise $0 $0
    ${If} $0 != ""
    ${AndIf} $0 == $R3
      DeleteRegKey HKLM "${CLASSES}\${TYPE}"
      StrCpy $2 1
    ${EndIf}
  ${EndIf}
!macroend

; Takes extension EXT's default value while it names TYPE, and label type MIME's
; extension while it is EXT; a key goes only when nothing else is left in it, so what
; other programs keep there (their own types, Open with lists) stays.
!macro RemoveExtension TYPE EXT MIME
  ReadRegStr $0 HKLM "${CLASSES}\${EXT}" ""
  ${If} $0 == "${TYPE}"
    DeleteRegValue HKLM "${CLASSES}\${EXT}" ""
    DeleteRegKey /ifempty HKLM "${CLASSES}\${EXT}"
  ${EndIf}
  ReadRegStr $0 HKLM "${MIME_KEY}${MIME}" "Extension"
  ${If} $0 == ".${MIME}"
    DeleteRegValue HKLM "${MIME_KEY}${MIME}" "Extension"
    DeleteRegKey /ifempty HKLM "${MIME_KEY}${MIME}"
  ${EndIf}
!macroend

Section "Uninstall"
  SetShellVarContext all
  ; Taken while the files are still there: a path that does not exist has no short form.
  !insertmacro Normalise $R0 "$INSTDIR"
  !insertmacro Normalise $R3 "$INSTDIR\Quvara.exe"
  ; The settings and the uninstall entry belong to the copy recorded last: an older
  ; copy's uninstaller leaves a newer install's alone.
  ReadRegStr $3 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  !insertmacro Normalise $R1 $3
  StrCpy $R2 0
  ${If} $R1 != ""
  ${AndIf} $R1 == $R0
    StrCpy $R2 1
  ${EndIf}

  !insertmacro RemoveFileType "EPLFile"
  ${If} $2 == 1
    !insertmacro RemoveExtension "EPLFile" ".EPL" "epl"
    !insertmacro RemoveExtension "EPLFile" ".EPL2" "epl2"
  ${EndIf}
  !insertmacro RemoveFileType "ZPLFile"
  ${If} $2 == 1
    !insertmacro RemoveExtension "ZPLFile" ".ZPL" "zpl"
  ${EndIf}
  ${If} $R2 == 1
    DeleteRegKey HKLM "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKLM "Software\Pellander"
  ${EndIf}

  Delete "$INSTDIR\Quvara.exe"
  Delete "$INSTDIR\Quvara guide.html"
  Delete "$INSTDIR\setup-dialog.png"
  Delete "$INSTDIR\notice.png"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\test-label.zpl"
  Delete "$INSTDIR\test-label.epl"
  Delete "$INSTDIR\Samples\shipping-label.zpl"
  Delete "$INSTDIR\Samples\shipping-label.epl"
  RMDir "$INSTDIR\Samples"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Quvara\Quvara setup.lnk"
  Delete "$SMPROGRAMS\Quvara\Quvara guide.lnk"
  RMDir "$SMPROGRAMS\Quvara"

  ${If} $R2 == 1
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
  ${EndIf}
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
SectionEnd
