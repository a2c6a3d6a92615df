"""Starting Wine, the one way the scenarios, the demo and the Wine benchmark
share: a private X display, a prefix of its own, and the loader this
machine's kernel can run.

Run as a script, it runs one command inside such a session and then ends
what it started (the prefix's Windows processes and the X server), whatever
the command did:

    wine_session.py [--lang LANG] PREFIX -- COMMAND [ARGUMENT...]

PREFIX is booted first unless it already holds a booted prefix. The command
finds WINEPREFIX, DISPLAY and LANG set, and WINE naming what starts a
Windows program (`$WINE notepad`, `$WINE 'c:\\some.exe'`). The exit status
is the command's.
"""

import argparse
import ctypes
import errno
import functools
import os
import select
import shlex
import signal
import subprocess
import sys
import time

# Debian's Wine loaders. Once wine32 is installed, `wine` and its kin start
# the 32-bit one, which hands 64-bit programs on to the 64-bit one.
WINE32 = "/usr/lib/wine/wine"
WINE64 = "/usr/lib/wine/wine64"


@functools.lru_cache(maxsize=None)
def runs_32bit_programs(loader=WINE32):
    """Whether this machine's kernel runs the 32-bit loader. Some kernels are
    booted without 32-bit programs (ia32_emulation=off); there Wine starts
    only through its 64-bit loader and runs no 32-bit Windows program."""
    if not os.access(loader, os.X_OK):
        return False
    try:
        subprocess.run([loader, "--version"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
    except OSError as error:
        if error.errno == errno.ENOEXEC:
            return False
        raise
    return True


def loader_command(program, runs_32bit):
    """The command that starts Wine's own program (wine, wineboot,
    wineconsole): Debian's commands where the 32-bit loader runs, since they
    start it first, and the 64-bit loader itself where it does not."""
    if runs_32bit:
        return [program]
    if program == "wine":
        return [WINE64]
    return [WINE64, program + ".exe"]


def wine_command(program):
    """loader_command for this machine."""
    return loader_command(program, runs_32bit_programs())


def die_with_parent():
    """For preexec_fn: if the process that starts Wine is killed (ctest's
    timeout, Ctrl+C), nothing it started should outlive it."""
    libc = ctypes.CDLL(None, use_errno=True)
    pr_set_pdeathsig = 1
    libc.prctl(pr_set_pdeathsig, signal.SIGKILL)


def stop_process(process, seconds=10):
    """Ends a process started here, politely first."""
    if process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(timeout=seconds)


def wine_environment(prefix, display, lang, debug="-all"):
    """The caller's environment with nothing of another Wine session, for
    the prefix and display given; debug is WINEDEBUG, Wine's own messages
    on standard error (none by default)."""
    env = {
        key: value
        for key, value in os.environ.items()
        if not key.startswith(("WINE", "LC_", "DISPLAY", "LANG"))
    }
    env.update(
        WINEPREFIX=str(prefix),
        WINEDEBUG=debug,
        # No runtime installers or menu entries: nothing asks a question.
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
        LANG=lang,
        DISPLAY=display,
    )
    if not runs_32bit_programs():
        # Wine starts its own helper processes through this loader too.
        env["WINELOADER"] = WINE64
    return env


class Xvfb:
    """An X server on the first free display number."""

    def __init__(self):
        read_end, write_end = os.pipe()
        try:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                 "1024x768x24", "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,),
                stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL,
                preexec_fn=die_with_parent,
            )
            os.close(write_end)
            write_end = None
            number = b""
            deadline = time.monotonic() + 20
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                ready, _, _ = select.select([read_end], [], [], max(left, 0))
                if not ready:
                    raise TimeoutError("Xvfb did not report its display")
                chunk = os.read(read_end, 16)
                if not chunk:
                    raise RuntimeError("Xvfb ended before reporting a display")
                number += chunk
            self.display = ":" + number.decode().strip()
        except BaseException:
            if hasattr(self, "process"):
                stop_process(self.process)
            raise
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)

    def stop(self):
        stop_process(self.process)


def stop_wineserver(env):
    """Ends every Windows process of env's prefix, and then its server."""
    for option in ("-k", "-w"):
        try:
            subprocess.run(["wineserver", option], env=env, timeout=30,
                           stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            print(f"wineserver {option} took over 30 s", file=sys.stderr)


def boot_prefix(env):
    """Makes env's prefix and waits until Wine has finished with it."""
    subprocess.run([*wine_command("wineboot"), "-i"], env=env, timeout=180,
                   check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, timeout=60)
    if not os.path.isfile(os.path.join(env["WINEPREFIX"], "system.reg")):
        raise RuntimeError(f"wineboot left no registry in {env['WINEPREFIX']}")


def run_in_session(prefix, lang, command):
    """Runs command on a display and prefix of its own; its exit status."""
    prefix = os.path.abspath(prefix)
    xvfb = Xvfb()
    env = wine_environment(prefix, xvfb.display, lang)
    env["WINE"] = shlex.join(wine_command("wine"))
    try:
        if not os.path.isfile(os.path.join(prefix, "system.reg")):
            boot_prefix(env)
        return subprocess.run(command, env=env).returncode
    finally:
        stop_wineserver(env)
        xvfb.stop()


def main(argv):
    parser = argparse.ArgumentParser(
        description=__doc__.splitlines()[0],
        usage="%(prog)s [--lang LANG] PREFIX -- COMMAND [ARGUMENT...]")
    parser.add_argument("--lang", default="C.UTF-8",
                        help="the Linux locale Wine takes its code page from")
    parser.add_argument("prefix")
    parser.add_argument("command", nargs="+")
    options = parser.parse_args(argv)
    return run_in_session(options.prefix, options.lang, options.command)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
