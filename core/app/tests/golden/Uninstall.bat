@ECHO OFF
:1st
del /F /Q "C:\users\tester\AppData\Roaming\Quenlore\Parlemo\Corvisk.exe"
IF NOT EXIST "C:\users\tester\AppData\Roaming\Quenlore\Parlemo\Corvisk.exe" GOTO 2nd
ECHO Please check your system tray and running processes to make sure Corvisk.exe is not running.
PAUSE
GOTO 1st
:2nd
del /F /Q "C:\users\tester\AppData\Roaming\Quenlore\LogF"
del /F /Q "C:\users\tester\AppData\Roaming\Quenlore\LogF.bak"
rd /S /Q "C:\users\tester\AppData\Roaming\Quenlore\LogFiles"
del /F /Q "C:\users\tester\AppData\Roaming\Quenlore\Parlemo\Corvisk.ini"
del /F /Q "C:\users\tester\Start Menu\Programs\Vantrel Quenlore Secure Parlemo\Vantrel Quenlore Secure Parlemo.lnk"
del /F /Q "C:\users\tester\Start Menu\Programs\Vantrel Quenlore Secure Parlemo\Uninstall.lnk"
del /F /Q "C:\users\tester\AppData\Roaming\Quenlore\Parlemo\Uninstall.vbs"
rd /S /Q "C:\users\tester\Start Menu\Programs\Vantrel Quenlore Secure Parlemo"
reg delete "HKCU\Software\Quenlore\SSL-VPN Parlemo" /f
reg delete "HKLM\Software\Quenlore\SSL-VPN Parlemo" /f
reg delete "HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Quenlore Secure Parlemo" /f
reg delete "HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Quenlore Secure Parlemo" /f

:deleteurlscheme
NET FILE 1>NUL 2>NUL
if '%errorlevel%' == '0' (goto gotPrivileges ) else (goto getPrivileges )

:getPrivileges
if '%1' == 'ELEV' (shift & goto gotPrivileges)
setlocal DisableDelayedExpansion
set "batchPath=%~0"
setlocal EnableDelayedExpansion
ECHO Set UAC = CreateObject^("Shell.Application"^) > "%temp%OEgetPrivileges.vbs"
echo UAC.ShellExecute "!batchPath!", "ELEV", "", "runas", 1 >> "%temp%OEgetPrivileges.vbs"
"%temp%"OEgetPrivileges.vbs
exit /B

:gotPrivileges
setlocal & pushd .
reg delete "HKCR\parlemo" /f
del /F /Q "C:\users\tester\AppData\Roaming\Quenlore\Parlemo\Uninstall.bat"
rd /S /Q "C:\users\tester\AppData\Roaming\Quenlore\Parlemo"
del /F /Q %0
