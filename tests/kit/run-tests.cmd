@echo off
rem run-tests.cmd - the Windows test kit of Morvane Updater.
rem Runs every test program of the kit on this PC and writes report.txt beside
rem this file: the Windows version, the ANSI code page, the screen's DPI and
rem one line per test ("pass", "fail ..." or "skipped (...)"). The output of
rem each test goes to logs\<test>.txt. Needs no administrator rights.
setlocal EnableExtensions
cd /d "%~dp0"
set "KIT=%~dp0"
set "MORVANE_TEST_KIT=%KIT%"
set "REPORT=%KIT%report.txt"
set "LOGS=%KIT%logs"
if not exist "%LOGS%" mkdir "%LOGS%"
set PASSED=0
set FAILED=0
set SKIPPED=0

rem Wine runs the kit in CI; checks that only Windows can judge skip there.
set "WINE="
KitProbe.exe wine > "%LOGS%\wine.txt" 2>&1
if not errorlevel 1 set "WINE=yes"

set "WINVER="
for /f "delims=" %%v in ('ver') do set "WINVER=%%v"
set "ACP="
for /f "tokens=3" %%a in ('reg query "HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage" /v ACP 2^>nul ^| find "ACP"') do set "ACP=%%a"
if not defined ACP for /f %%a in ('KitProbe.exe acp') do set "ACP=%%a"
set "DPI="
for /f "delims=" %%d in ('KitProbe.exe dpi') do set "DPI=%%d"

> "%REPORT%" echo Morvane Updater - Windows test kit
>> "%REPORT%" echo Windows: %WINVER%
if defined WINE for /f "delims=" %%w in ('type "%LOGS%\wine.txt"') do >> "%REPORT%" echo Host: %%w
>> "%REPORT%" echo ACP: %ACP%
>> "%REPORT%" echo DPI: %DPI%
>> "%REPORT%" echo Started: %DATE% %TIME%

rem What only a real Windows shows.
call :windows_only box_to_front "KitProbe.exe box-to-front"
call :windows_only scanner_holder "KitProbe.exe scanner-holder"
call :run publish_signing "call :publish_signing"
call :run console_code_page "KitProbe.exe console-code-page Publish.exe"

rem The unit tests and the end-to-end runs, as under Wine in CI.
for %%t in (base paths release blockfile download install update platform publish e2e) do if exist %%t_tests.exe call :run %%t_tests "%%t_tests.exe"

>> "%REPORT%" echo Summary: %PASSED% passed, %FAILED% failed, %SKIPPED% skipped
type "%REPORT%"
if not "%FAILED%"=="0" exit /b 1
exit /b 0

rem ---- :run NAME "COMMAND": one line of the report for COMMAND's exit code;
rem exit code 3 of a check means it cannot be judged here.
:run
echo %~1 ...
%~2 > "%LOGS%\%~1.txt" 2>&1
set RC=%ERRORLEVEL%
if "%RC%"=="0" goto run_passed
if "%RC%"=="3" goto run_skipped
>> "%REPORT%" echo %~1: fail (exit code %RC%, see logs\%~1.txt)
set /a FAILED+=1
exit /b 0
:run_passed
>> "%REPORT%" echo %~1: pass
set /a PASSED+=1
exit /b 0
:run_skipped
>> "%REPORT%" echo %~1: skipped (see logs\%~1.txt)
set /a SKIPPED+=1
exit /b 0

rem ---- :windows_only NAME "COMMAND": :run, except under Wine.
:windows_only
if not defined WINE goto run
>> "%REPORT%" echo %~1: skipped (Wine)
set /a SKIPPED+=1
exit /b 0

rem ---- Publish.exe makes a key, a signed release and checks it with the
rem system's CNG.
:publish_signing
set "WORK=%TEMP%\morvane-kit-publish"
if exist "%WORK%" rmdir /s /q "%WORK%"
mkdir "%WORK%\release"
> "%WORK%\release\Mappe.xlsm" echo Testmappe
> "%WORK%\notes.txt" echo Testlauf des Windows-Testpakets
Publish.exe keygen "%WORK%\key.pem" > "%WORK%\Updater.ini"
if errorlevel 1 exit /b 1
type "%WORK%\Updater.ini"
Publish.exe make --from "%WORK%\release" --version 1.1 --title "Testpaket" --msg-typ 0 --notes "%WORK%\notes.txt" --start Mappe.xlsm --key "%WORK%\key.pem" --out "%WORK%\upload"
if errorlevel 1 exit /b 1
if not exist "%WORK%\upload\revision.ini.sig" exit /b 1
Publish.exe check "%WORK%\upload\revision.ini" --key "%WORK%\Updater.ini"
if errorlevel 1 exit /b 1
rmdir /s /q "%WORK%"
exit /b 0
