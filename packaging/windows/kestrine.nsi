; Kestrine's Windows installer, for NSIS 3 (makensis). CMake passes:
;   VERSION  the project's version, e.g. 0.1.0
;   EXE      the stripped Kestrine.exe to install
;   OUTFILE  the installer to write, e.g. Kestrine-Setup-0.1.0.exe
; Optional: ICON, an .ico for the installer and the uninstaller.
; "setup.exe /S" installs silently; "uninstall.exe /S" removes it silently.

!ifdef VERSION & EXE & OUTFILE
!else
  !error "makensis needs -DVERSION=... -DEXE=... -DOUTFILE=..."
!endif

Unicode true
; The program is 64-bit only, and so is the installer: it writes the registry's
; 64-bit view and installs into the 64-bit Program Files folder.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrine"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "VantorTimeSync"

Name "Kestrine"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Kestrine"
; Program Files, the all-users Start menu and HKEY_LOCAL_MACHINE all need it.
RequestExecutionLevel admin
BrandingText "Kestrine ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Kestrine"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Kestrine Setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "The Kestrine developers"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Kestrine.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; With UAC switched off an ordinary account is not elevated by the manifest:
; stop before writing half an installation.
!macro RequireAdmin
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP|MB_OK "Kestrine must be installed and removed by an administrator." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

Function .onInit
  !insertmacro RequireAdmin
  SetRegView 64
  SetShellVarContext all
  ; An update goes where the earlier version is, unless /D= names a folder.
  ${If} $INSTDIR == "$PROGRAMFILES64\Kestrine"
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
      StrCpy $INSTDIR $0
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Kestrine"
  SetOutPath "$INSTDIR"
  File "/oname=Kestrine.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Kestrine.lnk" "$INSTDIR\Kestrine.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kestrine"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Kestrine developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kestrine.exe,0"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; Kilobytes, for the size column of Add/Remove Programs.
  SectionGetSize 0 $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  !insertmacro RequireAdmin
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\Kestrine.lnk"
  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"

  ; A run with the right to write the program's folder (as administrator) kept
  ; its settings beside the program. They are the user's: move them to the
  ; user's folder, where the program looks when its folder is not writable,
  ; unless the user already has a file there. %APPDATA%\Kestrine stays.
  SetShellVarContext current
  ${If} ${FileExists} "$INSTDIR\settings.ini"
  ${AndIfNot} ${FileExists} "$APPDATA\Kestrine\settings.ini"
    CreateDirectory "$APPDATA\Kestrine"
    CopyFiles /SILENT "$INSTDIR\settings.ini" "$APPDATA\Kestrine"
  ${EndIf}
  SetShellVarContext all
  Delete "$INSTDIR\settings.ini"

  Delete "$INSTDIR\Kestrine.exe"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; Last, so that a test can wait for it: the folder goes once it is empty.
  RMDir "$INSTDIR"
SectionEnd
