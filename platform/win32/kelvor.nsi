; The installer of Kelvor. It puts kelvor.exe into Program Files for all users (with
; administrator rights) or into the user's own programs folder, %LOCALAPPDATA%\Programs\Kelvor,
; for the current user only (without them), adds a Start-menu shortcut, on request starts Kelvor
; with Windows, and leaves an uninstaller listed in Apps & features. The uninstaller removes all
; of that and keeps the settings in %APPDATA%\Kelvor.
;
; Built by CMake:
;   makensis -INPUTCHARSET UTF8 -DPROGRAM=<kelvor.exe> -DOUTPUT=<setup.exe> -DTARGET=<stub> kelvor.nsi
; TARGET is x86-unicode for the 32-bit program, amd64-unicode for a 64-bit build of it.
; Silent use: setup.exe /S [/CurrentUser | /AllUsers]; uninstall.exe /S.

Target ${TARGET}
SetCompressor /SOLID lzma

!define PRODUCT Kelvor
!define VERSION 1.0.0.1
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The program's single-instance guard: while it exists, kelvor.exe is running.
!define GUARD_NAME "h_XXXX_PrevInstance"

Name "${PRODUCT}"
OutFile "${OUTPUT}"
BrandingText "${PRODUCT} ${VERSION}"
; Sharp at any DPI, like the program.
ManifestDPIAware true

; Administrators choose between all users and themselves; other users install for themselves,
; without elevation. A previous installation's choice and folder are the defaults.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "UninstallString"
!define MULTIUSER_INIT_TEXT_ALLUSERSNOTPOSSIBLE "$(TextAllUsersNotPossible)"
!if "${TARGET}" == "amd64-unicode"
  !define MULTIUSER_USE_PROGRAMFILES64
!endif
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!define MUI_ICON "${__FILEDIR__}/../../res/nomail.ico"
!define MUI_UNICON "${__FILEDIR__}/../../res/nomail.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartKelvor
; The last page tells an Outlook.com user, whom the provider lets in without a password only,
; what to write.
!define MUI_FINISHPAGE_TEXT "$(TextFinish)"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; English serves every system whose language is neither of the two.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

LangString TextStartWithWindows ${LANG_ENGLISH} "Start Kelvor when Windows starts"
LangString TextStartWithWindows ${LANG_JAPANESE} "Windows の起動時に Kelvor を起動する"
LangString TextFinish ${LANG_ENGLISH} "Kelvor has been installed.$\r$\n$\r$\nOutlook.com, Hotmail and Live mailboxes take no password: write pop3s://outlook.office365.com as the POP3 server and your mail address as the user name, leave the password empty and press $\"チェックする$\". Kelvor opens your web browser for you to sign in once; turn POP on in Outlook.com's settings first."
LangString TextFinish ${LANG_JAPANESE} "Kelvor をインストールしました。$\r$\n$\r$\nOutlook.com・Hotmail・Live のメールはパスワードでは受信できません。POP サーバに pop3s://outlook.office365.com、ユーザ名にメールアドレスを入れ、パスワードは空のままで「チェックする」を押してください。ブラウザが開くので、一度サインインします。先に Outlook.com の設定で POP を有効にしてください。"
LangString TextRunning ${LANG_ENGLISH} "Kelvor is running. Quit it (tray icon, Exit), then choose Retry."
LangString TextRunning ${LANG_JAPANESE} "Kelvor が起動しています。タスクトレイのアイコンから終了してから、[再試行] を選んでください。"
LangString TextAllUsersNotPossible ${LANG_ENGLISH} "Installing Kelvor for all users needs administrator rights. Start the installer as an administrator, or install it for yourself."
LangString TextAllUsersNotPossible ${LANG_JAPANESE} "すべてのユーザーに Kelvor をインストールするには管理者の権限が必要です。管理者としてインストーラーを起動するか、自分にのみインストールしてください。"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileDescription" "${PRODUCT} セットアップ"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "LegalCopyright" "Copyright (C) 2026 Kelvor"

; Waits until no Kelvor runs: its file cannot be replaced or removed while it does. Silent
; runs give up at once.
!macro WAIT_FOR_KELVOR_TO_END
  ${Do}
    System::Call 'kernel32::OpenMutex(i 0x00100000, i 0, t "${GUARD_NAME}") p .r0'
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
    ${If} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(TextRunning)" /SD IDCANCEL IDCANCEL`
      Quit
    ${EndIf}
  ${Loop}
!macroend

; Through the shell, so that Kelvor runs with the user's own rights even when the installer
; itself runs as administrator.
Function StartKelvor
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\kelvor.exe"'
FunctionEnd

Function .onInit
  !insertmacro MULTIUSER_INIT
  !insertmacro WAIT_FOR_KELVOR_TO_END
FunctionEnd

Section "Kelvor" SectionProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "/oname=kelvor.exe" "${PROGRAM}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\kelvor.exe"

  ; Apps & features, under HKLM for all users and HKCU for the current user.
  ${If} $MultiUser.InstallMode == "AllUsers"
    StrCpy $1 "/AllUsers"
  ${Else}
    StrCpy $1 "/CurrentUser"
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kelvor.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" $1'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" $1 /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $2 $3
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The start with Windows belongs to the user who installs, whichever the install mode.
Section "$(TextStartWithWindows)" SectionStartWithWindows
  WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\kelvor.exe"'
SectionEnd

; A new installation without the option also ends the start of an earlier one.
Section "-StartWithWindowsOff"
  ${IfNot} ${SectionIsSelected} ${SectionStartWithWindows}
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  ${EndIf}
SectionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  !insertmacro WAIT_FOR_KELVOR_TO_END
FunctionEnd

; The settings in %APPDATA%\Kelvor stay: a new installation finds them again.
Section "Uninstall"
  Delete "$INSTDIR\kelvor.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
