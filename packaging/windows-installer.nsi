; Pallimor's Windows installer. windows-installer.cmake runs makensis on it with VERSION,
; FILE_VERSION (four numbers), PROGRAM, LICENSE, ICON and OUTFILE defined.
;
; It installs for every user of the machine into the 64-bit Program Files. Both the installer
; and the uninstaller write and delete only the files named here, and an installation first
; runs the uninstaller of the one already there, so an upgrade leaves no file of the old one.

Unicode true
; The program is 64-bit only; a 64-bit installer also runs under Wine without its 32-bit half.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define APP "Pallimor"
!define PUBLISHER "The Pallimor developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define DEFAULT_DIR "$PROGRAMFILES64\${APP}"

Name "${APP}"
OutFile "${OUTFILE}"
InstallDir "${DEFAULT_DIR}"
RequestExecutionLevel admin
BrandingText "${APP} ${VERSION}"

VIProductVersion "${FILE_VERSION}"
VIFileVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${APP}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${APP} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}. Licence: GPL-3.0-or-later"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The GPL is not an agreement to accept: the page shows it and goes on with Next.
!define MUI_LICENSEPAGE_TEXT_TOP "Pallimor is free software under the GNU General Public License, version 3 or later."
!define MUI_LICENSEPAGE_TEXT_BOTTOM "You need not accept this licence to use Pallimor; it sets your rights to copy, change and share it."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Function .onInit
    SetShellVarContext all
    SetRegView 64
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "admin"
        MessageBox MB_ICONSTOP "Installing ${APP} for all users needs an administrator account." /SD IDOK
        SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
        Quit
    ${EndIf}
    ; An upgrade goes where the installed version is, unless /D= named another folder.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} $INSTDIR == "${DEFAULT_DIR}"
        StrCpy $INSTDIR $0
    ${EndIf}
FunctionEnd

; Runs the installed version's own uninstaller, which knows its own files.
Function RemoveInstalledVersion
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == ""
    ${OrIfNot} ${FileExists} "$0\uninstall.exe"
        Return
    ${EndIf}
    DetailPrint "Removing the installed version from $0"
    ; _?= makes the uninstaller work in place and be waited for, instead of starting a copy of
    ; itself and returning at once; it then cannot delete itself, so that is done here.
    ClearErrors
    ExecWait '"$0\uninstall.exe" /S _?=$0' $1
    ${If} ${Errors}
    ${OrIf} $1 != 0
        Abort "The installed version in $0 could not be removed (status $1)."
    ${EndIf}
    Delete "$0\uninstall.exe"
    RMDir "$0"
FunctionEnd

Section "${APP}"
    SectionIn RO
    Call RemoveInstalledVersion

    SetOutPath "$INSTDIR"
    File "/oname=pallimor.exe" "${PROGRAM}"
    File "/oname=LICENSE.txt" "${LICENSE}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\pallimor.exe"

    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pallimor.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
    SetShellVarContext all
    SetRegView 64
FunctionEnd

Section "Uninstall"
    ; Windows keeps a running program's file; everything stays until Pallimor is closed.
    ClearErrors
    Delete "$INSTDIR\pallimor.exe"
    ${If} ${Errors}
        MessageBox MB_ICONSTOP "Close ${APP}, then uninstall it again." /SD IDOK
        Abort
    ${EndIf}
    Delete "$SMPROGRAMS\${APP}.lnk"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    ; Only if empty: whatever else the user put there stays.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
