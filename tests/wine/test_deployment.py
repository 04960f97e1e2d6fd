#!/usr/bin/env python3
"""Unattended runs and runs from a temporary folder, under Wine with the real stub.

An archive built with vespa-mksfx --switches reads its command line: /S extracts without any
window (the test looks for windows of the process all through the run) into a /D= folder with
blanks, writes the lines vespa-console prints to /LOG=, and ends with the deployment codes (0,
1603 for a damaged entry, 1639 for a switch not understood). The same /S given to an archive
built without it opens the dialog as ever. An archive built with --temp --run runs our probe
from a new temporary folder, ends with the probe's code (3010) and leaves no folder behind, also
when its extraction is cancelled.
"""

import glob
import os
import shutil
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import DriverError, IDOK, IDYES  # noqa: E402

CANCEL = 2
USAGE_EXIT, FAILED_EXIT, CANCELLED_EXIT, PASSWORD_EXIT = 1639, 1603, 1602, 86
POLL_LIMIT = 120  # seconds a silent run may take


def mksfx(*args):
    result = subprocess.run([harness.native_tool("vespa-mksfx")] + list(args), capture_output=True,
                            timeout=120)
    if result.returncode != 0:
        raise AssertionError(result.stderr.decode())
    return result


def lines_of(data):
    return data.decode("utf-8").replace("\r\n", "\n").splitlines()


class Deployment(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        with open(os.path.join(harness.WIN64_BIN, "vespa-runprobe.exe"), "rb") as f:
            cls.probe = f.read()
        # Enough entries for the run to last while the test looks for windows.
        cls.files = {"leia-me.txt": b"Leia-me\r\n"}
        for n in range(400):
            cls.files[f"dados/parte{n:03}.txt"] = (b"linha %d\r\n" % n) * 300
        cls.zip = os.path.join(cls.work, "app.zip")
        with zipfile.ZipFile(cls.zip, "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in cls.files.items():
                z.writestr(name, data)
        cls.temp = cls.windows_temp()

    @classmethod
    def windows_temp(cls):
        """The Unix path of the prefix user's temporary folder."""
        shown = cls.session.run("cmd", "/c", "echo %TEMP%").stdout.decode().strip()
        unix = cls.session.run("winepath", "-u", shown).stdout.decode().strip()
        return os.path.realpath(unix)

    def build(self, name, *options, archive=None):
        out = os.path.join(self.work, name + ".exe")
        mksfx("-q", "--no-verify", "-o", out, "--stub", self.stub, *options, archive or self.zip)
        return out

    def start(self, program, switches):
        """Starts program with switches written as they stand on its command line."""
        driver = self.session.driver()
        self.addCleanup(driver.close)
        driver.command("launch " + harness.escape('"' + harness.windows_path(program) + '" ' + switches))
        driver.launched = True
        return driver

    def run_watching_windows(self, driver):
        """Waits for the program's end while listing its windows; (exit code, windows seen)."""
        seen = []
        deadline = time.time() + POLL_LIMIT
        while time.time() < deadline:
            seen += [w for w in driver.windows() if w.startswith("window ")]
            try:
                return driver.exit_code(timeout_ms=0), seen
            except DriverError:
                time.sleep(0.05)
        raise AssertionError("the silent run did not end")

    def vespa_folders(self):
        return sorted(glob.glob(os.path.join(self.temp, "vespa-*")))

    def test_silent_run_shows_nothing_and_logs_what_it_did(self):
        program = self.build("silent", "--switches", "--subdirectories")
        shown = mksfx("--show", program).stdout.decode()
        self.assertIn("command-line switches: read", shown)
        out = os.path.join(self.work, "destino com espaços", "Minha App")
        shutil.rmtree(os.path.dirname(out), ignore_errors=True)
        log = os.path.join(self.work, "execução.log")
        driver = self.start(program, '/S "/LOG=%s" /D=%s' % (harness.windows_path(log),
                                                             harness.windows_path(out)))
        code, seen = self.run_watching_windows(driver)
        self.assertEqual(code, 0)
        self.assertEqual(seen, [], "a silent run showed a window")
        for name, data in self.files.items():
            with open(os.path.join(out, name), "rb") as f:
                self.assertEqual(f.read(), data, name)
        # The log holds what vespa-console prints for the same extraction.
        console_out = os.path.join(self.work, "console-out")
        shutil.rmtree(console_out, ignore_errors=True)
        os.makedirs(console_out)
        console = subprocess.run([harness.native_tool("vespa-console"), "-EXTRACT", "-DIRECTORIES",
                                  program], cwd=console_out, capture_output=True, timeout=120)
        self.assertEqual(console.returncode, 0, console.stderr)
        with open(log, "rb") as f:
            logged = f.read()
        self.assertIn(b"\r\n", logged)
        self.assertEqual(lines_of(logged), lines_of(console.stdout))
        self.assertEqual(len(lines_of(logged)), len(self.files) + 1)

    def test_exit_codes_of_a_damaged_entry_and_of_a_switch_not_understood(self):
        archive = os.path.join(self.work, "damaged.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("ruim.txt", b"estragado\r\n")
            z.writestr("bom.txt", b"inteiro\r\n")
        with open(archive, "r+b") as f:
            f.seek(30 + len("ruim.txt"))
            f.write(b"E")
        damaged = self.build("damaged", "--switches", archive=archive)
        out = os.path.join(self.work, "damaged-out")
        shutil.rmtree(out, ignore_errors=True)
        log = os.path.join(self.work, "damaged.log")
        driver = self.start(damaged, '/S /LOG=%s /D=%s' % (harness.windows_path(log),
                                                          harness.windows_path(out)))
        code, seen = self.run_watching_windows(driver)
        self.assertEqual((code, seen), (FAILED_EXIT, []))
        with open(log, "rb") as f:
            logged = lines_of(f.read())
        self.assertIn("Aviso: Falha na checagem do arquivo de CRC  ruim.txt", logged)
        with open(os.path.join(out, "bom.txt"), "rb") as f:
            self.assertEqual(f.read(), b"inteiro\r\n")

        # Silent: no window, the code alone. Otherwise a box says which switch and lists them.
        driver = self.start(damaged, "/S /X")
        code, seen = self.run_watching_windows(driver)
        self.assertEqual((code, seen), (USAGE_EXIT, []))
        driver = self.start(damaged, "/Q")
        _, text = driver.wait_message_box()
        self.assertTrue(text.startswith("Opção desconhecida: /Q\n\nOpções da linha de comando:"), text)
        self.assertIn("/D=pasta", text)
        driver.answer(IDOK)
        self.assertEqual(driver.exit_code(), USAGE_EXIT)

    def test_encrypted_entry_in_a_silent_run_ends_with_a_code_of_its_own(self):
        source = os.path.join(self.work, "secreto")
        os.makedirs(source, exist_ok=True)
        for name, data in (("segredo.txt", b"escondido\r\n"),):
            with open(os.path.join(source, name), "wb") as f:
                f.write(data)
        archive = os.path.join(self.work, "secreto.zip")
        if os.path.exists(archive):
            os.unlink(archive)
        subprocess.run(["zip", "-q", "-P", "senha", archive, "segredo.txt"], cwd=source, check=True,
                       timeout=60)
        program = self.build("secreto", "--switches", archive=archive)
        out = os.path.join(self.work, "secreto-out")
        shutil.rmtree(out, ignore_errors=True)
        driver = self.start(program, "/S /D=" + harness.windows_path(out))
        code, seen = self.run_watching_windows(driver)
        self.assertEqual((code, seen), (PASSWORD_EXIT, []))
        self.assertFalse(os.path.exists(os.path.join(out, "segredo.txt")))

    def test_progress_without_questions(self):
        # An existing file and overwrite "ask": kept without a question; the dialog shows the
        # run and ends by itself.
        program = self.build("progress", "--switches", "--subdirectories")
        out = os.path.join(self.work, "progress-out")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        with open(os.path.join(out, "leia-me.txt"), "wb") as f:
            f.write(b"meu\r\n")
        driver = self.start(program, "/S /P /D=" + harness.windows_path(out))
        driver.find_window(self.MAIN_DESTINATION, self.MAIN_REQUIRED)
        self.assertEqual(driver.exit_code(), 0)
        with open(os.path.join(out, "leia-me.txt"), "rb") as f:
            self.assertEqual(f.read(), b"meu\r\n")
        with open(os.path.join(out, "dados", "parte399.txt"), "rb") as f:
            self.assertEqual(f.read(), self.files["dados/parte399.txt"])

    def test_switches_of_an_archive_built_without_them_are_ignored(self):
        plain = os.path.join(self.work, "plain.exe")
        mksfx("-q", "-o", plain, "--stub", self.stub, self.zip)
        driver = self.start(plain, "/S /D=C:\\nada")
        driver.wait_window(self.MAIN_DESTINATION, self.MAIN_REQUIRED)
        self.assertNotEqual(driver.text(self.MAIN_DESTINATION), "C:\\nada")
        driver.press(CANCEL)
        driver.wait_message_box()
        driver.answer(IDYES)
        self.assertEqual(driver.exit_code(), 0)

    def temp_archive(self, name, record, files=None):
        archive = os.path.join(self.work, name + ".zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("setup.exe", self.probe)
            for n, data in (files or {}).items():
                z.writestr(n, data)
        command = 'setup.exe "--out=%s" --exit=3010 %%0' % harness.windows_path(record)
        return self.build(name, "--temp", "--run", command, archive=archive)

    def test_run_from_a_temporary_folder(self):
        record = os.path.join(self.work, "temp-ran.txt")
        program = self.temp_archive("temp", record, {"dados/leia-me.txt": b"oi\r\n"})
        shown = mksfx("--show", program).stdout.decode()
        self.assertIn("runs from a temporary folder: yes", shown)
        before = self.vespa_folders()
        driver = self.start(program, "/S")
        code, seen = self.run_watching_windows(driver)
        self.assertEqual(code, 3010)
        self.assertEqual(seen, [])
        with open(record, "rb") as f:
            ran = f.read().decode("cp1252").splitlines()
        folder = self.session.run("winepath", "-u", ran[0]).stdout.decode().strip()
        folder = os.path.realpath(folder)
        self.assertEqual(os.path.dirname(folder), self.temp)
        self.assertRegex(os.path.basename(folder), r"^vespa-[0-9a-f]{16}$")
        # "%0" is the folder, ending with '\'.
        self.assertEqual(ran[-1], ran[0] + "\\")
        self.assertFalse(os.path.exists(folder), "the temporary folder was left")
        self.assertEqual(self.vespa_folders(), before)

    def test_cancel_during_the_extraction_leaves_no_folder(self):
        record = os.path.join(self.work, "cancel-ran.txt")
        files = {f"parte{n:04}.txt": (b"linha %d\r\n" % n) * 200 for n in range(3000)}
        program = self.temp_archive("temp-cancel", record, files)
        before = self.vespa_folders()
        driver = self.start(program, "")
        driver.wait_window(self.MAIN_DESTINATION, self.MAIN_REQUIRED)
        self.assertFalse(driver.dump().controls[self.MAIN_DESTINATION].enabled)
        driver.press(CANCEL)
        _, question = driver.wait_message_box()
        self.assertEqual(question, "Deseja encerrar o VESPA®?")
        driver.press(IDYES)
        self.assertEqual(driver.exit_code(), CANCELLED_EXIT)
        self.assertFalse(os.path.exists(record), "the program ran")
        self.assertEqual(self.vespa_folders(), before)


if __name__ == "__main__":
    harness.main()
