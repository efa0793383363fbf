; The installer of ArtNet.dll for host owners: the 32-bit DLL the host loads
; and, as an option, the 64-bit one beside it; for every user of the machine
; (administrator) or for the current user alone (no administrator rights);
; each DLL registered by the regsvr32 of its own bitness; an entry in the
; list of installed programs whose uninstaller removes all of it again but
; keeps the user's settings.
;
; makensis -DVERSION=1.0 -DDLL32=ArtNet.dll [-DDLL64=x64/ArtNet.dll]
;          [-DCHECK=ArtNetCheck.exe] -DOUTFILE=ArtNet-1.0-setup.exe artnet.nsi
;
; CHECK: the owner's check, installed beside the DLL with a Start-menu
; shortcut; a setup without it removes one an earlier setup installed.
;
; Command line of the installer: /S silent, /AllUsers or /CurrentUser, /x64
; for the 64-bit DLL too, /D=FOLDER (last). It ends with 0, or 3010 when a
; DLL a running host holds was moved aside and is deleted when Windows
; restarts, 2 on failure, 740 when /AllUsers is asked of a user who is no
; administrator. The uninstaller ends the same way. Both write what they did
; to %TEMP%\ArtNet-setup.log.
;
; Test builds: -DTEST_ACCOUNT_TYPE=User takes its user for a standard one
; whatever Windows says (Wine makes everyone an administrator);
; -DTEST_PAGES=FILE drives its own pages, writing what each shows to FILE.

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
!define CHECK_SHORTCUT "$SMPROGRAMS\ArtNet Check.lnk"

Name "${FULL_NAME}"
OutFile "${OUTFILE}"
BrandingText "${FULL_NAME} ${VERSION}"

; Authenticode: SIGN is a command that signs the file it is given in place.
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif

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
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh
!include nsDialogs.nsh

; Exit code of a silent run asked to install for every user by a user who is
; no administrator (ERROR_ELEVATION_REQUIRED).
!define EXIT_NEEDS_ADMIN 740

!ifndef README
  !define README "${__FILEDIR__}/README.txt"
!endif
!define CLSID "{066E50C0-E469-4227-A951-B91286146B07}"
!define LOG "$TEMP\ArtNet-setup.log"

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_TITLE "${FULL_NAME} is installed"
!define MUI_FINISHPAGE_TEXT "Start Lumenstage and choose ArtNet as its output plug-in.$\r$\n$\r$\nSettings made with an earlier version are kept."
!define MUI_UNCONFIRMPAGE_TEXT_TOP "${FULL_NAME} will be unregistered and its files removed.$\r$\nYour ArtNet settings (under ${SETTINGS_KEY}) are kept, so a later installation finds them again."

; A restart may end a running show: the finish pages never offer it first.
!macro FinishPageSettings PREFIX
  !define MUI_FINISHPAGE_REBOOTLATER_DEFAULT
  !define MUI_PAGE_CUSTOMFUNCTION_SHOW ${PREFIX}FinishPageShow
!macroend

Page custom ScopePage ScopePageLeave
!ifdef TEST_PAGES
  !define MUI_PAGE_CUSTOMFUNCTION_SHOW TestNextPage
!endif
!insertmacro MUI_PAGE_COMPONENTS
!ifdef TEST_PAGES
  !define MUI_PAGE_CUSTOMFUNCTION_SHOW TestNextPage
!endif
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT_REBOOT "A running host holds the earlier ArtNet.dll: restart the host to use the new one. The earlier file is deleted when Windows restarts."
!insertmacro FinishPageSettings ""
!insertmacro MUI_PAGE_FINISH
!ifdef TEST_PAGES
  !define MUI_PAGE_CUSTOMFUNCTION_SHOW un.TestNextPage
!endif
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${FULL_NAME} is removed"
!define MUI_FINISHPAGE_TEXT_REBOOT "A running host still holds ArtNet.dll: it is moved aside, and deleted with its folder when Windows restarts."
!insertmacro FinishPageSettings un.
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE English

; Log TEXT: shown in the details and appended to the log an owner can send.
!macro Log TEXT
  DetailPrint "${TEXT}"
  FileOpen $R8 "${LOG}" a
  FileSeek $R8 0 END
  FileWrite $R8 "${TEXT}$\r$\n"
  FileClose $R8
!macroend

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
  !insertmacro Log "regsvr32 ${OPTIONS} $1 ${DLL}: exit code $0"
!macroend

; DeleteFile FILE: deletes it now. A file a running host holds cannot be
; deleted, but it can be renamed: it becomes FILE.N.old, deleted when Windows
; restarts. A delete queued by the file's own name would take whatever a
; later installation puts there before the restart. Errors set when the file
; is still there.
!macro DeleteFile FILE
  Delete "${FILE}.*.old" ; those no longer held
  Delete "${FILE}"
  ClearErrors
  ${If} ${FileExists} "${FILE}"
    StrCpy $R9 1
    ${While} ${FileExists} "${FILE}.$R9.old"
      IntOp $R9 $R9 + 1
    ${EndWhile}
    Rename "${FILE}" "${FILE}.$R9.old"
    ${IfNot} ${Errors}
      !insertmacro Log "${FILE} is in use: moved to ${FILE}.$R9.old, deleted when Windows restarts"
      Delete /REBOOTOK "${FILE}.$R9.old"
      ClearErrors
    ${EndIf}
  ${EndIf}
!macroend

; Install BITS SOURCE FOLDER: puts the DLL it carries in place, whatever
; version is there (a repair replaces a changed one, a downgrade the newer
; one); one a running host holds is moved aside first, and the host goes on
; with it until it restarts. Then registers it.
!macro Install BITS SOURCE FOLDER
  CreateDirectory "${FOLDER}"
  !insertmacro DeleteFile "${FOLDER}\ArtNet.dll"
  ${IfNot} ${Errors}
    File "/oname=${FOLDER}\ArtNet.dll" "${SOURCE}"
  ${EndIf}
  ; The old DLL would stay while the setup said it was done.
  ${If} ${Errors}
    !insertmacro Log "${FOLDER}\ArtNet.dll could not be replaced: exit code 2"
    MessageBox MB_OK|MB_ICONSTOP "ArtNet.dll is in use and could not be replaced. Close Lumenstage and run the setup again." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  !insertmacro RegSvr32 "" "${FOLDER}\ArtNet.dll" ${BITS}
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONSTOP "The ${BITS}-bit ArtNet.dll could not be registered (regsvr32 exit code $0)." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
!macroend

; Unregister BITS FOLDER SOURCE: takes the registration of FOLDER\ArtNet.dll
; away in the chosen scope, also when the file is gone (an owner may delete
; x64\ by hand): the keys are the same whatever the path, so the copy SOURCE
; carried here unregisters it ("": only a file that is there). A class
; registered from another folder (the zip's, say) is left alone.
!macro Unregister BITS FOLDER SOURCE
  SetRegView ${BITS}
  ReadRegStr $R0 SHCTX "Software\Classes\CLSID\${CLSID}\InprocServer32" ""
  SetRegView default
  StrCpy $R1 ""
  ${If} $R0 == "${FOLDER}\ArtNet.dll"
    StrCpy $R1 yes
  ${ElseIf} $R0 != ""
  ${AndIfNot} ${FileExists} $R0
    StrCpy $R1 yes
  ${EndIf}
  !if ${BITS} == 64
    ${IfNot} ${RunningX64}
      StrCpy $R1 ""
    ${EndIf}
  !endif
  ${If} $R1 == yes
    !if "${SOURCE}" != ""
      InitPluginsDir
      CreateDirectory "$PLUGINSDIR\${BITS}"
      File "/oname=$PLUGINSDIR\${BITS}\ArtNet.dll" "${SOURCE}"
      !insertmacro RegSvr32 "/u" "$PLUGINSDIR\${BITS}\ArtNet.dll" ${BITS}
    !else
      ${If} ${FileExists} "${FOLDER}\ArtNet.dll"
        !insertmacro RegSvr32 "/u" "${FOLDER}\ArtNet.dll" ${BITS}
      ${EndIf}
    !endif
  ${EndIf}
!macroend

; Remove BITS FOLDER SOURCE: unregisters the DLL and deletes it (moved aside
; when a running host holds it, which sets the restart flag).
!macro Remove BITS FOLDER SOURCE
  !insertmacro Unregister ${BITS} "${FOLDER}" "${SOURCE}"
  !insertmacro DeleteFile "${FOLDER}\ArtNet.dll"
  ${If} ${Errors}
    !insertmacro Log "${FOLDER}\ArtNet.dll could not be removed: exit code 2"
    MessageBox MB_OK|MB_ICONSTOP "${FOLDER}\ArtNet.dll is in use and could not be removed. Close Lumenstage and try again." /SD IDOK
    SetErrorLevel 2
    Abort
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
      !insertmacro Log "Needs an administrator: exit code ${EXIT_NEEDS_ADMIN}"
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

; IsAdmin: whether a per-machine installation can be had (or removed).
!macro _IsAdmin _a _b _t _f
  StrCmp $MultiUser.Privileges Admin +2
  StrCmp $MultiUser.Privileges Power `${_t}` `${_f}`
  StrCmp "" "" `${_t}` `${_f}`
!macroend
!define IsAdmin `"" IsAdmin ""`

; RemoveInstallation ROOT SCOPE: runs the uninstaller of the installation in
; ROOT, if there is one and it is not the one being installed: the other
; scope's (the current user's classes come before the machine's on Windows,
; and a stale per-user class would go on shadowing a new per-machine one), or
; this scope's in another folder, so that one installation is left. It runs
; a copy with _?= so that it can be waited for (an earlier version's
; uninstaller hands over to another process); its restart flag becomes ours.
!macro RemoveInstallation ROOT SCOPE
  ReadRegStr $0 ${ROOT} "${UNINSTALL_KEY}" InstallLocation
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\Uninstall.exe"
  ${AndIf} "$0|${SCOPE}" != "$INSTDIR|$MultiUser.InstallMode"
    !insertmacro Log "Removing the earlier installation ($0, ${SCOPE}) first"
    InitPluginsDir
    CopyFiles /SILENT "$0\Uninstall.exe" "$PLUGINSDIR\uninstall-${SCOPE}.exe"
    ExecWait '"$PLUGINSDIR\uninstall-${SCOPE}.exe" /${SCOPE} /S _?=$0' $1
    !insertmacro Log "Its uninstaller ended with exit code $1"
    ${If} $1 == 3010
      SetRebootFlag true
    ${EndIf}
    Delete "$0\Uninstall.exe"
    RMDir "$0"
  ${EndIf}
!macroend

; Before anything is registered: the installation of the other scope or
; folder goes, and so does a 64-bit DLL no longer wanted. Its unregistration
; (an earlier version's, maybe) may take the ProgID both bitnesses share, so
; it must come before the 32-bit DLL's registration, which writes that key
; anew.
Section -Prepare
  !insertmacro Log "${FULL_NAME} ${VERSION} setup, $MultiUser.InstallMode, in $INSTDIR"
  ${If} ${IsAdmin}
    !insertmacro RemoveInstallation HKLM AllUsers
  ${EndIf}
  !insertmacro RemoveInstallation HKCU CurrentUser
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
!define CARRIED64 "${DLL64}"
!else
; A setup without it can unregister only a 64-bit DLL that is there.
!define CARRIED64 ""
!endif

; An upgrade or repair without the 64-bit DLL takes away the one installed
; before, and its registration even when its file is gone.
Function RemoveUnselected64
  !ifdef DLL64
  ${IfNot} ${SectionIsSelected} ${SectionDll64}
  !endif
    !insertmacro Remove 64 "$INSTDIR\x64" "${CARRIED64}"
    RMDir /REBOOTOK "$INSTDIR\x64"
  !ifdef DLL64
  ${EndIf}
  !endif
FunctionEnd

Section -Finish
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  File "/oname=$INSTDIR\README.txt" "${README}"
  ; A check the owner has open is moved aside like a held DLL.
  !insertmacro DeleteFile "$INSTDIR\ArtNetCheck.exe"
  Delete "${CHECK_SHORTCUT}"
  !ifdef CHECK
    File "/oname=$INSTDIR\ArtNetCheck.exe" "${CHECK}"
    CreateShortCut "${CHECK_SHORTCUT}" "$INSTDIR\ArtNetCheck.exe" "" "" "" SW_SHOWNORMAL "" \
      "Why ArtNet has no output or no input: a report to read or send"
  !endif
  StrCpy $0 "${FULL_NAME}"
  ${If} $MultiUser.InstallMode == CurrentUser
    StrCpy $0 "$0 (current user)"
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayName "$0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" Publisher "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" HelpLink "$INSTDIR\README.txt"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\Uninstall.exe"
  ; Run in place (_?=), so that whoever runs them waits for the real work
  ; and reads its exit code; the uninstaller then removes itself.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode _?=$INSTDIR'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode /S _?=$INSTDIR'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoRepair 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" EstimatedSize $0
  !ifdef TEST_PAGES
    SetRebootFlag true ; so that the finish page shows its choice
  !endif
SectionEnd

; The scope page, always shown: per machine greyed out, with the reason, when
; it cannot be had; the note on elevated hosts; and, before "just for me"
; takes an installation for every user away, what that means for them.
Var ScopeAllUsers
Var ScopeCurrentUser
Var ScopeWarning
Var ScopeReason
Function ScopePage
  !insertmacro MUI_HEADER_TEXT "Who is it for?" "Install ArtNet for anyone using this computer, or just for you."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 34u "A host run as administrator sees only an installation for anyone: choose that if you run Lumenstage as administrator. $(^ClickNext)"
  Pop $0
  ${NSD_CreateRadioButton} 10u 38u -10u 10u "Install for anyone using this computer"
  Pop $ScopeAllUsers
  ${NSD_CreateLabel} 22u 50u -22u 18u "Needs an administrator: start the setup as administrator for this."
  Pop $ScopeReason
  ${NSD_CreateRadioButton} 10u 70u -10u 10u "Install just for me (no administrator rights needed; not seen by a host run as administrator)"
  Pop $ScopeCurrentUser
  ${NSD_CreateLabel} 22u 84u -22u 40u "ArtNet is installed for every user of this computer. Installing just for you removes that installation: the other users of this computer no longer have ArtNet until they install it for themselves."
  Pop $ScopeWarning
  ${If} ${IsAdmin}
    ShowWindow $ScopeReason ${SW_HIDE}
  ${Else}
    EnableWindow $ScopeAllUsers 0
  ${EndIf}
  ${If} $MultiUser.InstallMode == AllUsers
    ${NSD_Check} $ScopeAllUsers
  ${Else}
    ${NSD_Check} $ScopeCurrentUser
  ${EndIf}
  ${NSD_OnClick} $ScopeAllUsers ScopePageClick
  ${NSD_OnClick} $ScopeCurrentUser ScopePageClick
  Push $ScopeAllUsers
  Call ScopePageClick
  !ifdef TEST_PAGES
    Call TestScopePage
  !endif
  nsDialogs::Show
FunctionEnd

Function ScopePageClick
  Pop $0 ; the control, when clicked
  ${NSD_GetState} $ScopeCurrentUser $0
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" InstallLocation
  ${If} $0 == ${BST_CHECKED}
  ${AndIf} $1 != ""
  ${AndIf} ${IsAdmin}
    ShowWindow $ScopeWarning ${SW_SHOW}
  ${Else}
    ShowWindow $ScopeWarning ${SW_HIDE}
  ${EndIf}
FunctionEnd

Function ScopePageLeave
  ${NSD_GetState} $ScopeAllUsers $0
  ${If} $0 == ${BST_CHECKED}
    Call MultiUser.InstallMode.AllUsers
  ${Else}
    Call MultiUser.InstallMode.CurrentUser
  ${EndIf}
  !ifdef DLL64
  ${IfNot} ${SectionIsSelected} ${SectionDll64}
  ${AndIf} ${FileExists} "$INSTDIR\x64\ArtNet.dll"
    !insertmacro SelectSection ${SectionDll64}
  ${EndIf}
  !endif
FunctionEnd

!ifdef TEST_PAGES
!macro TestReport TEXT
  FileOpen $R8 "${TEST_PAGES}" a
  FileSeek $R8 0 END
  FileWrite $R8 "${TEXT}$\r$\n"
  FileClose $R8
!macroend
!macro TestNextPageFunction PREFIX
  Function ${PREFIX}TestNextPage
    GetDlgItem $0 $HWNDPARENT 1
    System::Call 'user32::PostMessage(p $HWNDPARENT, i ${WM_COMMAND}, i 1, p r0)'
  FunctionEnd
!macroend
!insertmacro TestNextPageFunction ""
!insertmacro TestNextPageFunction un.
; What the scope page shows (1: enabled, checked or visible), then the same
; after a click on "just for me".
!macro TestScopeState
  System::Call 'user32::IsWindowEnabled(p $ScopeAllUsers) i .r0'
  ${NSD_GetState} $ScopeAllUsers $1
  System::Call 'user32::GetWindowLong(p $ScopeReason, i ${GWL_STYLE}) i .r2'
  IntOp $2 $2 >> 28 ; WS_VISIBLE: the page itself is not shown yet
  IntOp $2 $2 & 1
  ${NSD_GetState} $ScopeCurrentUser $3
  System::Call 'user32::GetWindowLong(p $ScopeWarning, i ${GWL_STYLE}) i .r4'
  IntOp $4 $4 >> 28
  IntOp $4 $4 & 1
  !insertmacro TestReport "scope: for anyone enabled $0 checked $1 reason $2, just for me checked $3 warning $4"
!macroend
Function TestScopePage
  !insertmacro TestScopeState
  SendMessage $ScopeCurrentUser ${BM_CLICK} 0 0
  !insertmacro TestScopeState
  Call TestNextPage
FunctionEnd
!endif

!macro FinishPageShowFunction PREFIX
  Function ${PREFIX}FinishPageShow
    ; Enter must not restart the PC either.
    ${If} ${RebootFlag}
      ${NSD_SetFocus} $mui.FinishPage.RebootLater
    ${EndIf}
    !ifdef TEST_PAGES
      ${NSD_GetState} $mui.FinishPage.RebootNow $0
      ${NSD_GetState} $mui.FinishPage.RebootLater $1
      !insertmacro TestReport "${PREFIX}finish: restart now $0, later $1"
      Call ${PREFIX}TestNextPage
    !endif
  FunctionEnd
!macroend
!insertmacro FinishPageShowFunction ""
!insertmacro FinishPageShowFunction un.


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
  GetErrorLevel $0
  ${If} $0 < 0
    StrCpy $0 0
  ${EndIf}
  !insertmacro Log "Installed: exit code $0"
FunctionEnd

Function .onInstFailed
  !insertmacro Log "Setup failed"
FunctionEnd

; The uninstaller run in place by the entry's command (_?= names its own
; folder) cannot delete its own file while its caller waits for it: a copy of
; it, started with /RemoveAfter=PID, waits for it to end and then deletes the
; file and the folder.
Function un.onInit
  ${un.GetParameters} $0
  ClearErrors
  ${un.GetOptions} $0 "/RemoveAfter=" $1
  ${IfNot} ${Errors}
    ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION
    System::Call 'kernel32::OpenProcess(i 0x00101000, i 0, i r1) p .r2'
    ${If} $2 P<> 0
      StrCpy $3 ${NSIS_MAX_STRLEN}
      System::Call 'kernel32::QueryFullProcessImageNameW(p r2, i 0, w .r4, *i r3)'
      ${un.GetFileName} $4 $4
      ; One that has ended already may have passed its id on to another.
      ${If} $4 == Uninstall.exe
        System::Call 'kernel32::WaitForSingleObject(p r2, i -1)'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete /REBOOTOK "$EXEPATH"
    Quit
  ${EndIf}
  !insertmacro MULTIUSER_UNINIT
  !insertmacro ScopeFromCommandLine un.
FunctionEnd

Function un.onUninstSuccess
  ${If} ${RebootFlag}
    SetErrorLevel 3010
  ${EndIf}
  GetErrorLevel $0
  ${If} $0 < 0
    StrCpy $0 0
  ${EndIf}
  !insertmacro Log "Uninstalled: exit code $0"
FunctionEnd

Function un.onUninstFailed
  !insertmacro Log "Uninstall failed"
FunctionEnd

Section Uninstall
  !insertmacro Log "${FULL_NAME} ${VERSION} uninstall, $MultiUser.InstallMode, in $INSTDIR"
  ; The 64-bit part first: the ProgID both share goes with the last class.
  !if "${CARRIED64}" != ""
    !insertmacro Remove 64 "$INSTDIR\x64" "${CARRIED64}"
  !endif
  !insertmacro Remove 32 "$INSTDIR" "${DLL32}"
  Delete "$INSTDIR\README.txt"
  !insertmacro DeleteFile "$INSTDIR\ArtNetCheck.exe"
  Delete "${CHECK_SHORTCUT}"
  Delete "$INSTDIR\Uninstall.exe"
  ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
    System::Call 'kernel32::GetCurrentProcessId() i .r0'
    GetTempFileName $1
    Rename "$1" "$1.exe"
    CopyFiles /SILENT "$EXEPATH" "$1.exe"
    Exec '"$1.exe" /RemoveAfter=$0 _?=$INSTDIR'
  ${EndIf}
  ; Folders that still hold a file moved aside go at the restart, after it.
  ${If} ${RebootFlag}
    RMDir /REBOOTOK "$INSTDIR\x64"
    RMDir /REBOOTOK "$INSTDIR"
  ${Else}
    RMDir "$INSTDIR\x64"
    RMDir "$INSTDIR"
  ${EndIf}
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; The settings under ${SETTINGS_KEY} stay: they are the user's.
  !ifdef TEST_PAGES
    SetRebootFlag true ; so that the finish page shows its choice
  !endif
SectionEnd
