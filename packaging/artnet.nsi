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
; Windows must restart to replace a DLL a running host holds, 2 on failure.

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
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
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

; The installer puts in the DLL it carries, whatever version is there.
!define LIBRARY_IGNOREVERSION

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_TITLE "${FULL_NAME} is installed"
!define MUI_FINISHPAGE_TEXT "Start Lumenstage and choose ArtNet as its output plug-in.$\r$\n$\r$\nSettings made with an earlier version are kept."
!define MUI_UNCONFIRMPAGE_TEXT_TOP "${FULL_NAME} will be unregistered and its files removed.$\r$\nYour ArtNet settings (under ${SETTINGS_KEY}) are kept, so a later installation finds them again."

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
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

; Remove UN BITS FOLDER: unregisters the DLL and deletes it (at the next
; restart when a running host holds it).
!macro Remove BITS FOLDER
  ${If} ${FileExists} "${FOLDER}\ArtNet.dll"
    !insertmacro RegSvr32 "/u" "${FOLDER}\ArtNet.dll" ${BITS}
    ${If} $0 != 0
      DetailPrint "regsvr32 /u ${FOLDER}\ArtNet.dll: exit code $0"
    ${EndIf}
    Delete /REBOOTOK "${FOLDER}\ArtNet.dll"
  ${EndIf}
!macroend

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

Section -Finish
  ; An upgrade without the 64-bit DLL takes away the one installed before.
  !ifdef DLL64
  ${IfNot} ${SectionIsSelected} ${SectionDll64}
  !endif
    !insertmacro Remove 64 "$INSTDIR\x64"
    RMDir "$INSTDIR\x64"
  !ifdef DLL64
  ${EndIf}
  !endif

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
FunctionEnd

Section Uninstall
  !insertmacro Remove 64 "$INSTDIR\x64"
  !insertmacro Remove 32 "$INSTDIR"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR\x64"
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; The settings under ${SETTINGS_KEY} stay: they are the user's.
SectionEnd
