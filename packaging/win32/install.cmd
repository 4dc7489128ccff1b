@echo off
rem The adapter's installer on Windows: runs the setup tools from this
rem folder in the order an installer runs them, and stops at the first
rem failure with that tool's exit status.
rem
rem   install.cmd -i ipaddress -t repositorytype [-s sitetype] [-n sitename]
rem
rem 1. event source "QvAdnerl" with bin\RazMessage.dll     (qvadmsgdllreg)
rem 2. nerladapter.env in the asset component's etc folder (qvademenv; the
rem    asset component must be installed: registry value vrexroot)
rem 3. etc\RepInfo.ini from the options above              (qvadrepini)
rem 4. the service "Ordovan Nerl NNM" for bin\qvadovevt.exe (qvadaddservice)
rem Then the preflight check bin\qvadcheck.exe, when present; its status is
rem the installer's. Run it as an administrator. uninstall.cmd undoes it.
setlocal EnableExtensions
set "DIR=%~dp0"
if "%DIR:~-1%"=="\" set "DIR=%DIR:~0,-1%"
set "BIN=%DIR%\bin"
if "%~1"=="" goto usage
for %%d in (var ret tmp tmp\hard) do if not exist "%DIR%\%%d" mkdir "%DIR%\%%d"

"%BIN%\qvadmsgdllreg.exe" -p "%DIR%"
set STATUS=%ERRORLEVEL%
set STEP=event source
if not "%STATUS%"=="0" goto failed
echo install: event source: done

"%BIN%\qvademenv.exe" -p "%DIR%"
set STATUS=%ERRORLEVEL%
set STEP=environment file
if not "%STATUS%"=="0" goto failed
echo install: environment file: done

"%BIN%\qvadrepini.exe" -p "%DIR%" %*
set STATUS=%ERRORLEVEL%
set STEP=repository settings
if not "%STATUS%"=="0" goto failed
echo install: repository settings: done

rem The program path is quoted, so a folder with blanks cannot be taken for
rem a shorter program.
"%BIN%\qvadaddservice.exe" -n "Ordovan Nerl NNM" -p "\"%BIN%\qvadovevt.exe\""
set STATUS=%ERRORLEVEL%
set STEP=service
if not "%STATUS%"=="0" goto failed
echo install: service: done

echo install: installed in %DIR%; start the service with: sc start "Ordovan Nerl NNM"
rem The preflight check is shown, not the install's status: the install is
rem done, and what the check finds is fixed beside it and checked again.
if not exist "%BIN%\qvadcheck.exe" exit /b 0
"%BIN%\qvadcheck.exe"
echo install: preflight check qvadcheck: status %ERRORLEVEL% (0 a run would work, 1 warnings, 2 failures: fix them and run bin\qvadcheck.exe again)
exit /b 0

:failed
echo install: %STEP% failed with status %STATUS%
exit /b %STATUS%

:usage
echo usage: install.cmd -i ipaddress -t repositorytype [-s sitetype] [-n sitename]
exit /b 22
