; QLXDrive's installer: per user, no elevation, silent with /S.
;
; The build passes (makensis -D...):
;   VERSION  the project version, x.y.z
;   TARGET   x86-unicode or amd64-unicode
;   PROGRAM  QLXDrive.exe to ship
;   CTL      qlxctl.exe to ship
;   OUTFILE  the setup exe to write
;   ICON     (optional) the program's icon, for the installer and uninstaller
;   SIGN_COMMAND (optional) a command that signs the file named after it in
;            place: the uninstaller before it is packed, the setup once written
;
; The running program is ended the way a system tool ends it: a close
; request to its hidden main window, which ends it without removing the
; drive mapping. An upgrade starts the new program again if the old one was
; running. The uninstaller keeps the settings unless asked (the component
; page, or /REMOVESETTINGS on the command line).

!macro REQUIRE name
  !ifndef ${name}
    !error "makensis -D${name}=... is required"
  !endif
!macroend
!insertmacro REQUIRE VERSION
!insertmacro REQUIRE TARGET
!insertmacro REQUIRE PROGRAM
!insertmacro REQUIRE CTL
!insertmacro REQUIRE OUTFILE

Unicode true
; The same inputs give the same setup: no file's time goes into it.
SetDateSave off
!ifdef SIGN_COMMAND
  !uninstfinalize '${SIGN_COMMAND} "%1"' = 0
  !finalize '${SIGN_COMMAND} "%1"' = 0
!endif
Target ${TARGET}
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel user

!define APP "QLXDrive"
!define PUBLISHER "PELMORA"
!define MAIN_WINDOW_CLASS "TfmDrive"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\PELMORA\QLXDrive"
!define SYNCHRONIZE 0x00100000
; A close request that meets the dialog open only closes the dialog; the
; next one ends the program.
!define CLOSE_ATTEMPTS 3
!define CLOSE_WAIT_MS 5000
!define CLOSE_POLL_MS 100

Name "${APP}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
; An upgrade goes where the installed copy is, unless /D= says otherwise.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${APP} ${VERSION}"
AllowSkipFiles off

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartIfNotRunning

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

; The first is the fallback for users of other languages.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Italian"

LangString StillRunning ${LANG_ENGLISH} \
  "${APP} is running and did not close when asked.$\r$\nEnd it from its tray icon (Esci), then choose Retry."
LangString StillRunning ${LANG_ITALIAN} \
  "${APP} è in esecuzione e non si è chiuso.$\r$\nChiudilo dalla sua icona nell'area di notifica (Esci), poi scegli Riprova."
LangString FilesLeft ${LANG_ENGLISH} "Some files in $INSTDIR could not be removed; ${APP} stays registered as installed."
LangString FilesLeft ${LANG_ITALIAN} "Alcuni file in $INSTDIR non sono stati rimossi; ${APP} resta registrato come installato."
LangString SettingsSection ${LANG_ENGLISH} "Settings"
LangString SettingsSection ${LANG_ITALIAN} "Impostazioni"
LangString SettingsDescription ${LANG_ENGLISH} "Also remove the saved connection settings of this user (drive, user name, password)."
LangString SettingsDescription ${LANG_ITALIAN} "Rimuove anche i parametri di connessione salvati per questo utente (unità, utente, password)."

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${APP}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${APP} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${PUBLISHER}"

; 1 when a running copy was ended, so that the new one is started again.
Var WasRunning

; Ends a running copy through its main window and waits for its process to
; go; aborts the (un)install, exit code 2 when silent, if it will not go.
; The request is posted, not sent: it must reach the program through its
; message loop, as the close request of a system tool does, so that an open
; dialog's modal loop sees it and ends.
!macro DEFINE_CLOSE_RUNNING prefix
Function ${prefix}CloseRunning
  StrCpy $WasRunning 0
  retry:
  StrCpy $R0 0
  ${Do}
    FindWindow $R1 "${MAIN_WINDOW_CLASS}" ""
    ${If} $R1 P= 0
      Return
    ${EndIf}
    StrCpy $WasRunning 1
    ${If} $R0 >= ${CLOSE_ATTEMPTS}
      ${ExitDo}
    ${EndIf}
    IntOp $R0 $R0 + 1
    ; Open the process before the request, so that its end is seen even
    ; if it comes at once.
    System::Call 'user32::GetWindowThreadProcessId(p R1, *i .R2) i'
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i R2) p .R3'
    System::Call 'user32::IsWindowVisible(p R1) i .R6'
    System::Call 'user32::PostMessageW(p R1, i ${WM_CLOSE}, p 0, p 0) i'
    ; Until the process ends, or the dialog that was open has closed (the
    ; next request then ends the program), or the time is up.
    StrCpy $R4 0
    ${Do}
      ${If} $R3 P<> 0
        System::Call 'kernel32::WaitForSingleObject(p R3, i ${CLOSE_POLL_MS}) i .R5'
        ${IfThen} $R5 = 0 ${|} ${ExitDo} ${|}
      ${Else}
        Sleep ${CLOSE_POLL_MS}
      ${EndIf}
      ${If} $R6 <> 0
        System::Call 'user32::IsWindowVisible(p R1) i .R7'
        ${IfThen} $R7 = 0 ${|} ${ExitDo} ${|}
      ${EndIf}
      IntOp $R4 $R4 + ${CLOSE_POLL_MS}
    ${LoopUntil} $R4 >= ${CLOSE_WAIT_MS}
    ${If} $R3 P<> 0
      System::Call 'kernel32::CloseHandle(p R3)'
    ${EndIf}
  ${Loop}
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunning)" /SD IDCANCEL IDRETRY retry
  SetErrorLevel 2
  Abort "$(StillRunning)"
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_RUNNING ""
!insertmacro DEFINE_CLOSE_RUNNING "un."

; The finish page's "Run" box: the program allows one copy, and an upgrade
; may have started it already.
Function StartIfNotRunning
  FindWindow $R1 "${MAIN_WINDOW_CLASS}" ""
  ${If} $R1 P= 0
    Exec '"$INSTDIR\QLXDrive.exe"'
  ${EndIf}
FunctionEnd

Section "${APP}" SecProgram
  SectionIn RO
  Call CloseRunning
  SetOutPath "$INSTDIR"
  File "/oname=QLXDrive.exe" "${PROGRAM}"
  File "/oname=qlxctl.exe" "${CTL}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\QLXDrive.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\QLXDrive.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ${If} $WasRunning = 1
    Exec '"$INSTDIR\QLXDrive.exe"'
  ${EndIf}
SectionEnd

Section "un.${APP}" SecUnProgram
  SectionIn RO
  Call un.CloseRunning
  ClearErrors
  Delete "$INSTDIR\QLXDrive.exe"
  Delete "$INSTDIR\qlxctl.exe"
  Delete "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    ; The entry stays, so that the user can uninstall again once the files
    ; are free.
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(FilesLeft)" /SD IDOK
    SetErrorLevel 2
    Abort "$(FilesLeft)"
  ${EndIf}
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${APP}.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "${APP}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.$(SettingsSection)" SecUnSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\${PUBLISHER}"
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnSettings} "$(SettingsDescription)"
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END

Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVESETTINGS" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecUnSettings}
  ${EndIf}
FunctionEnd
