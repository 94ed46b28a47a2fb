; The Windows installer: installs Velkaron for the current user, without
; administrator rights, into a folder the user may write (the program keeps
; velkaron.ini and data\ beside itself), with a Start-menu shortcut, an entry in
; the user's installed-programs list and an uninstaller that removes only what
; was installed. packaging/CMakeLists.txt runs it:
;   makensis -INPUTCHARSET UTF8 -DTARGET=x86-unicode|amd64-unicode -DVERSION=a.b.c.d
;            -DSTAGE=folder -DFILES=list.nsh -DICON=program.ico -DOUTFILE=setup.exe Velkaron.nsi
; FILES holds one "!insertmacro ${ProgramFile} NAME" line per file of STAGE.

Unicode true
Target ${TARGET}
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
ManifestSupportedOS all
; Installed files get the time of their installation, and the installer's bytes
; do not depend on when the staged files were made.
SetDateSave off

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velkaron"

Name "Velkaron"
BrandingText "Velkaron ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Velkaron"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

!include MUI2.nsh
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\Velkaron.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; No copyright holder to name: the key stays out, as in the programs' version blocks.
!pragma warning disable 9100
VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "Velkaron"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "Velkaron 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"

!macro InstallFile NAME
  File "${STAGE}/${NAME}"
!macroend
!macro RemoveFile NAME
  Delete "$INSTDIR\${NAME}"
!macroend

Section
  SetOutPath "$INSTDIR"
  !define ProgramFile InstallFile
  !include "${FILES}"
  !undef ProgramFile
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\Velkaron.lnk" "$INSTDIR\Velkaron.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Velkaron"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Velkaron.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  !define ProgramFile RemoveFile
  !include "${FILES}"
  !undef ProgramFile
  Delete "$INSTDIR\uninstall.exe"
  Delete "$SMPROGRAMS\Velkaron.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; Only an empty folder goes: the user's velkaron.ini, data\ and packets stay.
  RMDir "$INSTDIR"
SectionEnd
