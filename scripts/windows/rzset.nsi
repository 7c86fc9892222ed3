; Installer of the desktop tool. Built by scripts/windows.sh:
;   makensis -DVERSION=1.0.3.0 -DSOURCE_DIR=<deployed files> -DOUTFILE=<setup.exe> rzset.nsi
; Silent install: rzset-VERSION-setup.exe /S  (optionally /D=C:\path as the last argument)
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!ifndef VERSION
  !error "VERSION is not defined"
!endif

Name "rzset ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\rzset"
InstallDirRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\rzset" "InstallLocation"
RequestExecutionLevel admin
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "rzset"
VIAddVersionKey "FileDescription" "rzset installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "See NOTICE.txt"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\rzset"

Section "rzset"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${SOURCE_DIR}/*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\rzset"
  CreateShortcut "$SMPROGRAMS\rzset\rzset.lnk" "$INSTDIR\rzset.exe"
  CreateShortcut "$SMPROGRAMS\rzset\Uninstall rzset.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "rzset"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\rzset.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\rzset\rzset.lnk"
  Delete "$SMPROGRAMS\rzset\Uninstall rzset.lnk"
  RMDir "$SMPROGRAMS\rzset"
  ; Only what the installer put there: the program keeps no files of its own.
  !include "${FILE_LIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
