@echo off
rem Undoes install.cmd in reverse: the service, the repository settings, the
rem environment file, the event source. What is already gone is skipped;
rem any other failure stops it with that tool's exit status.
setlocal EnableExtensions
set "DIR=%~dp0"
if "%DIR:~-1%"=="\" set "DIR=%DIR:~0,-1%"
set "BIN=%DIR%\bin"
set "LOG=%TEMP%\qvadnerl-uninstall.log"

"%BIN%\qvaddelservice.exe" -n "Ordovan Nerl NNM" -o "%LOG%"
set STATUS=%ERRORLEVEL%
set STEP=service
rem 1060: no such service
if "%STATUS%"=="1060" echo uninstall: service: not registered
if "%STATUS%"=="1060" set STATUS=0
if not "%STATUS%"=="0" goto failed
echo uninstall: service: done

if exist "%DIR%\etc\RepInfo.ini" del "%DIR%\etc\RepInfo.ini"
echo uninstall: repository settings: done

"%BIN%\qvadrmenv.exe" -o "%LOG%"
set STATUS=%ERRORLEVEL%
set STEP=environment file
rem 1: no asset root recorded; 2 with error number 2: no file
if "%STATUS%"=="1" set STATUS=0
if "%STATUS%"=="2" findstr /c:"(2)." "%LOG%" >nul && set STATUS=0
if not "%STATUS%"=="0" goto failed
echo uninstall: environment file: done

"%BIN%\qvadmsgdllunreg.exe" -o "%LOG%"
set STATUS=%ERRORLEVEL%
set STEP=event source
rem 301, 304: the source is not registered
if "%STATUS%"=="301" set STATUS=0
if "%STATUS%"=="304" set STATUS=0
if not "%STATUS%"=="0" goto failed
echo uninstall: event source: done
if exist "%LOG%" del "%LOG%"
exit /b 0

:failed
echo uninstall: %STEP% failed with status %STATUS%
if exist "%LOG%" type "%LOG%"
if exist "%LOG%" echo.
if exist "%LOG%" del "%LOG%"
exit /b %STATUS%
