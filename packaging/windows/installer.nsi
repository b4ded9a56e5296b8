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
!include "nsDialogs.nsh"

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
Page custom PrerequisitesPage
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

; $0 := the DLL $1 the programs would load (from their folder, System32, Windows, then PATH), empty
; when there is none. The installer has the programs' architecture, so $SYSDIR is the right System32.
Function FindDll
    StrCpy $0 ""
    ${If} ${FileExists} "$INSTDIR\$1"
        StrCpy $0 "$INSTDIR\$1"
    ${ElseIf} ${FileExists} "$SYSDIR\$1"
        StrCpy $0 "$SYSDIR\$1"
    ${ElseIf} ${FileExists} "$WINDIR\$1"
        StrCpy $0 "$WINDIR\$1"
    ${Else}
        ReadEnvStr $2 PATH
        System::Call 'kernel32::SearchPathW(w r2, w r1, p 0, i ${NSIS_MAX_STRLEN}, w .r3, p 0) i .r4'
        ${If} $4 <> 0
            StrCpy $0 $3
        ${EndIf}
    ${EndIf}
FunctionEnd

; What a real printer needs besides the programs, and whether this PC has it.
Function PrerequisitesPage
    nsDialogs::Create 1018
    Pop $5
    ${If} $5 == error
        Abort
    ${EndIf}
    ${NSD_CreateLabel} 0 0 100% 56u "To serve a real printer, this PC also needs:$\r$\n\
1. FTDI's D2XX driver (FTDI's $\"D2XX drivers$\" setup): the printer's USB driver and ftd2xx.dll, \
which fwload and fwload-cli load.$\r$\n\
2. The printer maker's SDK DLLs (KX4700.DLL or CRDPRT.DLL), which the three tools and fwload's \
display set-up load: put them beside the programs in $INSTDIR, or in a folder on the PATH."
    Pop $5
    StrCpy $1 ftd2xx.dll
    Call FindDll
    ${If} $0 == ""
        StrCpy $0 "FTDI's D2XX driver: ftd2xx.dll was not found; install the driver before downloading firmware."
    ${Else}
        StrCpy $0 "FTDI's D2XX driver: found ($0)."
    ${EndIf}
    ${NSD_CreateLabel} 0 58u 100% 20u "$0"
    Pop $5
    StrCpy $1 KX4700.DLL
    Call FindDll
    ${If} $0 == ""
        StrCpy $1 CRDPRT.DLL
        Call FindDll
    ${EndIf}
    ${If} $0 == ""
        StrCpy $0 "The maker's SDK: neither KX4700.DLL nor CRDPRT.DLL was found; the tools need one of them."
    ${Else}
        StrCpy $0 "The maker's SDK: found ($0)."
    ${EndIf}
    ${NSD_CreateLabel} 0 80u 100% 20u "$0"
    Pop $5
    ${NSD_CreateLabel} 0 102u 100% 20u "Without a printer, try the programs on the virtual printer's zip \
(cardprinter-suite-sim); its README-sim.txt says how."
    Pop $5
    nsDialogs::Show
FunctionEnd

Function .onInit
    !insertmacro UseMachineView
FunctionEnd

Function un.onInit
    !insertmacro UseMachineView
FunctionEnd

Section "Programs"
    SetOutPath "$INSTDIR"
    File "${STAGE}/fwload-cli.exe"
    File "${STAGE}/fwload-station.exe"
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
    CreateShortcut "${MENU}\Flashing Station.lnk" "$INSTDIR\fwload-station.exe"
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
    Delete "$INSTDIR\fwload-station.exe"
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
    ${ElseIf} $0 != ""
        MessageBox MB_OK|MB_ICONINFORMATION "Your edited fwload.ini is kept in $INSTDIR; delete the folder \
when you no longer need it." /SD IDOK
    ${EndIf}
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    RMDir /r "${MENU}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
