; SPDX-License-Identifier: MIT
; Kestrine's Windows installer, for NSIS 3 (makensis). CMake passes:
;   VERSION  the project's version, e.g. 0.1.0
;   EXE      the stripped Kestrine.exe to install
;   SERVICE  the stripped KestrineClockService.exe to install beside it
;   OUTFILE  the installer to write, e.g. Kestrine-Setup-0.1.0.exe
;   LICENSE, THIRD_PARTY  LICENSE.txt and THIRD-PARTY-LICENSES.txt, with CRLF line ends
;   COMPANY, COPYRIGHT  as the programs' version resources say them
; Optional: ICON, an .ico for the installer and the uninstaller.
; "setup.exe /S" installs silently; "uninstall.exe /S" removes it silently.
; An administrator's presets for each user's first start:
;   /SERVER=NAME /PROTOCOL=SNTP|Time /INTERVAL=MINUTES /STARTUP=0|1
; Exit codes: 0 done, 87 a switch setup does not know or a value it cannot
; use (nothing changed), 740 not an administrator, 1603 a file could not be
; replaced or removed or the clock service could not be set up (the message
; box says which; when silent, standard error does where there is one).

!ifdef VERSION & EXE & SERVICE & OUTFILE & LICENSE & THIRD_PARTY & COMPANY & COPYRIGHT
!else
  !error "makensis needs -DVERSION=... -DEXE=... -DSERVICE=... -DOUTFILE=... -DLICENSE=... -DTHIRD_PARTY=... -DCOMPANY=... -DCOPYRIGHT=..."
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
; Source/Platform/Windows/ClockService.h and Source/Form/ControlTable.h (FormSpec).
!define SERVICE_NAME "KestrineClock"
!define SERVICE_DISPLAY "Kestrine clock service"
!define SERVICE_ACCOUNT "NT AUTHORITY\LocalService"
!define SERVICE_KEY "SYSTEM\CurrentControlSet\Services\${SERVICE_NAME}"
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\${SERVICE_NAME}"
; Whom the service sets the clock for (the README): written on a fresh
; install, kept as an administrator changed it on an update.
!define PARAMETERS_KEY "${SERVICE_KEY}\Parameters"
!define POLICY_VALUE "ClockPolicy"
!define POLICY_DEFAULT "console"
; The installation's folder: SYSTEM and Administrators in full, Users to read
; and run, nothing inherited, owned by Administrators. A folder outside
; Program Files would otherwise keep what its parent gives (on C:\,
; Authenticated Users may modify), and a user could replace the service's
; executable or put a DLL beside it.
!define FOLDER_SDDL "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
!define WINDOW_CLASS "TForm1"
!define ERROR_INSTALL_FAILURE 1603
!define ERROR_INVALID_PARAMETER 87
!define URL "https://kestrine.invalid/"
; The first line of a settings.ini that setup wrote from its switches: the
; uninstaller removes that file, and moves any other to the user's folder.
!define PRESETS_MARK "; Kestrine Setup's presets: each user's first start takes these values."
; The program's interval is whole minutes times 60000 ms in 32 bits: 71582
; minutes is the longest that does not wrap around.
!define MAX_INTERVAL 71582
!define SWITCHES "Switches: /S (silent), /SERVER=NAME, /PROTOCOL=SNTP|Time (with /SERVER=), /INTERVAL=MINUTES (1 to ${MAX_INTERVAL}), /STARTUP=0|1, /D=FOLDER (last)."
; How long a copy of the program may take to save its settings and end.
!define CLOSE_WAIT_MS 20000
; Polls of 100 ms: the service stopping, or starting once started (30 s).
!define SERVICE_STEPS 300
; How long the service manager may refuse to start it while busy.
!define SERVICE_BUSY_MS 120000

Name "Kestrine"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Kestrine"
; Program Files, the all-users Start menu, HKEY_LOCAL_MACHINE and the service
; manager all need it.
RequestExecutionLevel admin
BrandingText "Kestrine ${VERSION}"
; A file in use is an error of its own (below), never silently skipped.
SetOverwrite try

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Kestrine"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Kestrine Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${COPYRIGHT}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"
!include "FileFunc.nsh"
!include "TextFunc.nsh"
!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartAsUser
; The MIT License asks nothing of someone who installs: the page informs, and
; its button goes on.
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "Kestrine is free software under the MIT License above. The run-time libraries of GCC and mingw-w64 inside it have their own licences, in THIRD-PARTY-LICENSES.txt beside the program."
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
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

; The helpers below use $0 to $9 freely; callers keep nothing there across a call.
Var Manager ; the service manager's handle
Var Service ; the clock service's handle, 0 when it is not installed
Var ServiceWasRunning ; before an update stopped it

; The functions both the installer and the uninstaller need ("un." for the latter).
!macro SharedFunctions UN

; Report MESSAGE in $0: in a box, and when silent on standard error.
Function ${UN}Report
  DetailPrint "$0"
  MessageBox MB_ICONSTOP|MB_OK "$0" /SD IDOK
  ${If} ${Silent}
    ; A silent run shows no box: standard error, where the caller has one.
    System::Call 'kernel32::GetStdHandle(i -12) p .r1'
    ${If} $1 P<> 0
    ${AndIf} $1 P<> -1
      StrCpy $0 "Kestrine Setup: $0$\r$\n"
      StrLen $2 $0
      System::Call 'kernel32::WriteFile(p r1, m r0, i r2, *i .r3, p 0)'
    ${EndIf}
  ${EndIf}
FunctionEnd

; Fail with MESSAGE in $0: says why and ends with ERROR_INSTALL_FAILURE.
Function ${UN}Fail
  Call ${UN}Report
  SetErrorLevel ${ERROR_INSTALL_FAILURE}
  Abort
FunctionEnd

; ErrorText: $1 becomes the system's text for the error code in $1, with the code.
Function ${UN}ErrorText
  StrCpy $2 ""
  System::Call 'kernel32::FormatMessageW(i 0x1200, p 0, i r1, i 0, w .r2, i ${NSIS_MAX_STRLEN}, p 0) i'
  ; The text ends in a line break.
  ${Do}
    StrCpy $3 $2 1 -1
    ${If} $3 != "$\r"
    ${AndIf} $3 != "$\n"
    ${AndIf} $3 != " "
      ${Break}
    ${EndIf}
    StrCpy $2 $2 -1
  ${Loop}
  StrCpy $1 "$2 (error $1)"
FunctionEnd

; Asks each running copy of this folder's Kestrine.exe to close, as the user
; would (so that it saves its settings), and waits a bounded time for it to
; end. Windows of the same class from other programs, or from copies in other
; folders, are left alone.
Function ${UN}CloseRunningCopies
  StrLen $2 "$INSTDIR\"
  StrCpy $0 0
  StrCpy $1 0
  ; Collected first: a window that goes during the search would end it.
  ${Do}
    System::Call 'user32::FindWindowExW(p 0, p r0, w "${WINDOW_CLASS}", p 0) p .r0'
    ${IfThen} $0 P= 0 ${|} ${Break} ${|}
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r3)'
    System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i r3) p .r4' ; PROCESS_QUERY_LIMITED_INFORMATION
    ${If} $4 P<> 0
      StrCpy $5 ""
      System::Call 'kernel32::QueryFullProcessImageNameW(p r4, i 0, w .r5, *i ${NSIS_MAX_STRLEN}) i'
      System::Call 'kernel32::CloseHandle(p r4)'
      StrCpy $5 $5 $2
      ${If} $5 == "$INSTDIR\"
        Push $0
        IntOp $1 $1 + 1
      ${EndIf}
    ${EndIf}
  ${Loop}
  ${DoWhile} $1 > 0
    Pop $0
    IntOp $1 $1 - 1
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r3)'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r3) p .r4' ; SYNCHRONIZE
    ${If} $4 P<> 0
      DetailPrint "Closing Kestrine (process $3)"
      System::Call 'user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0)'
      System::Call 'kernel32::WaitForSingleObject(p r4, i ${CLOSE_WAIT_MS}) i .r5'
      System::Call 'kernel32::CloseHandle(p r4)'
      ; One that does not end keeps its files: replacing or removing them fails, with a message.
      ${IfThen} $5 != 0 ${|} DetailPrint "Kestrine (process $3) did not end" ${|}
    ${EndIf}
  ${Loop}
FunctionEnd

; OpenService with the access in $0: sets $Manager, and $Service (0 when the
; service is not installed).
Function ${UN}OpenService
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 0xF003F) p .r1 ?e' ; SC_MANAGER_ALL_ACCESS
  Pop $2
  StrCpy $Manager $1
  ${If} $Manager P= 0
    StrCpy $1 $2
    Call ${UN}ErrorText
    StrCpy $0 "Setup could not open the service manager: $1"
    Call ${UN}Fail
  ${EndIf}
  System::Call 'advapi32::OpenServiceW(p $Manager, w "${SERVICE_NAME}", i r0) p .r1 ?e'
  Pop $2
  StrCpy $Service $1
  ${If} $Service P= 0
  ${AndIf} $2 != 1060 ; ERROR_SERVICE_DOES_NOT_EXIST
    StrCpy $1 $2
    Call ${UN}ErrorText
    StrCpy $0 'Setup could not open the service "${SERVICE_NAME}": $1'
    Call ${UN}Fail
  ${EndIf}
FunctionEnd

Function ${UN}CloseService
  ${If} $Service P<> 0
    System::Call 'advapi32::CloseServiceHandle(p $Service)'
  ${EndIf}
  ${If} $Manager P<> 0
    System::Call 'advapi32::CloseServiceHandle(p $Manager)'
  ${EndIf}
  StrCpy $Service 0
  StrCpy $Manager 0
FunctionEnd

; ServiceState: $0 becomes the service's state (1 stopped, 4 running) and $1
; the code it ended with.
Function ${UN}ServiceState
  System::Call '*(&i28) p .r2' ; SERVICE_STATUS
  StrCpy $0 0
  StrCpy $1 0
  System::Call 'advapi32::QueryServiceStatus(p $Service, p r2) i'
  System::Call '*$2(i, i .r0, i, i .r1)'
  System::Free $2
FunctionEnd

; Stops the clock service, when it is installed and running, and waits until
; it has stopped, so that its executable can be replaced or removed. $0 is 1
; when it was running. $Service stays open (to query, start, stop, delete),
; or is 0 when there is no service.
Function ${UN}StopService
  StrCpy $0 0x10034 ; DELETE | SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS
  Call ${UN}OpenService
  ${If} $Service P= 0
    StrCpy $0 0
    Return
  ${EndIf}
  Call ${UN}ServiceState
  ${If} $0 == 1
    StrCpy $0 0
    Return
  ${EndIf}
  DetailPrint 'Stopping the service "${SERVICE_NAME}"'
  ; Asked again at each poll: one that is still starting takes no stop yet.
  StrCpy $8 0
  ${Do}
    System::Call '*(&i28) p .r2'
    System::Call 'advapi32::ControlService(p $Service, i 1, p r2) i' ; SERVICE_CONTROL_STOP
    System::Free $2
    Call ${UN}ServiceState
    ${IfThen} $0 == 1 ${|} ${Break} ${|}
    IntOp $8 $8 + 1
    ${IfThen} $8 >= ${SERVICE_STEPS} ${|} ${Break} ${|}
    Sleep 100
  ${Loop}
  ${If} $0 != 1
    StrCpy $0 'The service "${SERVICE_NAME}" did not stop. Stop it with "sc stop ${SERVICE_NAME}" and run setup again.'
    Call ${UN}Fail
  ${EndIf}
  StrCpy $0 1
FunctionEnd

; PointsHere: $0 is 1 when the path at the start of $0 (in quotation marks
; or not) lies in the installation's folder.
Function ${UN}PointsHere
  StrCpy $1 $0 1
  ${IfThen} $1 == '"' ${|} StrCpy $0 $0 "" 1 ${|}
  StrLen $1 "$INSTDIR\"
  StrCpy $0 $0 $1
  ${If} $0 == "$INSTDIR\"
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
FunctionEnd

!macroend
!insertmacro SharedFunctions ""
!insertmacro SharedFunctions "un."

; RemoveOwnRunValue UN ROOT KEY: the start-with-Windows value there goes only
; when it starts this installation's program, not another copy.
!macro RemoveOwnRunValue UN ROOT KEY
  ReadRegStr $0 ${ROOT} "${KEY}" "${RUN_VALUE}"
  ${If} $0 != ""
    Call ${UN}PointsHere
    ${IfThen} $0 == 1 ${|} DeleteRegValue ${ROOT} "${KEY}" "${RUN_VALUE}" ${|}
  ${EndIf}
!macroend

; The administrator's presets, from the switches: empty when not given.
Var PresetServer
Var PresetProtocol ; 0 SNTP, 1 Time
Var PresetInterval ; whole minutes
Var PresetStartup ; 0 or 1

; BadSwitch: the command line in $0 cannot be used; says why and ends with 87
; before anything changes.
Function BadSwitch
  StrCpy $0 "$0$\r$\n${SWITCHES}"
  Call Report
  SetErrorLevel ${ERROR_INVALID_PARAMETER}
  Quit
FunctionEnd

; CheckSwitch: $R2 is one switch without its "/" (or, with $R4 0, the text
; before the first switch); one that setup does not know ends it.
Function CheckSwitch
  ${Do}
    StrCpy $R6 $R2 1 -1
    ${IfThen} $R6 != " " ${|} ${Break} ${|}
    StrCpy $R2 $R2 -1
  ${Loop}
  ${If} $R4 == 0
    ${IfThen} $R2 == "" ${|} Return ${|}
    StrCpy $0 'Setup takes only switches, each starting with "/", not "$R2".'
    Call BadSwitch
  ${EndIf}
  ${IfThen} $R2 == "S" ${|} Return ${|}
  ${IfThen} $R2 == "NCRC" ${|} Return ${|}
  StrCpy $R6 $R2 7
  ${IfThen} $R6 == "SERVER=" ${|} Return ${|}
  StrCpy $R6 $R2 8
  ${IfThen} $R6 == "STARTUP=" ${|} Return ${|}
  StrCpy $R6 $R2 9
  ${IfThen} $R6 == "PROTOCOL=" ${|} Return ${|}
  ${IfThen} $R6 == "INTERVAL=" ${|} Return ${|}
  StrCpy $0 'Setup does not know the switch "/$R2".'
  Call BadSwitch
FunctionEnd

; CheckSwitches: a misspelt switch would otherwise be ignored without a word.
; The command line is cut at each "/" outside quotation marks, as GetOptions
; cuts it; /D= is not in it (NSIS takes it off).
Function CheckSwitches
  ${GetParameters} $R0
  StrCpy $R1 0 ; where in the line
  StrCpy $R2 "" ; the switch so far
  StrCpy $R3 0 ; inside quotation marks
  StrCpy $R4 0 ; a "/" seen
  ${Do}
    StrCpy $R5 $R0 1 $R1
    IntOp $R1 $R1 + 1
    ${IfThen} $R5 == '"' ${|} IntOp $R3 1 - $R3 ${|}
    ${If} $R5 == ""
      Call CheckSwitch
      ${Break}
    ${ElseIf} $R5 == "/"
    ${AndIf} $R3 == 0
      Call CheckSwitch
      StrCpy $R2 ""
      StrCpy $R4 1
    ${Else}
      StrCpy $R2 "$R2$R5"
    ${EndIf}
  ${Loop}
FunctionEnd

; OnlyOf: $1 is the count of the leading characters of $0 that are in $2.
!macro OnlyOf
  System::Call 'msvcrt::wcsspn(w r0, w r2) i .r1'
!macroend

; ReadPresets: the values of the preset switches, each checked, into the
; Preset variables.
Function ReadPresets
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SERVER=" $0
  ${IfNot} ${Errors}
    ; A host name or an address, as the program's address box takes it.
    StrCpy $2 "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_:"
    !insertmacro OnlyOf
    StrLen $3 $0
    ${If} $3 == 0
    ${OrIf} $3 > 253
    ${OrIf} $1 != $3
      StrCpy $0 'Setup cannot use /SERVER=$0: a server is a host name or an address of 1 to 253 letters, digits and ".-_:".'
      Call BadSwitch
    ${EndIf}
    StrCpy $PresetServer $0
    StrCpy $PresetProtocol 0
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/PROTOCOL=" $0
  ${IfNot} ${Errors}
    ${If} $0 == "SNTP"
      StrCpy $1 0
    ${ElseIf} $0 == "Time"
      StrCpy $1 1
    ${Else}
      StrCpy $0 'Setup cannot use /PROTOCOL=$0: the protocol is SNTP or Time.'
      Call BadSwitch
    ${EndIf}
    ; The NIST servers are always asked by SNTP.
    ${If} $PresetServer == ""
      StrCpy $0 "Setup cannot use /PROTOCOL=$0 without /SERVER=: it is the protocol of that server."
      Call BadSwitch
    ${EndIf}
    StrCpy $PresetProtocol $1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/INTERVAL=" $0
  ${IfNot} ${Errors}
    StrCpy $4 $0
    StrCpy $2 "0123456789"
    !insertmacro OnlyOf
    StrLen $3 $0
    ; Without leading zeros, which NSIS would read as octal.
    ${DoWhile} $1 == $3
      StrCpy $5 $0 1
      ${IfThen} $5 != "0" ${|} ${Break} ${|}
      StrCpy $0 $0 "" 1
    ${Loop}
    StrLen $5 $0
    ${If} $1 != $3
    ${OrIf} $5 == 0
    ${OrIf} $5 > 5
    ${OrIf} $0 > ${MAX_INTERVAL}
      StrCpy $0 'Setup cannot use /INTERVAL=$4: the interval is a whole number of minutes from 1 to ${MAX_INTERVAL}.'
      Call BadSwitch
    ${EndIf}
    StrCpy $PresetInterval $0
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/STARTUP=" $0
  ${IfNot} ${Errors}
    ${If} $0 != "0"
    ${AndIf} $0 != "1"
      StrCpy $0 'Setup cannot use /STARTUP=$0: it is 1 (start Kestrine when a user logs on) or 0.'
      Call BadSwitch
    ${EndIf}
    StrCpy $PresetStartup $0
  ${EndIf}
FunctionEnd

Function .onInit
  ; Before the rights: a wrong command line says so to anyone.
  Call CheckSwitches
  Call ReadPresets
  !insertmacro RequireAdmin
  SetRegView 64
  SetShellVarContext all
  StrCpy $ServiceWasRunning 0
  StrCpy $Manager 0
  StrCpy $Service 0
  ; An update goes where the earlier version is, unless /D= names a folder.
  ${If} $INSTDIR == "$PROGRAMFILES64\Kestrine"
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
      StrCpy $INSTDIR $0
    ${EndIf}
  ${EndIf}
FunctionEnd

; The finish page's start: through the shell, which runs the program with the
; logged-on user's own token rather than this installer's elevated one, so
; that it keeps that user's settings and writes that user's Run value.
Function StartAsUser
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\Kestrine.exe"'
FunctionEnd

; IsWine: $0 is 1 under Wine, which lacks some of the service manager's settings.
Function IsWine
  System::Call 'kernel32::GetModuleHandleW(w "ntdll.dll") p .r0'
  System::Call 'kernel32::GetProcAddress(p r0, m "wine_get_version") p .r0'
  ${If} $0 P<> 0
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
FunctionEnd

; ServiceSetting: ChangeServiceConfig2W at level $5 with the structure in $6,
; named $7 in messages; a refusal fails the installation, except Wine's "not
; implemented" (124), which it has for the privileges and the SID type.
Function ServiceSetting
  System::Call 'advapi32::ChangeServiceConfig2W(p $Service, i r5, p r6) i .r0 ?e'
  Pop $1
  System::Free $6
  ${IfThen} $0 != 0 ${|} Return ${|}
  ${If} $1 == 124
    Call IsWine
    ${If} $0 == 1
      DetailPrint "Wine cannot set the service's $7"
      Return
    ${EndIf}
  ${EndIf}
  Call ErrorText
  StrCpy $0 'Setup could not set the $7 of the service "${SERVICE_NAME}": $1'
  Call Fail
FunctionEnd

; Gives the installation's folder its own access list before any file goes
; in, and hands it down to what is already there (an update's files). So the
; folder must be Kestrine's own: new, empty, or an earlier installation.
Function ProtectFolder
  ${DirState} "$INSTDIR" $0
  ${If} $0 == 1
  ${AndIfNot} ${FileExists} "$INSTDIR\Kestrine.exe"
  ${AndIfNot} ${FileExists} "$INSTDIR\KestrineClockService.exe"
    StrCpy $0 "Setup installs Kestrine only into a folder of its own, and $INSTDIR holds other files. Choose an empty folder."
    Call Fail
  ${EndIf}
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${FOLDER_SDDL}", i 1, *p .r2, p 0) i .r0 ?e'
  Pop $1
  ${If} $0 != 0
    System::Call 'advapi32::GetSecurityDescriptorDacl(p r2, *i .r3, *p .r4, *i .r5) i'
    System::Call 'advapi32::GetSecurityDescriptorOwner(p r2, *p .r6, *i .r5) i'
    ; SE_FILE_OBJECT; OWNER, DACL and PROTECTED_DACL_SECURITY_INFORMATION
    System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i 1, i 0x80000005, p r6, p 0, p r4, p 0) i .r1'
    System::Call 'kernel32::LocalFree(p r2) p'
  ${EndIf}
  ${If} $1 != 0
    Call ErrorText
    StrCpy $0 "Setup could not restrict who may change $INSTDIR: $1"
    Call Fail
  ${EndIf}
FunctionEnd

; The clock policy's value, unless an administrator has set one already.
Function WritePolicy
  ClearErrors
  ReadRegStr $0 HKLM "${PARAMETERS_KEY}" "${POLICY_VALUE}"
  ${If} ${Errors}
    ClearErrors
    WriteRegStr HKLM "${PARAMETERS_KEY}" "${POLICY_VALUE}" "${POLICY_DEFAULT}"
    ${If} ${Errors}
      StrCpy $0 'Setup could not write the value ${POLICY_VALUE} under HKEY_LOCAL_MACHINE\${PARAMETERS_KEY}.'
      Call Fail
    ${EndIf}
  ${EndIf}
FunctionEnd

; Creates the clock service, or sets an existing one up again: automatic
; start, LOCAL SERVICE, only the right to set the time, a restricted SID.
Function SetUpService
  StrCpy $0 0xF01FF ; SERVICE_ALL_ACCESS
  Call OpenService
  ${If} $Service P= 0
    System::Call 'advapi32::CreateServiceW(p $Manager, w "${SERVICE_NAME}", w "${SERVICE_DISPLAY}", i 0xF01FF, \
      i 0x10, i 2, i 1, w `"$INSTDIR\KestrineClockService.exe"`, p 0, p 0, p 0, w "${SERVICE_ACCOUNT}", p 0) p .r0 ?e'
    ; SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL
    Pop $1
    StrCpy $Service $0
  ${Else}
    System::Call 'advapi32::ChangeServiceConfigW(p $Service, i 0x10, i 2, i 1, w `"$INSTDIR\KestrineClockService.exe"`, \
      p 0, p 0, p 0, w "${SERVICE_ACCOUNT}", w "", w "${SERVICE_DISPLAY}") i .r0 ?e'
    Pop $1
  ${EndIf}
  ${If} $0 P= 0
    ${If} $1 == 1072 ; ERROR_SERVICE_MARKED_FOR_DELETE
      StrCpy $0 'The service "${SERVICE_NAME}" of an earlier installation is still being removed. Restart Windows and run setup again.'
      Call Fail
    ${EndIf}
    Call ErrorText
    StrCpy $0 'Setup could not install the service "${SERVICE_NAME}": $1'
    Call Fail
  ${EndIf}
  System::Call '*(&w128 "Sets the system clock at the request of Kestrine, which runs without that right.") p .r3'
  System::Call '*(p r3) p .r6'
  StrCpy $5 1 ; SERVICE_CONFIG_DESCRIPTION
  StrCpy $7 "description"
  Call ServiceSetting
  System::Free $3
  ; A double-NUL-ended list of one.
  System::Call '*(&w23 "SeSystemtimePrivilege") p .r3'
  System::Call '*(p r3) p .r6'
  StrCpy $5 6 ; SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO
  StrCpy $7 "required privileges"
  Call ServiceSetting
  System::Free $3
  System::Call '*(i 3) p .r6' ; SERVICE_SID_TYPE_RESTRICTED
  StrCpy $5 5 ; SERVICE_CONFIG_SERVICE_SID_INFO
  StrCpy $7 "SID type"
  Call ServiceSetting
FunctionEnd

; WaitUntilRunning: polls, within its bound, until the service runs or has
; stopped; $0 is its state then.
Function WaitUntilRunning
  StrCpy $8 0
  ${Do}
    Call ServiceState
    ${IfThen} $0 == 4 ${|} ${Break} ${|} ; SERVICE_RUNNING
    ${IfThen} $0 == 1 ${|} ${Break} ${|}
    IntOp $8 $8 + 1
    ${IfThen} $8 >= ${SERVICE_STEPS} ${|} ${Break} ${|}
    Sleep 100
  ${Loop}
FunctionEnd

; Starts the service on $Service and waits until it runs. A busy service
; manager refuses for a while, each refusal taking seconds (Wine's, after
; "wineboot -i" has started a second one: about 10 s each, for a minute), so
; the bound is one of time.
Function StartService
  DetailPrint 'Starting the service "${SERVICE_NAME}"'
  System::Call 'kernel32::GetTickCount64() l .r6'
  ${Do}
    System::Call 'advapi32::StartServiceW(p $Service, i 0, p 0) i .r0 ?e'
    Pop $7
    ${If} $0 != 0
      StrCpy $7 0
      ${Break}
    ${EndIf}
    ${IfThen} $7 == 1056 ${|} ${Break} ${|} ; ERROR_SERVICE_ALREADY_RUNNING
    ${If} $7 != 1053 ; ERROR_SERVICE_REQUEST_TIMEOUT
    ${AndIf} $7 != 1055 ; ERROR_SERVICE_DATABASE_LOCKED
      ${Break}
    ${EndIf}
    System::Call 'kernel32::GetTickCount64() l .r5'
    IntPtrOp $5 $5 - $6
    ${IfThen} $5 P>= ${SERVICE_BUSY_MS} ${|} ${Break} ${|}
    Sleep 100
  ${Loop}
  Call WaitUntilRunning
  ${If} $0 != 4
    ; StartService's own refusal, else the code the service ended with.
    ${If} $7 != 0
    ${AndIf} $7 != 1056
      StrCpy $1 $7
    ${EndIf}
    Call ErrorText
    StrCpy $0 'The service "${SERVICE_NAME}" did not start: $1'
    Call Fail
  ${EndIf}
FunctionEnd

; An update that failed while replacing files leaves the service running
; again, as it was.
Function .onInstFailed
  ${If} $ServiceWasRunning == 1
  ${AndIf} $Service P<> 0
    System::Call 'advapi32::StartServiceW(p $Service, i 0, p 0) i'
  ${EndIf}
FunctionEnd

; WritePresets: the switches' values as a settings.ini beside the program,
; which gives each user's first start its values (the user's own file, once
; there, wins). Without a preset switch an existing file stays as it is;
; with one the file holds just those.
Function WritePresets
  ${If} $PresetServer == ""
  ${AndIf} $PresetInterval == ""
  ${AndIf} $PresetStartup == ""
    Return
  ${EndIf}
  DetailPrint "Writing the presets to $INSTDIR\settings.ini"
  ClearErrors
  FileOpen $1 "$INSTDIR\settings.ini" w
  ${IfNot} ${Errors}
    ; The keys and values as the program saves them, in its order.
    FileWrite $1 "${PRESETS_MARK}$\r$\n[Common]$\r$\n"
    ${If} $PresetServer != ""
      FileWrite $1 "bNISTServer=0$\r$\nServerType=$PresetProtocol$\r$\nTimeServer=$PresetServer$\r$\n"
      FileWrite $1 "ServerProtocol=$PresetProtocol$\r$\n"
    ${EndIf}
    ${If} $PresetInterval != ""
      FileWrite $1 "ckSyncTime=1$\r$\nedtSyncTime=$PresetInterval$\r$\n"
    ${EndIf}
    ${IfThen} $PresetStartup != "" ${|} FileWrite $1 "ckRunStartup=$PresetStartup$\r$\n" ${|}
    FileClose $1
  ${EndIf}
  ${If} ${Errors}
    StrCpy $0 "Setup could not write $INSTDIR\settings.ini."
    Call Fail
  ${EndIf}
FunctionEnd

; WriteStartup: /STARTUP=1 writes the machine's start-with-Windows value, so
; that Kestrine starts at every user's log-on, also for users who never
; started it; /STARTUP=0 removes it where it starts this installation.
Function WriteStartup
  ${If} $PresetStartup == 1
    ClearErrors
    ; Quoted, as the program writes a path with a blank.
    WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\Kestrine.exe"'
    ${If} ${Errors}
      StrCpy $0 "Setup could not write the value ${RUN_VALUE} under HKEY_LOCAL_MACHINE\${RUN_KEY}."
      Call Fail
    ${EndIf}
  ${ElseIf} $PresetStartup == 0
    !insertmacro RemoveOwnRunValue "" HKLM "${RUN_KEY}"
  ${EndIf}
FunctionEnd

; InstallFile SOURCE NAME WHAT_TO_CLOSE: a file that cannot be written (a
; running copy that did not close, another user's copy) fails the installation.
!macro InstallFile SOURCE NAME WHAT_TO_CLOSE
  ClearErrors
  File "/oname=${NAME}" "${SOURCE}"
  ${If} ${Errors}
    StrCpy $0 "Setup could not replace $INSTDIR\${NAME}: it is in use. Close ${WHAT_TO_CLOSE} and run setup again."
    Call Fail
  ${EndIf}
!macroend
!define CLOSE_PROGRAM "Kestrine (every user's copy)"
!define CLOSE_OTHER "the program that has it open"

Section "Kestrine"
  SetOutPath "$INSTDIR"
  Call ProtectFolder
  Call CloseRunningCopies
  Call StopService
  StrCpy $ServiceWasRunning $0
  !insertmacro InstallFile "${EXE}" "Kestrine.exe" "${CLOSE_PROGRAM}"
  !insertmacro InstallFile "${SERVICE}" "KestrineClockService.exe" "${CLOSE_OTHER}"
  !insertmacro InstallFile "${LICENSE}" "LICENSE.txt" "${CLOSE_OTHER}"
  !insertmacro InstallFile "${THIRD_PARTY}" "THIRD-PARTY-LICENSES.txt" "${CLOSE_OTHER}"
  Call WritePresets
  ClearErrors
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    StrCpy $0 "Setup could not replace $INSTDIR\uninstall.exe: it is in use. Close ${CLOSE_OTHER} and run setup again."
    Call Fail
  ${EndIf}
  CreateShortcut "$SMPROGRAMS\Kestrine.lnk" "$INSTDIR\Kestrine.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kestrine"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "HelpLink" "${URL}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${URL}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kestrine.exe,0"
  ; Setup has nothing to choose again: one part, no options. Its presets
  ; change, and its files are repaired, by running setup again (with switches).
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; Kilobytes, for the size column of Add/Remove Programs.
  SectionGetSize 0 $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; The service's entries in the Application log take their text from its executable.
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\KestrineClockService.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
  StrCpy $ServiceWasRunning 0
  Call WriteStartup
  Call CloseService
  Call SetUpService
  Call WritePolicy
  Call StartService
  Call CloseService
SectionEnd

Function un.onInit
  !insertmacro RequireAdmin
  SetRegView 64
  SetShellVarContext all
  StrCpy $Manager 0
  StrCpy $Service 0
FunctionEnd

; un.ShellUser: the user whose desktop this is, who may not be the one whose
; rights the uninstaller runs with ("Run as" another administrator): $R0
; becomes that user's roaming application data folder and $R1 the user's SID,
; each empty when not found, and $R2 that user's token (0 when not found; the
; caller closes it).
Function un.ShellUser
  StrCpy $R0 ""
  StrCpy $R1 ""
  StrCpy $R2 0
  System::Call 'user32::GetShellWindow() p .r0'
  ; Wine has no shell window, but the taskbar's, which is the shell's too.
  ${If} $0 P= 0
    System::Call 'user32::FindWindowW(w "Shell_TrayWnd", p 0) p .r0'
  ${EndIf}
  ${IfThen} $0 P= 0 ${|} Return ${|}
  System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
  System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i r1) p .r2' ; PROCESS_QUERY_LIMITED_INFORMATION
  ${IfThen} $2 P= 0 ${|} Return ${|}
  System::Call 'advapi32::OpenProcessToken(p r2, i 0xE, *p .r3) i .r4' ; TOKEN_QUERY | TOKEN_IMPERSONATE | TOKEN_DUPLICATE
  System::Call 'kernel32::CloseHandle(p r2)'
  ${IfThen} $4 == 0 ${|} Return ${|}
  ; FOLDERID_RoamingAppData
  System::Call 'shell32::SHGetKnownFolderPath(g "{3EB685DB-65F9-4CF6-A03A-E3EF65729F3D}", i 0, p r3, *p .r5) i .r4'
  ${If} $4 == 0
    System::Call 'kernel32::lstrcpynW(w .R0, p r5, i ${NSIS_MAX_STRLEN}) p'
    System::Call 'ole32::CoTaskMemFree(p r5)'
  ${EndIf}
  ; TokenUser: a SID_AND_ATTRIBUTES, the SID it points to after it.
  System::Call '*(&i1024) p .r6'
  System::Call 'advapi32::GetTokenInformation(p r3, i 1, p r6, i 1024, *i .r4) i .r4'
  ${If} $4 != 0
    System::Call '*$6(p .r7)'
    System::Call 'advapi32::ConvertSidToStringSidW(p r7, *p .r5) i .r4'
    ${If} $4 != 0
      System::Call 'kernel32::lstrcpynW(w .R1, p r5, i ${NSIS_MAX_STRLEN}) p'
      System::Call 'kernel32::LocalFree(p r5) p'
    ${EndIf}
  ${EndIf}
  System::Free $6
  StrCpy $R2 $3
FunctionEnd

; un.CopySettings: copies $INSTDIR\settings.ini into $R0\Kestrine as the
; desktop's user (token $R2), so that a link that user put in that folder can
; send the file only where the user may write anyway, never where an
; administrator may; as this process's own user when $R2 is 0. $0 is 1 when
; copied; else $1 is the error.
Function un.CopySettings
  StrCpy $0 0
  ${If} $R2 P<> 0
    System::Call 'advapi32::ImpersonateLoggedOnUser(p R2) i .r0 ?e'
    Pop $1
    ${IfThen} $0 == 0 ${|} Return ${|}
  ${EndIf}
  ; Only calls that run on this thread, while it is the user.
  System::Call 'kernel32::CreateDirectoryW(w "$R0\Kestrine", p 0) i'
  System::Call 'kernel32::CopyFileW(w "$INSTDIR\settings.ini", w "$R0\Kestrine\settings.ini", i 1) i .r0 ?e'
  Pop $1
  ${If} $R2 P<> 0
    System::Call 'advapi32::RevertToSelf() i .r2'
    ${If} $2 == 0
      StrCpy $0 "Setup could not stop acting as the desktop's user."
      Call un.Fail
    ${EndIf}
  ${EndIf}
  ${IfThen} $0 != 0 ${|} StrCpy $0 1 ${|}
FunctionEnd

; un.IsPresets: $0 is 1 when $INSTDIR\settings.ini is the presets setup wrote.
Function un.IsPresets
  StrCpy $0 0
  ClearErrors
  FileOpen $1 "$INSTDIR\settings.ini" r
  ${IfThen} ${Errors} ${|} Return ${|}
  FileRead $1 $2
  FileClose $1
  ${un.TrimNewLines} $2 $2
  ${IfThen} $2 == "${PRESETS_MARK}" ${|} StrCpy $0 1 ${|}
FunctionEnd

; RemoveFile NAME WHAT_TO_CLOSE: one that cannot be removed stops the uninstallation.
!macro RemoveFile NAME WHAT_TO_CLOSE
  Delete "$INSTDIR\${NAME}"
  ${If} ${FileExists} "$INSTDIR\${NAME}"
    StrCpy $0 "Setup could not remove $INSTDIR\${NAME}: it is in use. Close ${WHAT_TO_CLOSE} and run the uninstaller again."
    Call un.Fail
  ${EndIf}
!macroend

Section "Uninstall"
  Call un.CloseRunningCopies
  ; The program first: one that is still running stops the uninstallation
  ; before anything else is gone.
  !insertmacro RemoveFile "Kestrine.exe" "${CLOSE_PROGRAM}"
  ; The service and its log source, when they are this installation's.
  ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
  Call un.PointsHere
  ${If} $0 == 1
    Call un.StopService
    ${If} $Service P<> 0
      ; The service's key goes with it, and the key may only go whole.
      DeleteRegKey HKLM "${PARAMETERS_KEY}"
      System::Call 'advapi32::DeleteService(p $Service) i .r0 ?e'
      Pop $1
      ${If} $0 == 0
      ${AndIf} $1 != 1072 ; ERROR_SERVICE_MARKED_FOR_DELETE: already going
        Call un.ErrorText
        StrCpy $0 'Setup could not remove the service "${SERVICE_NAME}": $1'
        Call un.Fail
      ${EndIf}
    ${EndIf}
    Call un.CloseService
  ${EndIf}
  ReadRegStr $0 HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile"
  Call un.PointsHere
  ${IfThen} $0 == 1 ${|} DeleteRegKey HKLM "${EVENT_SOURCE_KEY}" ${|}
  !insertmacro RemoveFile "KestrineClockService.exe" "${CLOSE_OTHER}"
  Delete "$SMPROGRAMS\Kestrine.lnk"

  Call un.ShellUser
  !insertmacro RemoveOwnRunValue un. HKLM "${RUN_KEY}"
  !insertmacro RemoveOwnRunValue un. HKCU "${RUN_KEY}"
  ${If} $R1 != ""
    !insertmacro RemoveOwnRunValue un. HKU "$R1\${RUN_KEY}"
  ${EndIf}

  ; An older Kestrine, run as administrator, kept its settings beside the
  ; program. They are the user's: move them to that user's folder, where the
  ; program looks, unless the user already has a file there. The user's own
  ; %APPDATA%\Kestrine stays. A copy that fails keeps the file, and the
  ; folder with it.
  ${If} $R0 == ""
    ${If} $R2 P<> 0
      System::Call 'kernel32::CloseHandle(p R2)'
    ${EndIf}
    StrCpy $R2 0
    SetShellVarContext current
    StrCpy $R0 $APPDATA
    SetShellVarContext all
  ${EndIf}
  Call un.IsPresets
  ${IfThen} $0 == 1 ${|} Delete "$INSTDIR\settings.ini" ${|}
  ${If} ${FileExists} "$INSTDIR\settings.ini"
    ${If} ${FileExists} "$R0\Kestrine\settings.ini"
      Delete "$INSTDIR\settings.ini"
    ${Else}
      Call un.CopySettings
      ${If} $0 == 1
        Delete "$INSTDIR\settings.ini"
      ${Else}
        Call un.ErrorText
        DetailPrint "Kept $INSTDIR\settings.ini, which could not be copied to $R0\Kestrine: $1"
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $R2 P<> 0
    System::Call 'kernel32::CloseHandle(p R2)'
  ${EndIf}

  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-LICENSES.txt"
  !insertmacro RemoveFile "uninstall.exe" "${CLOSE_OTHER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; Last, so that a test can wait for it: the folder goes once it is empty.
  RMDir "$INSTDIR"
SectionEnd
