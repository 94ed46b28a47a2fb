; The Windows installer: installs Velkaron for the current user, without
; administrator rights, into a folder the user may write (the programs keep
; velkaron.ini, velkaron-view.ini and data\ beside themselves), with Start-menu
; shortcuts to the packer and the packet browser, the browser offered for .dat
; files in the user's "Open with" list (.dat's own default left alone), an entry
; in the user's installed-programs list and an uninstaller that removes only what
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
; The browser's registration, the user's own (HKCU\Software\Classes): the
; application key makes it a program that opens .dat files; the entry under .dat's
; OpenWithList puts it in that type's "Open with" list. The default value of
; .dat, the program that opens a packet on a double click, is never written.
!define VIEW_NAME "Velkaron 数据包查看器"
!define VIEW_APP_KEY "Software\Classes\Applications\VelkaronView.exe"
!define DAT_KEY "Software\Classes\.dat"
!define SHCNE_ASSOCCHANGED 0x08000000

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
  CreateShortCut "$SMPROGRAMS\${VIEW_NAME}.lnk" "$INSTDIR\VelkaronView.exe"

  WriteRegStr HKCU "${VIEW_APP_KEY}" "FriendlyAppName" "${VIEW_NAME}"
  WriteRegStr HKCU "${VIEW_APP_KEY}\DefaultIcon" "" "$INSTDIR\VelkaronView.exe,0"
  WriteRegStr HKCU "${VIEW_APP_KEY}\shell\open\command" "" '"$INSTDIR\VelkaronView.exe" "%1"'
  WriteRegStr HKCU "${VIEW_APP_KEY}\SupportedTypes" ".dat" ""
  WriteRegStr HKCU "${DAT_KEY}\OpenWithList\VelkaronView.exe" "" ""
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'

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
  Delete "$SMPROGRAMS\${VIEW_NAME}.lnk"
  DeleteRegKey HKCU "${VIEW_APP_KEY}"
  DeleteRegKey HKCU "${DAT_KEY}\OpenWithList\VelkaronView.exe"
  ; The keys above it go only when nothing else is left in them (no value, no
  ; subkey): the installer made them if they were not there.
  DeleteRegKey /ifempty HKCU "${DAT_KEY}\OpenWithList"
  DeleteRegKey /ifempty HKCU "${DAT_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Classes\Applications"
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; Only an empty folder goes: the user's velkaron.ini, velkaron-view.ini, data\
  ; and packets stay.
  RMDir "$INSTDIR"
SectionEnd
