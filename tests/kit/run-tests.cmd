@echo off
rem run-tests.cmd - the Windows test kit of Morvane Updater.
rem Runs every test program of the kit on this PC and writes report.txt beside
rem this file: the Windows version, the ANSI code page, the screen's DPI, one
rem line per test ("pass", "pass, N skipped", "FAIL ..." or "cannot judge
rem ..."), the measurements and a summary. The output of each test goes to
rem logs\<test>.txt. Needs no administrator rights.
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
set UNJUDGED=0

rem Wine runs the kit in CI; the report names it.
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
set "EXCEL="
for /f "delims=" %%e in ('KitProbe.exe excel') do set "EXCEL=%%e"

> "%REPORT%" echo Morvane Updater - Windows test kit
>> "%REPORT%" echo Windows: %WINVER%
if defined WINE for /f "delims=" %%w in ('type "%LOGS%\wine.txt"') do >> "%REPORT%" echo Host: %%w
>> "%REPORT%" echo ACP: %ACP%
>> "%REPORT%" echo DPI: %DPI%
>> "%REPORT%" echo Excel.Application: %EXCEL%
>> "%REPORT%" echo Started: %DATE% %TIME%

rem What only a real Windows shows.
call :run box_to_front "KitProbe.exe box-to-front"
call :run scanner_holder "KitProbe.exe scanner-holder"
call :run publish_signing "call :publish_signing"
call :run console_code_page "KitProbe.exe console-code-page Publish.exe"

rem The unit tests and the end-to-end runs, as under Wine in CI.
for %%t in (base paths release blockfile download install update platform publish e2e) do if exist %%t_tests.exe call :run %%t_tests "%%t_tests.exe"

rem Figures, not verdicts: what Wine cannot tell about the speed.
call :measure download_rate "KitProbe.exe measure-download"
call :measure install_files "KitProbe.exe measure-install"

>> "%REPORT%" echo Summary: %PASSED% passed, %FAILED% failed, %UNJUDGED% cannot judge, %SKIPPED% tests skipped
type "%REPORT%"
if not "%FAILED%"=="0" exit /b 1
exit /b 0

rem ---- :run NAME "COMMAND": one line of the report for COMMAND's exit code:
rem "pass", "pass, N skipped" when a test program skipped N of its tests,
rem "FAIL ..." or, for exit code 3, "cannot judge": the check's premise does
rem not hold on this PC.
:run
echo %~1 ...
%~2 > "%LOGS%\%~1.txt" 2>&1
set RC=%ERRORLEVEL%
if "%RC%"=="0" goto run_passed
if "%RC%"=="3" goto run_unjudged
>> "%REPORT%" echo %~1: FAIL (exit code %RC%, see logs\%~1.txt)
set /a FAILED+=1
exit /b 0
:run_passed
set /a PASSED+=1
set "SKIPS=0"
for /f %%n in ('KitProbe.exe skipped "%LOGS%\%~1.txt"') do set "SKIPS=%%n"
if "%SKIPS%"=="0" goto run_clean
>> "%REPORT%" echo %~1: pass, %SKIPS% skipped
set /a SKIPPED+=SKIPS
exit /b 0
:run_clean
>> "%REPORT%" echo %~1: pass
exit /b 0
:run_unjudged
>> "%REPORT%" echo %~1: cannot judge (see logs\%~1.txt)
set /a UNJUDGED+=1
exit /b 0

rem ---- :measure NAME "COMMAND": the last line COMMAND prints, or "not
rem measured" when it could not measure.
:measure
echo %~1 ...
%~2 > "%LOGS%\%~1.txt" 2>&1
if errorlevel 1 goto measure_missing
set "FIGURE="
for /f "usebackq delims=" %%m in ("%LOGS%\%~1.txt") do set "FIGURE=%%m"
>> "%REPORT%" echo %~1: %FIGURE%
exit /b 0
:measure_missing
>> "%REPORT%" echo %~1: not measured (see logs\%~1.txt)
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
