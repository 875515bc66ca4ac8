; VQD Example Burner: a made-up product whose setup installs the VQD CD/DVD-ROM
; filter driver by calling vqdinst.exe. Use it as a pattern for your own setup.
;
;   makensis /DVQDINST=path/to/vqdinst.exe [/DOUTFILE=BurnerSetup.exe] burner.nsi
;
; What it shows:
;   - vqdinst.exe is carried inside the setup and inside the uninstaller and
;     run from $PLUGINSDIR, which is also its current directory: the flag
;     files it writes ("reboot.txt", "badinst.txt") appear there;
;   - "/CHECK" before anything else, to find a driver that the user disabled
;     or a Windows the driver does not support, and again after the install;
;   - exit code 13 (the driver is not in place after the install, which then
;     counted nothing) taken as a failure: a warning, and no record;
;   - "/INSTALL" on the first install (it raises the driver's install count,
;     which several products share), "/UPGRADE" on a repair of this product
;     (the count stays, so the uninstall's "/REMOVE" still balances it);
;   - exit code 6 or "reboot.txt" turned into the setup's own reboot flag: a
;     question at the end (answered No in silent mode) and the exit code
;     3010 (ERROR_SUCCESS_REBOOT_REQUIRED) for whoever ran the setup.
;
; Silent install: BurnerSetup.exe /S [/D=C:\path]
; Silent uninstall that waits: "C:\path\uninst.exe" /S _?=C:\path

; ANSI, because a Unicode setup does not start on Windows 9x, where the
; driver is installed too.
Unicode false

!ifndef VQDINST
  !error "Give the vqdinst.exe to carry: makensis /DVQDINST=path/to/vqdinst.exe burner.nsi"
!endif
!ifndef OUTFILE
  !define OUTFILE "BurnerSetup.exe"
!endif

!define PRODUCT     "VQD Example Burner"
!define COMPANY     "Quillfen Software"
!define VERSION     "1.4.0"
!define PRODUCT_KEY "Software\Quillfen Software\VQD Example Burner"
!define UNINST_KEY  "Software\Microsoft\Windows\CurrentVersion\Uninstall\VQDExampleBurner"
!define ERROR_SUCCESS_REBOOT_REQUIRED 3010

!include LogicLib.nsh
!include WinVer.nsh

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
; vqdinst.exe refuses to install without administrator rights (exit code 5).
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var VqdExit     ; exit code of the last vqdinst.exe run ("" when it did not start)
Var DisabledSys ; where a disabled driver lies on this Windows

; Push a line, then call: it is added to Setup.log in the product folder.
; Every vqdinst.exe run is written there with its exit code, and every
; warning, so that support can see what the setup found; after a setup that
; was aborted the log is all that is left.
Function SetupLog
  Exch $0
  Push $1
  CreateDirectory "$INSTDIR"
  ClearErrors
  FileOpen $1 "$INSTDIR\Setup.log" a
  ${IfNot} ${Errors}
    FileSeek $1 0 END
    FileWrite $1 "$0$\r$\n"
    FileClose $1
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

; A warning: a box (answered OK in silent mode) and a line in Setup.log.
!macro Warn TEXT
  Push "Warning: ${TEXT}"
  Call SetupLog
  MessageBox MB_OK|MB_ICONEXCLAMATION "${TEXT}" /SD IDOK
!macroend
!define Warn "!insertmacro Warn"

; ---------------------------------------------------------------------------
; Running vqdinst.exe. The same functions go into the setup and, with the
; "un." prefix, into the uninstaller, which carries its own copy: the product
; folder holds no vqdinst.exe that a later setup could replace or delete.
; ---------------------------------------------------------------------------
!macro VQD_FUNCTIONS UN

; Writes vqdinst.exe into $PLUGINSDIR (removed when the setup ends).
Function ${UN}ExtractVqdinst
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "/oname=vqdinst.exe" "${VQDINST}"
FunctionEnd

; Push the switches, then call: $VqdExit gets the exit code, and the setup's
; reboot flag is set when a reboot is needed. That shows twice, as exit code
; 6 and as the flag file "reboot.txt" in vqdinst.exe's current directory;
; both are read, the file for callers whose exit code got lost on the way.
; Every run of vqdinst.exe first deletes the flag files of the run before,
; so a file found here is always this run's.
Function ${UN}RunVqdinst
  Exch $0
  SetOutPath "$PLUGINSDIR"
  ClearErrors
  ExecWait '"$PLUGINSDIR\vqdinst.exe" $0' $VqdExit
  ${If} ${Errors}
    StrCpy $VqdExit ""
  ${EndIf}
  ${If} $VqdExit == 6
  ${OrIf} ${FileExists} "$PLUGINSDIR\reboot.txt"
    SetRebootFlag true
  ${EndIf}
  DetailPrint "vqdinst.exe $0: exit code $VqdExit"
  !if "${UN}" == ""
    Push "vqdinst.exe $0: $VqdExit"
    Call SetupLog
  !endif
  ; Windows cannot remove a folder that is a process's current directory;
  ; leave $PLUGINSDIR so that it goes when the setup ends.
  SetOutPath "$TEMP"
  Pop $0
FunctionEnd

; The reboot question at the end, and the exit code that tells a calling
; program (or a silent deployment) that Windows must be restarted.
Function ${UN}AskReboot
  ${If} ${RebootFlag}
    SetErrorLevel ${ERROR_SUCCESS_REBOOT_REQUIRED}
    MessageBox MB_YESNO|MB_ICONQUESTION \
      "Windows must be restarted before the VQD driver is used.$\r$\n$\r$\nRestart now?" \
      /SD IDNO IDNO +2
    Reboot
  ${EndIf}
FunctionEnd

!macroend

!insertmacro VQD_FUNCTIONS ""
!insertmacro VQD_FUNCTIONS "un."

; Where vqdinst.exe puts the driver file of a disabled driver ("/DISABLE"
; renames the driver to .DIS), per Windows family.
Function FindDisabledDriver
  ${If} ${IsNT}
    ${If} ${AtLeastWin2000}
      StrCpy $DisabledSys "$SYSDIR\DRIVERS\VQD2K.DIS"
    ${Else}
      StrCpy $DisabledSys "$SYSDIR\DRIVERS\VQD.DIS"
    ${EndIf}
  ${Else}
    StrCpy $DisabledSys "$SYSDIR\IOSUBSYS\MERIDAX.DIS"
  ${EndIf}
FunctionEnd

; ---------------------------------------------------------------------------
; Install
; ---------------------------------------------------------------------------
Section "-VQD driver"
  Call ExtractVqdinst

  ; 1. "/CHECK" changes nothing: 11 means the driver is installed and
  ;    enabled (maybe by another product), 10 that it is not, or that it is
  ;    installed but disabled. 5 and 12 are refusals that every switch gets.
  Push "/CHECK"
  Call RunVqdinst
  ${Switch} $VqdExit
    ${Case} 11
      DetailPrint "The VQD driver is installed already; this product shares it."
      ${Break}
    ${Case} 10
      ; A driver the user disabled is not installed over: enable it first,
      ; as vqdinst.exe's own dialog does, once the user agrees. Without
      ; that, leave it alone: "/INSTALL" or "/UPGRADE" would put an active
      ; driver in place of the disabled one, against the user's choice.
      Call FindDisabledDriver
      ${If} ${FileExists} "$DisabledSys"
        MessageBox MB_YESNO|MB_ICONEXCLAMATION \
          "The VQD driver on this computer has been disabled. ${PRODUCT} cannot burn discs without it.$\r$\n$\r$\nEnable the VQD driver again?" \
          /SD IDYES IDYES enable
        Push "The user kept the VQD driver disabled."
        Call SetupLog
        Return
        enable:
        Push "/ENABLE"
        Call RunVqdinst
        ; "/ENABLE" exits 0, yet the renamed driver is loaded only when
        ; Windows starts again.
        SetRebootFlag true
      ${EndIf}
      ${Break}
    ${Case} 5
      Push "Error: administrator rights needed."
      Call SetupLog
      MessageBox MB_OK|MB_ICONSTOP "Installing ${PRODUCT} needs administrator rights." /SD IDOK
      Abort
    ${Case} 12
      ${Warn} "The VQD driver does not support this version of Windows. ${PRODUCT} is installed without it and cannot burn discs."
      Return
    ${Default}
      ${Warn} "The VQD driver check failed (code $VqdExit). ${PRODUCT} is installed without the driver."
      Return
  ${EndSwitch}

  ; 2. Install, or on a repair of this product upgrade: each "/INSTALL"
  ;    counts one more product using the driver, and this product's
  ;    uninstall gives back only one.
  ReadRegDWORD $1 HKLM "${PRODUCT_KEY}" "DriverCounted"
  ${If} $1 == 1
    Push "/UPGRADE"
  ${Else}
    Push "/INSTALL"
  ${EndIf}
  Call RunVqdinst
  ${If} $VqdExit == 13
    ; The driver is not in place afterwards (a file in use, a folder in its
    ; way): vqdinst.exe counted nothing, so no record is written here (a
    ; repair keeps the one of its first install). A reboot it needs is
    ; flagged all the same.
    ${Warn} "The VQD driver could not be installed (code 13). ${PRODUCT} cannot burn discs until it is."
    Return
  ${EndIf}
  ${If} $VqdExit != 0
  ${AndIf} $VqdExit != 6
    ${Warn} "The VQD driver could not be installed (code $VqdExit)."
    Return
  ${EndIf}
  WriteRegDWORD HKLM "${PRODUCT_KEY}" "DriverCounted" 1

  ; 3. "/CHECK" again: the driver installed and enabled, as this product
  ;    needs it.
  Push "/CHECK"
  Call RunVqdinst
  ${If} $VqdExit != 11
    ${Warn} "The VQD driver is not installed correctly. ${PRODUCT} cannot burn discs until it is."
  ${EndIf}
SectionEnd

Section "-Program files"
  SetOutPath "$INSTDIR"
  File "files\ReadMe.txt"
  File "files\Burner.ini"
  WriteUninstaller "$INSTDIR\uninst.exe"

  ; Add/Remove Programs
  WriteRegStr   HKLM "${UNINST_KEY}" "DisplayName"          "${PRODUCT}"
  WriteRegStr   HKLM "${UNINST_KEY}" "DisplayVersion"       "${VERSION}"
  WriteRegStr   HKLM "${UNINST_KEY}" "Publisher"            "${COMPANY}"
  WriteRegStr   HKLM "${UNINST_KEY}" "InstallLocation"      "$INSTDIR"
  WriteRegStr   HKLM "${UNINST_KEY}" "UninstallString"      '"$INSTDIR\uninst.exe"'
  WriteRegStr   HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninst.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

Function .onInstSuccess
  Call AskReboot
FunctionEnd

; ---------------------------------------------------------------------------
; Uninstall
; ---------------------------------------------------------------------------
Section "Uninstall"
  ; Only an install that was counted is given back: "/REMOVE" lowers the
  ; count and takes the driver away when this was its last product.
  ReadRegDWORD $1 HKLM "${PRODUCT_KEY}" "DriverCounted"
  ${If} $1 == 1
    Call un.ExtractVqdinst
    Push "/REMOVE"
    Call un.RunVqdinst
    ${If} $VqdExit == 0
      DetailPrint "The VQD driver stays for the other programs that use it."
    ${ElseIf} $VqdExit == 5
      ; Nothing was given back: keep the product, and its record, for an
      ; uninstall by an administrator.
      MessageBox MB_OK|MB_ICONSTOP "Removing ${PRODUCT} needs administrator rights." /SD IDOK
      Abort
    ${ElseIf} $VqdExit != 6
      MessageBox MB_OK|MB_ICONEXCLAMATION "The VQD driver could not be removed (code $VqdExit)." /SD IDOK
    ${EndIf}
  ${EndIf}

  Delete "$INSTDIR\ReadMe.txt"
  Delete "$INSTDIR\Burner.ini"
  Delete "$INSTDIR\Setup.log"
  ; Run with "_?=" the uninstaller runs from here and cannot delete itself;
  ; whoever started it that way removes it and the folder afterwards.
  Delete "$INSTDIR\uninst.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
  DeleteRegKey HKLM "${PRODUCT_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Quillfen Software"
SectionEnd

Function un.onUninstSuccess
  Call un.AskReboot
FunctionEnd
