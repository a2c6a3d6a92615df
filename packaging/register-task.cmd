@echo off
rem Registers the task \tesmarinds\close-windows for the Users group. The
rem package runs it as SYSTEM at install time, with START (HH:MM): it makes
rem close-windows-task.xml beside itself from close-windows-task-template.xml,
rem with the start time and this folder in place of @START@ and @FOLDER@,
rem and hands that to schtasks. A time of any other form fails the install
rem rather than register a task that never starts.
setlocal EnableDelayedExpansion
set "START=%~1"
set "HOUR=%START:~0,2%"
set "MINUTE=%START:~3,2%"
rem Only a character that is not a digit leaves a token to loop over.
for /f "delims=0123456789" %%X in ("%HOUR%%MINUTE%") do goto malformed
if not "%START:~2,1%"==":" goto malformed
if "%START:~4,1%"=="" goto malformed
if not "%START:~5%"=="" goto malformed
if "%HOUR%" GTR "23" goto malformed
if "%MINUTE%" GTR "59" goto malformed
rem The template holds no "!", which delayed expansion would eat, and no %.
set "FOLDER=%~dp0"
set "DEFINITION=%~dp0close-windows-task.xml"
if exist "%DEFINITION%" del /f "%DEFINITION%"
for /f "usebackq delims=" %%L in ("%~dp0close-windows-task-template.xml") do (
  set "LINE=%%L"
  call :write_line
)
schtasks /create /xml "%DEFINITION%" /tn \tesmarinds\close-windows /f
exit /b %ERRORLEVEL%

:write_line
rem Substituted in %...% expansion, through call: Wine's cmd substitutes
rem nothing in the !...! kind. Every "<" and ">" of the template is within
rem the quotes that set sees, so the expanded line parses as plain text.
call set "LINE=%%LINE:@START@=%START%%%"
call set "LINE=%%LINE:@FOLDER@=%FOLDER%%%"
>>"%DEFINITION%" echo.!LINE!
exit /b 0

:malformed
echo register-task.cmd: START must be HH:MM from 00:00 to 23:59, not "%START%"
exit /b 1
