@echo off
setlocal
rem The rest of this file is Shift_JIS: cmd decodes each line it reads in
rem the console's code page, so it is made 932 here and given back at the end.
for /f "tokens=*" %%A in ('chcp') do for %%B in (%%A) do set "CONSOLE_CP=%%B"
set "CONSOLE_CP=%CONSOLE_CP:.=%"
chcp 932 >nul 2>nul
rem 閉じたいウィンドウのタイトルの一部を、次の行に書く。
rem レジストリの HKLM\SOFTWARE\tesmarinds に値 Term があれば、この行ではなく Term を使う。
set "TITLE="
rem ここから下は変えない。終了コードの意味は、利用ガイドにある。
set "LOG=c:\temp\Tesmarind.txt"
set "HISTORY=c:\temp\Tesmarind-history.txt"
set "STARTER=c:\temp\Tesmarind-user.txt"
set "OUT=%TEMP%\tesmarinds-out.txt"
set "PROBE=%TEMP%\tesmarinds-probe.txt"
set "ENDREF=%TEMP%\tesmarinds-end.txt"
set "TURN=c:\temp\Tesmarind-turn.txt"
rem ほかの実行を待つのは最大 3600 秒。タスクの制限時間（2 時間）に、
rem この待ち時間と 1 回の実行が収まる長さ。
set /a "WAIT_LIMIT=3600"
if defined TESMARINDS_WAIT_SECONDS set /a "WAIT_LIMIT=TESMARINDS_WAIT_SECONDS"
for %%V in (64 32) do call :term_from_registry %%V
rem 空や空白だけだと、ほとんどのウィンドウが対象になるため止める。
set "STATUS=2"
set "NOTE=閉じたいウィンドウのタイトルの一部が、TITLE にもレジストリの Term にもありません。"
if "%TITLE%"=="" goto finish
set "NOTE=タイトルの一部に、空白だけを指定しないでください。"
if "%TITLE: =%"=="" goto finish
set "NOTE=タイトルの一部に、全角の空白「　」があります。半角の空白にしてください。"
if not "%TITLE:　=%"=="%TITLE%" goto finish
rem 実行は 1 つずつ: ほかのユーザーの実行が順番（TURN のファイル）を持っているか、
rem ほかのプロセス（残っている tesmarinds など）がログを開いている間は、
rem 5 秒ごとに確かめて待つ。
set "STATUS=5"
set "NOTE=ほかの実行かプロセスが、%WAIT_LIMIT% 秒待っても終わりませんでした。"
set /a "WAITED=0"
rem c:\temp がなければ順番もない。tesmarinds はログなしで実行する（3）。
if not exist "c:\temp\" call :run_in_turn
if not exist "c:\temp\" goto finish
:take_turn
set "IN_TURN="
set "LOG_HELD="
rem 順番のファイルを開いている間だけ、この実行の順番。開けなければ、ほかの実行の順番。
rem 実行が止められても、ファイルは閉じられる。実行中の cmd のエラー表示は、このファイルに入る。
call :run_in_turn 2>"%TURN%"
if defined IN_TURN if not defined LOG_HELD goto finish
if %WAITED% GEQ %WAIT_LIMIT% goto finish
ping -n 6 127.0.0.1 >nul 2>nul
set /a "WAITED+=5"
goto take_turn
:finish
echo %NOTE%
call :record
if exist "%OUT%" del /f "%OUT%"
if exist "%ENDREF%" del /f "%ENDREF%"
chcp %CONSOLE_CP% >nul 2>nul
exit /b %STATUS%

:run_in_turn
rem 順番を持っている間の実行。ログを開いているプロセスがあれば、LOG_HELD を 1 にして戻る。
rem ログを読めなければ、ほかのプロセス（残っている tesmarinds など）が開いている。
set "IN_TURN=1"
if exist "%PROBE%" del /f "%PROBE%"
if exist "%LOG%" copy /y "%LOG%" "%PROBE%" >nul 2>nul
if exist "%LOG%" if not exist "%PROBE%" set "LOG_HELD=1"
if defined LOG_HELD exit /b 0
if exist "%PROBE%" del /f "%PROBE%"
rem 前のログが「終了します」で終わっていなければ、前の実行は途中で止められている。
set "STATUS=-"
set "STARTED_BY="
if exist "%STARTER%" set /p STARTED_BY=<"%STARTER%"
set "NOTE=前の実行のログが「終了します」で終わっていません（前に実行したユーザー: %STARTED_BY%）。"
if exist "%LOG%" call :ended
if exist "%LOG%" if not defined ENDED call :record
call :remember_starter
if exist "%OUT%" del /f "%OUT%"
"%~dp0tesmarinds.exe" "%TITLE%" >"%OUT%"
set "STATUS=%ERRORLEVEL%"
rem tesmarinds のメッセージを表示する。ログを書けたときは何も表示しない。
set "SAID=0"
for %%F in ("%OUT%") do set "SAID=%%~zF"
if not "%SAID%"=="0" type "%OUT%"
if not "%SAID%"=="0" echo.
set "NOTE=tesmarinds がタイトルの一部を受け付けませんでした。"
if "%STATUS%"=="1" if not "%SAID%"=="0" exit /b 0
set "NOTE=tesmarinds が途中で止められました。"
if "%STATUS%"=="1" set "STATUS=4"
if "%STATUS%"=="4" exit /b 0
set "NOTE=tesmarinds を起動できなかったか、途中で止められました。"
if not "%STATUS%"=="0" exit /b 0
rem 何か表示したか、ログがなければ、この実行はログを書いていない。
set "STATUS=3"
set "NOTE=ログを書けませんでした。"
if not "%SAID%"=="0" exit /b 0
if not exist "%LOG%" exit /b 0
set "STATUS=4"
set "NOTE=ログの最後が「終了します」ではありません。"
call :ended
if not defined ENDED exit /b 0
rem この実行のログを、日時を付けた名前でコピーして残す。名前には数字だけを使う
rem ように、日付と時刻の区切り（/ - . : と空白）を取り除く。
set "DAY=%date%"
set "DAY=%DAY:/=%"
set "DAY=%DAY:-=%"
set "DAY=%DAY:.=%"
set "DAY=%DAY: =%"
set "CLOCK=%time: =0%"
set "CLOCK=%CLOCK::=%"
set "CLOCK=%CLOCK:.=%"
set "KEPT=Tesmarind-%DAY%-%CLOCK:~0,6%.txt"
copy /y "%LOG%" "c:\temp\%KEPT%" >nul
set "STATUS=6"
set "NOTE=ログをコピーできませんでした。"
if not exist "c:\temp\%KEPT%" exit /b 0
set "STATUS=0"
set "NOTE=最後まで実行しました。コピー: %KEPT%"
if not "%WAITED%"=="0" set "NOTE=%NOTE%（ほかの実行が終わるまで %WAITED% 秒待ちました）"
exit /b 0

:term_from_registry
rem レジストリの Term を TITLE にする（64 ビットと 32 ビットのどちらかにあれば）。
for /f "tokens=1,2,*" %%A in ('reg query "HKLM\SOFTWARE\tesmarinds" /v Term /reg:%1 2^>nul') do (
  if /i "%%A"=="Term" if "%%B"=="REG_SZ" if not defined TERM_FOUND set "TITLE=%%C"
  if /i "%%A"=="Term" if "%%B"=="REG_SZ" set "TERM_FOUND=1"
)
exit /b 0

:remember_starter
rem tesmarinds を起動するユーザーを残す。止められた実行の「-」の行で、そのユーザーを示す。
setlocal EnableDelayedExpansion
if exist "c:\temp\" >"!STARTER!" echo.!USERNAME!
endlocal
exit /b 0

:record
rem 実行の記録に、日時、ユーザー、終了コード、NOTE を 1 行で書き足す。
setlocal EnableDelayedExpansion
if exist "c:\temp\" >>"%HISTORY%" echo !date! !time! !USERNAME! !STATUS! !NOTE!
endlocal
exit /b 0

:ended
rem ログの最後の行が「終了します」なら、ENDED を 1 にする。
rem 2 つのファイルは遅延展開なしで読み、遅延展開は比べるときだけ使う
rem （%TEMP% のパスの「!」を消さないため）。
set "ENDED="
>"%ENDREF%" echo 終了します
set "WANT="
set "LINE="
for /f "usebackq delims=" %%L in ("%ENDREF%") do set "WANT=%%L"
for /f "usebackq delims=" %%L in ("%LOG%") do set "LINE=%%L"
setlocal EnableDelayedExpansion
if defined LINE if "!LINE!"=="!WANT!" (endlocal & set "ENDED=1" & exit /b 0)
endlocal
exit /b 0
