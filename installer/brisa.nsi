; BrisaSetup.exe: installs Brisa for the current user (default) or for every
; user (/AllUsers), registers it so that it is listed among the default-app
; choices for .pdf, .cbz and .cbr, and leaves an uninstaller that takes back
; exactly that. The user's preferences (HKCU\Software\Brisa values) stay.
;
; Built by scripts/build-installer.sh, which passes:
;   BRISA_EXE      the Windows build's Brisa.exe
;   PDFIUM_DLL     pdfium.dll for x64
;   UNRAR_DLL      unrar.dll for x64 (optional: without it CBR files do not open)
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
!insertmacro Require OUT_FILE
!insertmacro Require VERSION
!insertmacro Require ICON_FILE

!define PRODUCT "Brisa"
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

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_USE_PROGRAMFILES64
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\Brisa.exe"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "French"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} installer"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "The Brisa authors"

; Brisa.exe is a 64-bit program and reads the 64-bit view of the registry.
Function .onInit
  SetRegView 64
  !insertmacro MULTIUSER_INIT
FunctionEnd

; The uninstaller follows the hive its own folder was registered in, so that
; "Uninstall.exe /S" needs no mode switch.
Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    Call un.MultiUser.InstallMode.AllUsers
  ${Else}
    Call un.MultiUser.InstallMode.CurrentUser
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
  SetOutPath "$INSTDIR"
  File "/oname=Brisa.exe" "${BRISA_EXE}"
  File "/oname=pdfium.dll" "${PDFIUM_DLL}"
!ifdef UNRAR_DLL
  File "/oname=unrar.dll" "${UNRAR_DLL}"
!endif
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
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
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
