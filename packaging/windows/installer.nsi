; The Windows installer KorvaneSetup-<version>.exe, built by scripts/package --windows:
;   makensis -DVERSION=<version> -DSTAGE=<folder of the installed files> -DOUTFILE=<exe>
;            -DUNINSTALL_LIST=<nsh with the Delete and RMDir lines of the staged files> installer.nsi
; Per machine under Program Files (64-bit), a start-menu entry for all users, an uninstaller in
; Apps & Features. Silent with /S (the OpenVPN hint is then left out).
; A 64-bit installer: the client is a 64-bit program (and Wine here runs 64-bit programs only).
Target amd64-unicode
SetCompressor /SOLID lzma
!include MUI2.nsh
!include LogicLib.nsh

!define PRODUCT "Korvane Remote Access"
!define SHORTCUT "Korvane远程接入"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KorvaneRemoteAccess"
!define OPENVPN_DOWNLOAD "https://openvpn.net/community-downloads/"

Name "${SHORTCUT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "CompanyName" "Korvane Technologies"
VIAddVersionKey /LANG=2052 "LegalCopyright" "© Korvane Technologies"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"

!define MUI_ICON "${STAGE}\korvane.ico"
!define MUI_UNICON "${STAGE}\korvane.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${__FILEDIR__}/wizard.bmp"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${__FILEDIR__}/wizard.bmp"
!define MUI_FINISHPAGE_RUN "$INSTDIR\korvane-launcher.exe"
!define MUI_FINISHPAGE_RUN_TEXT "启动${SHORTCUT}"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; Where the client looks for openvpn.exe: "exe_path" of OpenVPN's registry key, "bin\openvpn.exe"
; below the key's folder, then PATH.
Function CheckOpenVpn
    ReadRegStr $0 HKLM "SOFTWARE\OpenVPN" "exe_path"
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0"
        Return
    ${EndIf}
    ReadRegStr $0 HKLM "SOFTWARE\OpenVPN" ""
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\bin\openvpn.exe"
        Return
    ${EndIf}
    SearchPath $0 "openvpn.exe"
    ${If} $0 != ""
        Return
    ${EndIf}
    MessageBox MB_YESNO|MB_ICONINFORMATION "本机尚未安装OpenVPN。${SHORTCUT}通过OpenVPN建立通道，需要OpenVPN及其TAP-Windows虚拟网卡。$\r$\n$\r$\n下载地址：${OPENVPN_DOWNLOAD}$\r$\n$\r$\n现在打开下载页面吗？" /SD IDNO IDNO done
    ExecShell "open" "${OPENVPN_DOWNLOAD}"
done:
FunctionEnd

Section "Install"
    ; An update while the client runs would leave old and new files mixed: it waits until the
    ; client has quit (Windows does not let a running program's file be opened for writing).
    ${If} ${FileExists} "$INSTDIR\korvane-client.exe"
        ClearErrors
        FileOpen $0 "$INSTDIR\korvane-client.exe" a
        ${If} ${Errors}
            MessageBox MB_OK|MB_ICONEXCLAMATION "${SHORTCUT}正在运行，请先退出客户端再安装。" /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
        FileClose $0
    ${EndIf}
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    SetShellVarContext all
    CreateShortCut "$SMPROGRAMS\${SHORTCUT}.lnk" "$INSTDIR\korvane-launcher.exe" "" "$INSTDIR\korvane.ico" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${SHORTCUT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Korvane Technologies"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\korvane.ico"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    Call CheckOpenVpn
SectionEnd

; Removes exactly what was installed; each user's data (%LOCALAPPDATA%\Korvane: accounts, bindings,
; day logs) stays.
Section "Uninstall"
    ; A running client holds its program file: nothing is removed until it has quit.
    ClearErrors
    Delete "$INSTDIR\korvane-client.exe"
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONEXCLAMATION "${SHORTCUT}正在运行，请先退出客户端再卸载。" /SD IDOK
        Abort
    ${EndIf}
    !include "${UNINSTALL_LIST}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${SHORTCUT}.lnk"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
