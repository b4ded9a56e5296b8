@echo off
rem Runs a program of the Card Printer Suite against the virtual printer whose DLLs are in this folder:
rem     "Run with virtual printer.cmd"                      fwload, from the suite's installation folder
rem     "Run with virtual printer.cmd" sensorpos.exe         a program of the suite by its name
rem     "Run with virtual printer.cmd" fwload-cli.exe --list  with its arguments
rem The printer keeps its state in the folder "printer" here, unless FWSIM_STATE_DIR names another.
setlocal
set "PATH=%~dp0;%PATH%"
if not defined FWSIM_STATE_DIR set "FWSIM_STATE_DIR=%~dp0printer"
set "program=%~1"
if "%program%"=="" set "program=fwload.exe"
if not exist "%program%" if exist "%ProgramFiles%\Card Printer Suite\%program%" set "program=%ProgramFiles%\Card Printer Suite\%program%"
if not exist "%program%" if exist "%ProgramFiles(x86)%\Card Printer Suite\%program%" set "program=%ProgramFiles(x86)%\Card Printer Suite\%program%"
set "arguments="
:collect
if "%~2"=="" goto run
set arguments=%arguments% %2
shift /2
goto collect
:run
"%program%"%arguments%
exit /b %errorlevel%
