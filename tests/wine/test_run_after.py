#!/usr/bin/env python3
"""Running a program after the extraction, under Wine with the real stub: an archive built with
vespa-mksfx --run runs a program of ours (vespa-runprobe.exe, which writes its working directory
and arguments to ran.txt) from the destination, with its arguments, after one press of E&xtrair
when the box is checked; not when it is unchecked, not after Cancel, and after warnings only
when the user agrees. A program that is not there is said so.
"""

import os
import shutil
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDNO, IDOK, IDYES  # noqa: E402

EXTRACT, CANCEL, DESTINATION, SHOW_MESSAGES, RECREATE, RUN_AFTER = 1, 2, 1007, 1022, 1013, 1014
LABEL = "Exec&utar após Extração:"
COMMAND = '"%0bin\\probe.exe" um "dois três" %0'
PROBE_WAIT = 30  # seconds a started program may take to write its file


def mksfx(*args):
    result = subprocess.run([harness.native_tool("vespa-mksfx")] + list(args), capture_output=True,
                            timeout=120)
    if result.returncode != 0:
        raise AssertionError(result.stderr.decode())
    return result


class RunAfter(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        with open(os.path.join(harness.WIN64_BIN, "vespa-runprobe.exe"), "rb") as f:
            cls.probe = f.read()
        cls.zip = os.path.join(cls.work, "app.zip")
        with zipfile.ZipFile(cls.zip, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("bin/probe.exe", cls.probe)
            z.writestr("leia-me.txt", b"Leia-me\r\n")

    def build(self, name, *options, archive=None):
        out = os.path.join(self.work, name + ".exe")
        mksfx("-q", "-o", out, "--stub", self.stub, *options, archive or self.zip)
        return out

    def destination(self, name):
        path = os.path.join(self.work, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def extract(self, driver, out):
        driver.check(RECREATE)
        driver.set_text(DESTINATION, harness.windows_path(out))
        driver.press(EXTRACT)

    def ran(self, out, wait=PROBE_WAIT):
        """The lines the probe wrote in out (its working directory first), or None if it did not
        run within wait seconds."""
        path = os.path.join(out, "ran.txt")
        deadline = time.time() + wait
        while time.time() < deadline:
            if os.path.exists(path):
                time.sleep(0.5)  # the probe writes and closes at once
                with open(path, "rb") as f:
                    return f.read().decode("cp1252").splitlines()
            time.sleep(0.2)
        return None

    def unix_of(self, windows):
        result = self.session.run("winepath", "-u", windows)
        return os.path.realpath(result.stdout.decode().strip())

    def test_checked_box_runs_the_program_with_its_arguments(self):
        program = self.build("checked", "--run", COMMAND, "--run-checked")
        shown = mksfx("--show", program).stdout.decode()
        self.assertIn("run after extraction: " + COMMAND + " (box checked)", shown)
        listed = subprocess.run([harness.native_tool("vespa-console"), "-SETUP", program],
                                capture_output=True, timeout=60).stdout.decode()
        self.assertIn("Programa:                 " + COMMAND, listed)

        out = self.destination("com espaço")  # a blank in the destination splits no word
        driver = self.open_dialog(program)
        c = driver.dump().controls
        self.assertEqual(c[RUN_AFTER].text, LABEL + COMMAND)
        self.assertTrue(c[RUN_AFTER].enabled and c[RUN_AFTER].checked)
        self.extract(driver, out)
        self.assertEqual(driver.exit_code(), 0)
        lines = self.ran(out)
        self.assertIsNotNone(lines, "the program did not run")
        directory, arguments = lines[0], lines[1:]
        self.assertEqual(self.unix_of(directory), os.path.realpath(out))
        self.assertEqual(arguments[:2], ["um", "dois três"])
        # "%0" in an argument is the destination too, as a full path ending with '\'.
        self.assertEqual(len(arguments), 3)
        self.assertTrue(arguments[2].endswith("\\"))
        self.assertEqual(self.unix_of(arguments[2]), os.path.realpath(out))

    def test_unchecked_box_runs_nothing(self):
        program = self.build("unchecked", "--run", COMMAND)
        out = self.destination("unchecked-out")
        driver = self.open_dialog(program)
        c = driver.dump().controls
        self.assertTrue(c[RUN_AFTER].enabled and not c[RUN_AFTER].checked)
        self.extract(driver, out)
        self.assertEqual(driver.exit_code(), 0)
        self.assertTrue(os.path.exists(os.path.join(out, "bin", "probe.exe")))
        self.assertIsNone(self.ran(out, wait=5))

    def test_cancel_runs_nothing(self):
        program = self.build("cancelled", "--run", COMMAND, "--run-checked")
        # Before the extraction: the dialog ends.
        driver = self.open_dialog(program)
        driver.press(CANCEL)
        driver.wait_message_box()
        driver.answer(IDYES)
        self.assertEqual(driver.exit_code(), 0)
        # During the extraction: the run ends there (exit code 255). Many entries make the run
        # long enough; the probe comes first, so that it is on disk when Cancel is pressed.
        archive = os.path.join(self.work, "large.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("bin/probe.exe", self.probe)
            for n in range(3000):
                z.writestr(f"parte{n:04}.txt", (b"linha %d\r\n" % n) * 200)
        program = self.build("cancelled-large", "--run", COMMAND, "--run-checked", archive=archive)
        out = self.destination("cancelled-out")
        driver = self.open_dialog(program)
        self.extract(driver, out)
        driver.press(CANCEL)
        _, question = driver.wait_message_box()
        self.assertEqual(question, "Deseja encerrar o VESPA®?")
        driver.press(IDYES)
        self.assertEqual(driver.exit_code(), 255)
        self.assertIsNone(self.ran(out, wait=5))

    def test_after_warnings_the_user_is_asked(self):
        # A stored entry whose data no longer matches its CRC: one warning.
        archive = os.path.join(self.work, "warning.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("ruim.txt", b"estragado\r\n")
            z.writestr("bin/probe.exe", self.probe, zipfile.ZIP_DEFLATED)
        with open(archive, "r+b") as f:
            f.seek(30 + len("ruim.txt"))
            f.write(b"E")
        program = self.build("warning", "--no-verify", "--run", COMMAND, "--run-checked",
                             archive=archive)
        for answer, runs in ((IDNO, False), (IDYES, True)):
            out = self.destination(f"warning-{answer}")
            driver = self.open_dialog(program)
            self.extract(driver, out)
            _, text = driver.wait_message_box()
            self.assertEqual(text, "Extração completada com 1 aviso(s).\n"
                                   "Você deseja Executar este Programa?\n" + COMMAND)
            driver.answer(answer)
            self.assertEqual(driver.exit_code(), 0)
            self.assertEqual(self.ran(out, wait=PROBE_WAIT if runs else 5) is not None, runs)

    def test_a_missing_program_is_named(self):
        program = self.build("missing", "--run", "%0bin\\ausente.exe /s", "--run-checked")
        out = self.destination("missing-out")
        driver = self.open_dialog(program)
        self.extract(driver, out)
        _, text = driver.wait_message_box()
        first, _, path = text.partition("\n")
        self.assertEqual(first, "Programa não encontrado:")
        self.assertEqual(self.unix_of(path), os.path.join(os.path.realpath(out), "bin", "ausente.exe"))
        driver.answer(IDOK)
        self.assertEqual(driver.exit_code(), 0)


if __name__ == "__main__":
    harness.main()
