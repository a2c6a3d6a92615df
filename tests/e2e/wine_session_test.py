"""How Wine is started where the kernel runs 32-bit programs and where it
does not; needs no Wine, so the native tests run it."""

import os
import stat
import tempfile
import unittest

import wine_session


class LoaderChoice(unittest.TestCase):

    def make_program(self, contents):
        """An executable file holding contents, removed after the test."""
        directory = tempfile.mkdtemp()
        self.addCleanup(lambda: os.rmdir(directory))
        path = os.path.join(directory, "loader")
        with open(path, "wb") as program:
            program.write(contents)
        os.chmod(path, stat.S_IRWXU)
        self.addCleanup(lambda: os.remove(path))
        return path

    def test_a_loader_the_kernel_refuses_means_no_32bit_programs(self):
        # A kernel without 32-bit support refuses the 32-bit loader as it
        # refuses any file that is no program it knows: Exec format error.
        not_a_program = self.make_program(b"\x7fELF\x01\x01\x01" + bytes(9))
        missing = not_a_program + ".missing"
        runs = self.make_program(b"#!/bin/sh\nexit 0\n")
        cases = [(not_a_program, False), (missing, False), (runs, True)]
        for loader, expected in cases:
            with self.subTest(loader=loader):
                self.assertEqual(expected,
                                 wine_session.runs_32bit_programs(loader))

    def test_commands_go_to_the_64bit_loader_without_32bit_programs(self):
        wine64 = "/usr/lib/wine/wine64"
        cases = [
            ("wine", True, ["wine"]),
            ("wineboot", True, ["wineboot"]),
            ("wineconsole", True, ["wineconsole"]),
            ("wine", False, [wine64]),
            ("wineboot", False, [wine64, "wineboot.exe"]),
            ("wineconsole", False, [wine64, "wineconsole.exe"]),
        ]
        for program, runs_32bit, expected in cases:
            with self.subTest(program=program, runs_32bit=runs_32bit):
                self.assertEqual(
                    expected,
                    wine_session.loader_command(program, runs_32bit))

    def test_the_session_leaves_out_the_callers_wine_settings(self):
        saved = dict(os.environ)
        self.addCleanup(lambda: (os.environ.clear(),
                                 os.environ.update(saved)))
        os.environ.update(WINEPREFIX="/elsewhere", WINEARCH="win32",
                          LC_ALL="C", DISPLAY=":99", KEPT="yes")
        env = wine_session.wine_environment("/p", ":7", "ja_JP.UTF-8")
        self.assertEqual(("/p", ":7", "ja_JP.UTF-8", "yes"),
                         (env["WINEPREFIX"], env["DISPLAY"], env["LANG"],
                          env["KEPT"]))
        self.assertNotIn("WINEARCH", env)
        self.assertNotIn("LC_ALL", env)


if __name__ == "__main__":
    unittest.main()
