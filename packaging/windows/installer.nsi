; The suite's installer: the programs under Program Files, Start-menu shortcuts for the windows, an
; uninstaller in the list of installed programs. A technician's edited fwload.ini survives upgrades
; and the uninstall; an unedited one follows the installed version.
;     makensis -DVERSION=1.2.3 -DARCH=win64|win32 -DSTAGE=folder -DOUTFILE=setup.exe -DICON=x.ico installer.nsi
; The win64 installer is a 64-bit program itself, so it writes Program Files and the registry
; natively, with no WOW64 redirection, and needs no 32-bit subsystem to run.
!if "${ARCH}" == "win64"
Target amd64-unicode
!else
Unicode true
!endif
!include "LogicLib.nsh"

!define PRODUCT "Card Printer Suite"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\CardPrinterSuite"
!define MENU "$SMPROGRAMS\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!if "${ARCH}" == "win64"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!macro UseMachineView
    SetShellVarContext all
!if "${ARCH}" == "win64"
    SetRegView 64
!endif
!macroend

; $0 := fwload.ini's time of last change in the install folder, empty when there is none.
!macro SettingsTime
    ClearErrors
    GetFileTime "$INSTDIR\fwload.ini" $2 $3
    ${If} ${Errors}
        StrCpy $0 ""
    ${Else}
        StrCpy $0 "$2.$3"
    ${EndIf}
!macroend

Function .onInit
    !insertmacro UseMachineView
FunctionEnd

Function un.onInit
    !insertmacro UseMachineView
FunctionEnd

Section "Programs"
    SetOutPath "$INSTDIR"
    File "${STAGE}/fwload-cli.exe"
    File "${STAGE}/sensorpos.exe"
    File "${STAGE}/ribboncap.exe"
    File "${STAGE}/ribbonsense.exe"
!if /FileExists "${STAGE}/fwload.exe"
    File "${STAGE}/fwload.exe"
!endif
    File "${STAGE}/README-Windows.txt"
    File "${STAGE}/LICENSE"
    File "/oname=fwload.ini.default" "${STAGE}/fwload.ini"

    ; The settings: the new version's, unless the installed ones were edited since they were put there.
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "SettingsTime"
    !insertmacro SettingsTime
    ${If} $0 == ""
    ${OrIf} $0 == $1
        CopyFiles /SILENT "$INSTDIR\fwload.ini.default" "$INSTDIR\fwload.ini"
        !insertmacro SettingsTime
        WriteRegStr HKLM "${UNINSTALL_KEY}" "SettingsTime" "$0"
    ${EndIf}

    CreateDirectory "${MENU}"
!if /FileExists "${STAGE}/fwload.exe"
    CreateShortcut "${MENU}\Firmware Download.lnk" "$INSTDIR\fwload.exe"
!endif
    CreateShortcut "${MENU}\Sensor Position.lnk" "$INSTDIR\sensorpos.exe"
    CreateShortcut "${MENU}\Ribbon Capacity.lnk" "$INSTDIR\ribboncap.exe"
    CreateShortcut "${MENU}\Ribbon Sensor.lnk" "$INSTDIR\ribbonsense.exe"
    CreateShortcut "${MENU}\Read me.lnk" "$INSTDIR\README-Windows.txt"

    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The card printer service suite developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    Delete "$INSTDIR\fwload.exe"
    Delete "$INSTDIR\fwload-cli.exe"
    Delete "$INSTDIR\sensorpos.exe"
    Delete "$INSTDIR\ribboncap.exe"
    Delete "$INSTDIR\ribbonsense.exe"
    Delete "$INSTDIR\README-Windows.txt"
    Delete "$INSTDIR\LICENSE"
    Delete "$INSTDIR\fwload.ini.default"
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "SettingsTime"
    !insertmacro SettingsTime
    ${If} $0 == $1
        Delete "$INSTDIR\fwload.ini"
    ${EndIf}
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    RMDir /r "${MENU}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
