; BrisaSetup.exe: installs Brisa for the current user (default) or for every
; user (/AllUsers), registers it so that it is listed among the default-app
; choices for .pdf, .cbz and .cbr, and leaves an uninstaller that takes back
; exactly that. The user's preferences (HKCU\Software\Brisa values) stay.
;
; It runs as the user who started it: a per-user install needs no elevation.
; For every user it starts an elevated copy of itself for the install alone,
; so that its own finish page still starts Brisa as that user. An earlier
; install's mode and folder are taken again, so an upgrade replaces it.
;
; Built by scripts/build-installer.sh, which passes:
;   BRISA_EXE      the Windows build's Brisa.exe
;   PDFIUM_DLL     pdfium.dll for x64
;   UNRAR_DLL      unrar.dll for x64 (optional: without it CBR files do not open)
;   LICENCES_DIR   the licence of each shipped component, one .txt file each
;   OUT_FILE       where BrisaSetup.exe goes
;   VERSION        x.y.z
;   ICON_FILE      the program's icon
; Silent use: BrisaSetup.exe /S [/AllUsers|/CurrentUser] [/D=folder]
;             Uninstall.exe /S

; A 64-bit installer for a 64-bit program: it also runs where only 64-bit
; Windows programs can (Wine without its 32-bit part).
Target amd64-unicode
SetCompressor /SOLID lzma

!macro Require NAME
  !ifndef ${NAME}
    !error "${NAME} must be defined (scripts/build-installer.sh passes it)"
  !endif
!macroend
!insertmacro Require BRISA_EXE
!insertmacro Require PDFIUM_DLL
!insertmacro Require LICENCES_DIR
!insertmacro Require OUT_FILE
!insertmacro Require VERSION
!insertmacro Require ICON_FILE

!define PRODUCT "Brisa"
!define PUBLISHER "Brisa Software"
!define APP_KEY "Software\Brisa"
!define CAPABILITIES_KEY "Software\Brisa\Capabilities"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brisa"
!define APP_PATHS_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\Brisa.exe"
!define APPLICATION_KEY "Software\Classes\Applications\Brisa.exe"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
Icon "${ICON_FILE}"
UninstallIcon "${ICON_FILE}"
BrandingText "${PRODUCT} ${VERSION}"
RequestExecutionLevel user

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

; "AllUsers" or "CurrentUser".
Var Mode
Var ModeAllUsers
Var ModeCurrentUser

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartBrisa

Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "French"

LangString MODE_TITLE ${LANG_ENGLISH} "Choose Users"
LangString MODE_TITLE ${LANG_FRENCH} "Choix des utilisateurs"
LangString MODE_SUBTITLE ${LANG_ENGLISH} "Choose for which users to install ${PRODUCT}."
LangString MODE_SUBTITLE ${LANG_FRENCH} "Choisissez pour quels utilisateurs installer ${PRODUCT}."
LangString MODE_CURRENT ${LANG_ENGLISH} "Install just for me"
LangString MODE_CURRENT ${LANG_FRENCH} "Installer pour moi seulement"
LangString MODE_ALL ${LANG_ENGLISH} "Install for anyone using this computer (needs administrator rights)"
LangString MODE_ALL ${LANG_FRENCH} "Installer pour tous les utilisateurs de cet ordinateur (droits d'administrateur requis)"
LangString ELEVATION_FAILED ${LANG_ENGLISH} "${PRODUCT} could not be installed for every user: administrator rights were not granted."
LangString ELEVATION_FAILED ${LANG_FRENCH} "${PRODUCT} n'a pas pu être installé pour tous les utilisateurs : les droits d'administrateur n'ont pas été accordés."

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} installer"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "© 2026 ${PUBLISHER}"

!macro UseMode MODE
  StrCpy $Mode "${MODE}"
  ${If} $Mode == "AllUsers"
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
!macroend

!macro IsAdmin RESULT
  UserInfo::GetAccountType
  Pop ${RESULT}
!macroend

; The folder an install in this mode takes when none was given or remembered.
Function DefaultFolder
  ${If} $Mode == "AllUsers"
    StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
  ${Else}
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
  ${EndIf}
FunctionEnd

; Brisa.exe is a 64-bit program and reads the 64-bit view of the registry.
; The mode: the command line's, else the earlier install's, else the current
; user. The folder: /D, else the earlier install's in that mode, else the default.
Function .onInit
  SetRegView 64
  StrCpy $0 $INSTDIR   ; set by /D
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $2 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 != ""
  ${AndIf} $2 == ""
    !insertmacro UseMode "AllUsers"
  ${Else}
    !insertmacro UseMode "CurrentUser"
  ${EndIf}
  ${GetParameters} $3
  ClearErrors
  ${GetOptions} $3 "/AllUsers" $4
  ${IfNot} ${Errors}
    !insertmacro UseMode "AllUsers"
  ${EndIf}
  ClearErrors
  ${GetOptions} $3 "/CurrentUser" $4
  ${IfNot} ${Errors}
    !insertmacro UseMode "CurrentUser"
  ${EndIf}
  ${If} $0 == ""
    Call RememberedOrDefaultFolder
  ${EndIf}
FunctionEnd

Function RememberedOrDefaultFolder
  ${If} $Mode == "AllUsers"
    ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${Else}
    ReadRegStr $INSTDIR HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
    Call DefaultFolder
  ${EndIf}
FunctionEnd

Function ModePage
  !insertmacro MUI_HEADER_TEXT $(MODE_TITLE) $(MODE_SUBTITLE)
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 15u 20u -15u 12u $(MODE_CURRENT)
  Pop $ModeCurrentUser
  ${NSD_CreateRadioButton} 15u 40u -15u 12u $(MODE_ALL)
  Pop $ModeAllUsers
  ${If} $Mode == "AllUsers"
    ${NSD_Check} $ModeAllUsers
  ${Else}
    ${NSD_Check} $ModeCurrentUser
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  StrCpy $0 $Mode
  ${NSD_GetState} $ModeAllUsers $1
  ${If} $1 == ${BST_CHECKED}
    !insertmacro UseMode "AllUsers"
  ${Else}
    !insertmacro UseMode "CurrentUser"
  ${EndIf}
  ${If} $0 != $Mode
    Call RememberedOrDefaultFolder
  ${EndIf}
FunctionEnd

; An elevated copy of this installer, silent, does an install for every user
; when this one runs without administrator rights; it registered what it did.
Function InstallElevated
  ; That copy is told it is one, so that it never starts another.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/Elevated" $1
  ${IfNot} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP $(ELEVATION_FAILED) /SD IDOK
    SetErrorLevel 740   ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
  ExecShellWait "runas" "$EXEPATH" "/S /AllUsers /Elevated /D=$INSTDIR"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $0 != $INSTDIR
  ${OrIf} $1 != "${VERSION}"
    MessageBox MB_OK|MB_ICONSTOP $(ELEVATION_FAILED) /SD IDOK
    SetErrorLevel 740   ; ERROR_ELEVATION_REQUIRED
    Abort
  ${EndIf}
FunctionEnd

; Brisa as the user who ran the installer. An elevated installer hands the
; start to Explorer, which runs as that user.
Function StartBrisa
  !insertmacro IsAdmin $0
  ${If} $Mode == "AllUsers"
  ${AndIf} $0 == "Admin"
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\Brisa.exe"'
  ${Else}
    Exec '"$INSTDIR\Brisa.exe"'
  ${EndIf}
FunctionEnd

; The uninstaller follows the hive its own folder was registered in, so that
; "Uninstall.exe /S" needs no mode switch; for every user it asks for the
; rights it needs.
Function un.onInit
  SetRegView 64
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    !insertmacro UseMode "AllUsers"
    !insertmacro IsAdmin $1
    ${If} $1 != "Admin"
      ${GetParameters} $2
      ExecShell "runas" "$INSTDIR\Uninstall.exe" $2
      Quit
    ${EndIf}
  ${Else}
    !insertmacro UseMode "CurrentUser"
  ${EndIf}
FunctionEnd

; One ProgID per document type, with its icon and open command, and the
; type's "open with" list naming it.
!macro RegisterType EXTENSION PROGID DESCRIPTION
  WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "${DESCRIPTION}"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\Brisa.exe,0"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\Brisa.exe" "%1"'
  WriteRegStr SHCTX "Software\Classes\${EXTENSION}\OpenWithProgids" "${PROGID}" ""
  WriteRegStr SHCTX "${CAPABILITIES_KEY}\FileAssociations" "${EXTENSION}" "${PROGID}"
  WriteRegStr SHCTX "${APPLICATION_KEY}\SupportedTypes" "${EXTENSION}" ""
!macroend

!macro UnregisterType EXTENSION PROGID
  DeleteRegKey SHCTX "Software\Classes\${PROGID}"
  DeleteRegValue SHCTX "Software\Classes\${EXTENSION}\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty SHCTX "Software\Classes\${EXTENSION}\OpenWithProgids"
  DeleteRegKey /ifempty SHCTX "Software\Classes\${EXTENSION}"
!macroend

Section "Brisa" SectionMain
  SectionIn RO
  ${If} $Mode == "AllUsers"
    !insertmacro IsAdmin $0
    ${If} $0 != "Admin"
      Call InstallElevated
      Return
    ${EndIf}
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "/oname=Brisa.exe" "${BRISA_EXE}"
  File "/oname=pdfium.dll" "${PDFIUM_DLL}"
!ifdef UNRAR_DLL
  File "/oname=unrar.dll" "${UNRAR_DLL}"
!endif
  SetOutPath "$INSTDIR\licences"
  File "${LICENCES_DIR}\*.txt"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; What the default-apps settings page lists, and what the program checks
  ; before offering to open that page.
  WriteRegStr SHCTX "${CAPABILITIES_KEY}" "ApplicationName" "${PRODUCT}"
  WriteRegStr SHCTX "${CAPABILITIES_KEY}" "ApplicationDescription" "Reader for PDF documents and comic books (CBZ, CBR)"
  WriteRegStr SHCTX "${CAPABILITIES_KEY}" "ApplicationIcon" "$INSTDIR\Brisa.exe,0"
  WriteRegStr SHCTX "Software\RegisteredApplications" "${PRODUCT}" "${CAPABILITIES_KEY}"
  !insertmacro RegisterType ".pdf" "Brisa.pdf" "PDF Document"
  !insertmacro RegisterType ".cbz" "Brisa.cbz" "Comic Book (ZIP)"
  !insertmacro RegisterType ".cbr" "Brisa.cbr" "Comic Book (RAR)"
  WriteRegStr SHCTX "${APPLICATION_KEY}" "FriendlyAppName" "${PRODUCT}"
  WriteRegStr SHCTX "${APPLICATION_KEY}\shell\open\command" "" '"$INSTDIR\Brisa.exe" "%1"'
  WriteRegStr SHCTX "${APP_PATHS_KEY}" "" "$INSTDIR\Brisa.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Brisa.exe" "" "$INSTDIR\Brisa.exe" 0

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Brisa.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; SHCNE_ASSOCCHANGED: Explorer reads the new associations at once.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\Brisa.exe"
  Delete "$INSTDIR\pdfium.dll"
  Delete "$INSTDIR\unrar.dll"
  Delete "$INSTDIR\licences\*.txt"
  RMDir "$INSTDIR\licences"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  !insertmacro UnregisterType ".pdf" "Brisa.pdf"
  !insertmacro UnregisterType ".cbz" "Brisa.cbz"
  !insertmacro UnregisterType ".cbr" "Brisa.cbr"
  DeleteRegKey SHCTX "${APPLICATION_KEY}"
  DeleteRegKey SHCTX "${APP_PATHS_KEY}"
  DeleteRegValue SHCTX "Software\RegisteredApplications" "${PRODUCT}"
  DeleteRegKey SHCTX "${CAPABILITIES_KEY}"
  ; The key itself only when nothing else is in it: for the current user it
  ; holds the preferences, which outlive the program.
  DeleteRegKey /ifempty SHCTX "${APP_KEY}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"

  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
