; The installer of ArtNet.dll for host owners: the 32-bit DLL the host loads
; and, as an option, the 64-bit one beside it; for every user of the machine
; (administrator) or for the current user alone (no administrator rights);
; each DLL registered by the regsvr32 of its own bitness; an entry in the
; list of installed programs whose uninstaller removes all of it again but
; keeps the user's settings.
;
; makensis -DVERSION=1.0 -DDLL32=ArtNet.dll [-DDLL64=x64/ArtNet.dll]
;          -DOUTFILE=ArtNet-1.0-setup.exe artnet.nsi
;
; Command line of the installer: /S silent, /AllUsers or /CurrentUser, /x64
; for the 64-bit DLL too, /D=FOLDER (last). It ends with 0, or 3010 when
; Windows must restart to replace a DLL a running host holds, 2 on failure,
; 740 when /AllUsers is asked of a user who is no administrator. The
; uninstaller ends the same way (3010: a held DLL goes at the restart).
;
; -DTEST_ACCOUNT_TYPE=User builds a setup that takes its user for a standard
; one whatever Windows says, for the tests (Wine makes everyone an
; administrator).

Unicode true
SetCompressor /SOLID lzma
ManifestDPIAware true

!ifndef VERSION | DLL32 | OUTFILE
  !error "VERSION, DLL32 and OUTFILE must be defined (-DNAME=VALUE)"
!endif

!define PRODUCT "ArtNet"
!define FULL_NAME "ArtNet output plug-in for Lumenstage"
!define PUBLISHER "The ArtNet plug-in developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ArtNet"
!define SETTINGS_KEY "HKEY_CURRENT_USER\Software\VB and VBA Program Settings"

Name "${FULL_NAME}"
OutFile "${OUTFILE}"
BrandingText "${FULL_NAME} ${VERSION}"

; File properties of setup.exe: the DLL's own four-part version.
!getdllversion "${DLL32}" DLL_VERSION_
VIProductVersion "${DLL_VERSION_1}.${DLL_VERSION_2}.${DLL_VERSION_3}.${DLL_VERSION_4}"
VIAddVersionKey ProductName "${FULL_NAME}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey FileDescription "${FULL_NAME} setup"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey LegalCopyright "${PUBLISHER}"

; Per machine or per user: asked on the first page and taken from the
; command line; an earlier installation's scope and folder are the defaults.
; The command line is read here, not by MultiUser.nsh, whose answer to
; /AllUsers from a standard user is a message box even in a silent run.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
; COM in a program run as administrator ignores per-user registrations, so
; such a host never sees a per-user installation: the page says so.
!define MULTIUSER_INSTALLMODEPAGE_TEXT_TOP "Install it for anyone using this computer (needs an administrator) or just for you (no administrator rights needed).$\r$\n$\r$\nA host run as administrator sees only an installation for anyone: choose that if you run Lumenstage as administrator. $(^ClickNext)"
!define MULTIUSER_INSTALLMODEPAGE_TEXT_CURRENTUSER "Install just for me (not seen by a host run as administrator)"
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Library.nsh
!include x64.nsh

; The installer puts in the DLL it carries, whatever version is there: a
; repair replaces a changed one, a downgrade the newer one.
!define LIBRARY_IGNORE_VERSION

; Exit code of a silent run asked to install for every user by a user who is
; no administrator (ERROR_ELEVATION_REQUIRED).
!define EXIT_NEEDS_ADMIN 740

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_TITLE "${FULL_NAME} is installed"
!define MUI_FINISHPAGE_TEXT "Start Lumenstage and choose ArtNet as its output plug-in.$\r$\n$\r$\nSettings made with an earlier version are kept."
!define MUI_UNCONFIRMPAGE_TEXT_TOP "${FULL_NAME} will be unregistered and its files removed.$\r$\nYour ArtNet settings (under ${SETTINGS_KEY}) are kept, so a later installation finds them again."

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT_REBOOT "A running host holds the earlier ArtNet.dll: Windows puts in the new one when it restarts."
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${FULL_NAME} is removed"
!define MUI_FINISHPAGE_TEXT_REBOOT "A running host still holds ArtNet.dll: it and its folder are deleted when Windows restarts."
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE English

; RegSvr32 OPTIONS DLL BITS: runs the regsvr32 of the DLL's bitness (the
; 64-bit one from the real System32) in the chosen scope; $0 is its exit code.
!macro RegSvr32 OPTIONS DLL BITS
  StrCpy $1 "/s"
  ${If} $MultiUser.InstallMode == CurrentUser
    StrCpy $1 "/s /n /i:user"
  ${EndIf}
  !if ${BITS} == 64
    ${DisableX64FSRedirection}
  !endif
  ExecWait '"$SYSDIR\regsvr32.exe" ${OPTIONS} $1 "${DLL}"' $0
  !if ${BITS} == 64
    ${EnableX64FSRedirection}
  !endif
!macroend

; Install BITS SOURCE FOLDER: puts the DLL in place (a DLL a running host
; holds is replaced when Windows restarts) and registers it.
!macro Install BITS SOURCE FOLDER
  CreateDirectory "${FOLDER}"
  ClearErrors
  !insertmacro InstallLib DLL NOTSHARED REBOOT_NOTPROTECTED "${SOURCE}" "${FOLDER}\ArtNet.dll" "${FOLDER}"
  ; Held and not replaceable at the restart either (that needs an
  ; administrator): the old DLL would stay while the setup said it was done.
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "ArtNet.dll is in use and could not be replaced. Close Lumenstage and run the setup again." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  !insertmacro RegSvr32 "" "${FOLDER}\ArtNet.dll" ${BITS}
  ${If} $0 != 0
    DetailPrint "regsvr32 could not register ${FOLDER}\ArtNet.dll (exit code $0)"
    MessageBox MB_OK|MB_ICONSTOP "The ${BITS}-bit ArtNet.dll could not be registered (regsvr32 exit code $0)." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
!macroend

; Remove BITS FOLDER: unregisters the DLL and deletes it (at the next
; restart when a running host holds it, which sets the restart flag).
!macro Remove BITS FOLDER
  ${If} ${FileExists} "${FOLDER}\ArtNet.dll"
    !insertmacro RegSvr32 "/u" "${FOLDER}\ArtNet.dll" ${BITS}
    ${If} $0 != 0
      DetailPrint "regsvr32 /u ${FOLDER}\ArtNet.dll: exit code $0"
    ${EndIf}
    Delete /REBOOTOK "${FOLDER}\ArtNet.dll"
  ${EndIf}
!macroend

; AccountType VAR: UserInfo's answer (Admin, Power, User, Guest), or the
; one a test setup was built to see.
!macro AccountType VAR
  !ifdef TEST_ACCOUNT_TYPE
    StrCpy ${VAR} "${TEST_ACCOUNT_TYPE}"
  !else
    UserInfo::GetAccountType
    Pop ${VAR}
  !endif
!macroend

; ScopeFromCommandLine PREFIX: /CurrentUser or /AllUsers; the latter from a
; user who is no administrator ends a silent run with EXIT_NEEDS_ADMIN, since
; nobody is there to answer. Interactively the installer offers the per-user
; installation instead; the uninstaller can only explain.
!macro ScopeFromCommandLine PREFIX
  !insertmacro AccountType $MultiUser.Privileges
  ${If} $MultiUser.Privileges != Admin
  ${AndIf} $MultiUser.Privileges != Power
    Call ${PREFIX}MultiUser.InstallMode.CurrentUser
  ${EndIf}
  ${${PREFIX}GetParameters} $0
  ClearErrors
  ${${PREFIX}GetOptions} $0 "/CurrentUser" $1
  ${IfNot} ${Errors}
    Call ${PREFIX}MultiUser.InstallMode.CurrentUser
  ${EndIf}
  ClearErrors
  ${${PREFIX}GetOptions} $0 "/AllUsers" $1
  ${IfNot} ${Errors}
    ${If} $MultiUser.Privileges == Admin
    ${OrIf} $MultiUser.Privileges == Power
      Call ${PREFIX}MultiUser.InstallMode.AllUsers
    ${ElseIf} ${Silent}
      SetErrorLevel ${EXIT_NEEDS_ADMIN}
      Quit
    ${Else}
      !if "${PREFIX}" == ""
        MessageBox MB_YESNO|MB_ICONEXCLAMATION "Installing for every user of this computer needs an administrator.$\r$\n$\r$\nInstall just for you instead? A host you run as administrator does not see an installation for you alone." IDYES +3
      !else
        MessageBox MB_OK|MB_ICONSTOP "${FULL_NAME} is installed for every user of this computer: only an administrator can remove it."
      !endif
        SetErrorLevel ${EXIT_NEEDS_ADMIN}
        Quit
      Call ${PREFIX}MultiUser.InstallMode.CurrentUser
    ${EndIf}
  ${EndIf}
!macroend

; RemoveInstallation ROOT SCOPE: runs the uninstaller of the installation in
; the other scope, if there is one, so that one installation is left: the
; current user's classes come before the machine's on Windows, and a stale
; per-user class would go on shadowing a new per-machine one. It runs a copy
; with _?= so that it can be waited for; its restart flag becomes ours.
!macro RemoveInstallation ROOT SCOPE
  ReadRegStr $0 ${ROOT} "${UNINSTALL_KEY}" InstallLocation
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\Uninstall.exe"
    DetailPrint "Removing the earlier installation ($0) first"
    InitPluginsDir
    CopyFiles /SILENT "$0\Uninstall.exe" "$PLUGINSDIR\uninstall-${SCOPE}.exe"
    ExecWait '"$PLUGINSDIR\uninstall-${SCOPE}.exe" /${SCOPE} /S _?=$0' $1
    ${If} $1 == 3010
      SetRebootFlag true
    ${ElseIf} $1 != 0
      DetailPrint "Its uninstaller ended with exit code $1"
    ${EndIf}
    Delete "$0\Uninstall.exe"
    RMDir "$0"
  ${EndIf}
!macroend

; Before anything is registered: the installation of the other scope goes,
; and so does a 64-bit DLL no longer wanted. Its unregistration (an earlier
; version's, maybe) may take the ProgID both bitnesses share, so it must come
; before the 32-bit DLL's registration, which writes that key anew.
Section -Prepare
  ${If} $MultiUser.InstallMode == AllUsers
    !insertmacro RemoveInstallation HKCU CurrentUser
  ${ElseIf} $MultiUser.Privileges == Admin
  ${OrIf} $MultiUser.Privileges == Power
    !insertmacro RemoveInstallation HKLM AllUsers
  ${EndIf}
  Call RemoveUnselected64
SectionEnd

Section "ArtNet.dll, 32-bit (the host's)" SectionDll32
  SectionIn RO
  SetOutPath "$INSTDIR"
  !insertmacro Install 32 "${DLL32}" "$INSTDIR"
SectionEnd

!ifdef DLL64
Section /o "ArtNet.dll, 64-bit (for 64-bit hosts)" SectionDll64
  !insertmacro Install 64 "${DLL64}" "$INSTDIR\x64"
SectionEnd
!endif

; An upgrade without the 64-bit DLL takes away the one installed before.
Function RemoveUnselected64
  !ifdef DLL64
  ${IfNot} ${SectionIsSelected} ${SectionDll64}
  !endif
    !insertmacro Remove 64 "$INSTDIR\x64"
    RMDir /REBOOTOK "$INSTDIR\x64"
  !ifdef DLL64
  ${EndIf}
  !endif
FunctionEnd

Section -Finish
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayName "${FULL_NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" Publisher "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\Uninstall.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoRepair 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" EstimatedSize $0
SectionEnd

Function .onInit
  ; /D= sets $INSTDIR before this runs; MultiUser would overwrite it.
  StrCpy $2 $INSTDIR
  !insertmacro MULTIUSER_INIT
  !insertmacro ScopeFromCommandLine ""
  ${If} $2 != ""
    StrCpy $INSTDIR $2
  ${EndIf}
  !ifdef DLL64
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/x64" $1
  ${IfNot} ${RunningX64}
    ; No 64-bit program could load it.
    SectionSetFlags ${SectionDll64} ${SF_RO}
    SectionSetText ${SectionDll64} ""
  ${ElseIfNot} ${Errors}
  ${OrIf} ${FileExists} "$INSTDIR\x64\ArtNet.dll"
    !insertmacro SelectSection ${SectionDll64}
  ${EndIf}
  !endif
FunctionEnd

Function .onInstSuccess
  ${If} ${RebootFlag}
    SetErrorLevel 3010
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  !insertmacro ScopeFromCommandLine un.
FunctionEnd

Function un.onUninstSuccess
  ${If} ${RebootFlag}
    SetErrorLevel 3010
  ${EndIf}
FunctionEnd

Section Uninstall
  !insertmacro Remove 64 "$INSTDIR\x64"
  !insertmacro Remove 32 "$INSTDIR"
  Delete "$INSTDIR\Uninstall.exe"
  ; After the DLLs: Windows deletes them first at the restart, then these.
  RMDir /REBOOTOK "$INSTDIR\x64"
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; The settings under ${SETTINGS_KEY} stay: they are the user's.
SectionEnd
