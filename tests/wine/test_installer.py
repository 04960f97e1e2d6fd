#!/usr/bin/env python3
"""Self-extracting archives as small installers, under Wine with the real stub: the directive
record written by vespa-mksfx sets the main dialog; one press of E&xtrair installs into the
default destination, Wine's own Program Manager (its shell's DDE server) makes the group and
its item in the Start menu, and the extensions land in the registry (wine reg query) and in
WIN.INI. A damaged record shows "Opções Inválidas!" and the archive still extracts. The retry
rules of the group commands run against a Program Manager of our own that answers busy or
never.
"""

import configparser
import os
import shutil
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDNO, IDOK, IDYES  # noqa: E402

EXTRACT, CANCEL, DESTINATION, REQUIRED = 1, 2, 1007, 1010
RECREATE, SHOW_MESSAGES, ASK, ALWAYS, NEVER = 1013, 1022, 1019, 1020, 1021
GROUPS_BOX, EXTENSIONS_BOX, RUN_AFTER = 1024, 1015, 1014

GROUP_ERROR = "Um erro foi encontrado enquanto criava um grupo de programa."
INVALID = "Opções Inválidas!"
EXTENSIONS_SECTION = r"HKCU\Software\Microsoft\Windows NT\CurrentVersion\Extensions"


def harness_read(path):
    with open(path, "rb") as f:
        return f.read()


def mksfx(*args):
    result = subprocess.run([harness.native_tool("vespa-mksfx")] + list(args), capture_output=True,
                            timeout=60)
    if result.returncode != 0:
        raise AssertionError(result.stderr.decode())
    return result


class Installer(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.files = {
            "leia-me.txt": b"Bem-vindo ao Demo.\r\n" * 10,
            "bin/demo.exe": harness_read(os.path.join(harness.WIN64_BIN, "vespa-ddeserver.exe")),
        }
        cls.zip = os.path.join(cls.work, "demo.zip")
        with zipfile.ZipFile(cls.zip, "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in cls.files.items():
                z.writestr(name, data)
        cls.drive_c = os.path.join(cls.session.prefix, "drive_c")

    # --- helpers -------------------------------------------------------------------------
    def build(self, name, *options):
        out = os.path.join(self.work, name + ".exe")
        mksfx("-o", out, "--stub", self.stub, *options, self.zip)
        return out

    def answer_box(self, driver, button=IDOK):
        caption, text = driver.wait_message_box()
        driver.answer(button)
        return text

    def reg_query(self, key, value=None):
        """The default (or named) value of a key as `wine reg query` shows it; None without."""
        args = ["reg", "query", key] + (["/v", value] if value else ["/ve"])
        result = self.session.run("reg", *args[1:])
        if result.returncode != 0:
            return None
        for line in result.stdout.decode("cp1252", "replace").splitlines():
            parts = line.rstrip("\r\n").split(None, 2)
            if len(parts) >= 2 and parts[1] == "REG_SZ":
                return parts[2] if len(parts) == 3 else ""
        return None

    def win_ini_extension(self, name):
        """WIN.INI's [Extensions] entry as programs read it. Like Windows NT, the prefix maps
        that section to the registry (IniFileMapping); the file itself would hold it otherwise."""
        mapped = self.reg_query(EXTENSIONS_SECTION, name)
        if mapped is not None:
            return mapped
        parser = configparser.RawConfigParser(strict=False)
        parser.read(os.path.join(self.drive_c, "windows", "win.ini"), encoding="cp1252")
        return parser.get("Extensions", name, fallback=None)

    def unix_path(self, windows):
        """A C: path of the prefix as a Unix path, short names taken as they are on disk."""
        self.assertTrue(windows.upper().startswith("C:\\"), windows)
        return os.path.join(self.drive_c, *[p for p in windows[3:].split("\\") if p])

    # --- tests ---------------------------------------------------------------------------
    def test_the_record_sets_the_dialog(self):
        program = self.build("record-dialog", "--destination", "C:\\Instalação Demo",
                             "--subdirectories", "--messages", "--overwrite", "never",
                             "--groups", "Demo Vespa|[CreateGroup(Demo Vespa)]",
                             "--extensions", "^.TXT|%0bin\\demo.exe %1|$.DMO|%0bin\\demo.exe %1")
        driver = self.open_dialog(program)
        dialog = driver.dump()
        c = dialog.controls
        self.assertEqual(c[DESTINATION].text, "C:\\Instalação Demo")
        self.assertTrue(c[RECREATE].checked and c[RECREATE].enabled)
        self.assertTrue(c[SHOW_MESSAGES].checked)
        self.assertEqual([c[i].checked for i in (ASK, ALWAYS, NEVER)], [False, False, True])
        self.assertEqual(c[GROUPS_BOX].text, "Criar Grup&o de Programas:Demo Vespa")
        self.assertEqual(c[EXTENSIONS_BOX].text, "Registra&r Extensões:TXT;DMO")
        for box in (GROUPS_BOX, EXTENSIONS_BOX):
            self.assertTrue(c[box].checked and c[box].enabled, box)
        self.assertFalse(c[RUN_AFTER].enabled)
        path = self.session.screenshot(os.path.join(self.screenshots, f"installer-dialog-{self.bits}.png"),
                                       driver.rect())
        print("screenshot:", path, file=sys.stderr)
        driver.press(CANCEL)
        driver.wait_message_box()
        driver.answer(IDYES)
        self.assertEqual(driver.exit_code(), 0)

    def unix_of(self, windows):
        result = self.session.run("winepath", "-u", windows)
        return os.path.realpath(result.stdout.decode().strip())

    def test_one_press_of_extract_installs(self):
        destination = "C:\\Programas Demo"
        program = self.build(
            "install", "--destination", destination, "--subdirectories", "--messages",
            "--overwrite", "always",
            "--groups", "Demo Vespa|[CreateGroup(Demo Vespa)]|[AddItem(%0bin\\demo.exe,Demo)]",
            "--extensions", "^.TXT|%0bin\\demo.exe %1|$.ZIP|%0bin\\demo.exe %1")
        target = self.unix_path(destination)
        shutil.rmtree(target, ignore_errors=True)
        # Older keys below the extension go first.
        self.session.run("reg", "add", "HKCR\\.TXT\\shell\\print\\command", "/ve", "/d", "antigo", "/f")
        # A plain association of .ZIP that the file type replaces.
        self.session.run("reg", "add", EXTENSIONS_SECTION, "/v", "ZIP", "/d", "C:\\X.EXE ^.ZIP", "/f")

        for folder, names, _ in os.walk(self.drive_c):
            if "Demo Vespa" in names:
                shutil.rmtree(os.path.join(folder, "Demo Vespa"))
        driver = self.open_dialog(program)
        driver.press(EXTRACT)
        self.assertEqual(self.answer_box(driver, IDYES), f"Criar '{destination}' diretório?")
        self.assertEqual(self.answer_box(driver), "Extração completada.")
        # Without warnings the groups and extensions follow without a question.
        self.assertEqual(driver.exit_code(), 0)

        for name, data in self.files.items():
            with open(os.path.join(target, *name.split("/")), "rb") as f:
                self.assertEqual(f.read(), data, name)

        # The group folder and its item, made by Wine's own Program Manager.
        links = [os.path.join(folder, name) for folder, _, names in os.walk(self.drive_c)
                 for name in names if name.lower().endswith(".lnk")
                 and os.path.basename(folder) == "Demo Vespa"]
        self.assertEqual([os.path.basename(p) for p in links], ["Demo.lnk"])
        with open(links[0], "rb") as f:
            self.assertIn(b"demo.exe", f.read().lower())

        # The destination in its short form, as programs of old expect it in the registry.
        command = self.reg_query("HKCR\\.TXT\\shell\\open\\command")[:-len(" %1")]
        self.assertNotIn(" ", command)
        self.assertEqual(self.unix_of(command), os.path.realpath(os.path.join(target, "bin", "demo.exe")))
        expected = {
            ("HKCR\\.TXT\\shell\\open\\command", None): command + " %1",
            ("HKCR\\.TXT\\shell\\print\\command", None): None,
            ("HKCR\\.ZIP", None): "tambofile",
            ("HKCR\\tambofile", None): "TAMBO File",
            ("HKCR\\tambofile\\shell\\open\\command", None): command + " ",
            ("HKCR\\tambofile\\shell\\open\\ddeexec", None): '[open("%1")]',
            ("HKCR\\tambofile\\shell\\open\\ddeexec\\application", None): "demo",
            ("HKCR\\tambofile\\shell\\open\\ddeexec\\topic", None): "system",
        }
        for (key, value), want in expected.items():
            got = self.reg_query(key, value)
            if want is None:
                self.assertIsNone(got, key)
            else:
                self.assertEqual((got or "").lower(), want.lower(), key)
        self.assertEqual(self.win_ini_extension("TXT").lower(), (command + " ^.TXT").lower())
        self.assertIsNone(self.win_ini_extension("ZIP"))

    def record_offset(self):
        size = os.path.getsize(self.stub)
        return size + (12 - size % 12) % 12

    def test_flags_the_dialog_cannot_show_as_stored(self):
        program = self.build("odd-flags", "--overwrite", "never", "--groups", "Demo|[CreateGroup(Demo)]")
        # Scrambling is an XOR: flipping a stored bit flips the same bit of the flags word.
        # Both overwrite bits, and the extension bit without any extension.
        with open(program, "r+b") as f:
            f.seek(self.record_offset() + 12 + 2)
            low, high = f.read(2)
            f.seek(-2, os.SEEK_CUR)
            f.write(bytes([low ^ 0x04, high ^ 0x04]))
        driver = self.open_dialog(program)
        c = driver.dump().controls
        self.assertEqual([c[i].checked for i in (ASK, ALWAYS, NEVER)], [True, False, False])
        self.assertFalse(c[EXTENSIONS_BOX].enabled or c[EXTENSIONS_BOX].checked)
        self.assertTrue(c[GROUPS_BOX].enabled and c[GROUPS_BOX].checked)
        # The archive has paths, but the record did not ask for them.
        self.assertTrue(c[RECREATE].enabled and not c[RECREATE].checked)
        driver.press(CANCEL)
        driver.wait_message_box()
        driver.answer(IDYES)

    def test_without_a_record_the_actions_are_off(self):
        out = os.path.join(self.work, "plain.exe")
        mksfx("-o", out, "--stub", self.stub, self.zip)
        driver = self.open_dialog(out)
        c = driver.dump().controls
        self.assertEqual([c[i].checked for i in (ASK, ALWAYS, NEVER)], [True, False, False])
        for box in (GROUPS_BOX, EXTENSIONS_BOX):
            self.assertFalse(c[box].enabled or c[box].checked, box)
        driver.press(CANCEL)
        driver.wait_message_box()
        driver.answer(IDYES)

    def test_a_damaged_record_is_refused_and_the_archive_extracts(self):
        program = self.build("damaged", "--groups", "Demo|[CreateGroup(Demo)]", "--messages")
        with open(program, "r+b") as f:
            f.seek(self.record_offset() + 12 + 2124)  # the end word
            byte = f.read(1)
            f.seek(-1, os.SEEK_CUR)
            f.write(bytes([byte[0] ^ 0x20]))
        driver = self.session.driver()
        self.addCleanup(driver.close)
        driver.launch(program)
        caption, text = driver.wait_message_box()
        self.assertEqual(text, INVALID)
        driver.answer(IDOK)
        self.caption = driver.wait_window(DESTINATION, REQUIRED)
        c = driver.dump().controls
        self.assertFalse(c[GROUPS_BOX].enabled or c[SHOW_MESSAGES].checked)
        out = os.path.join(self.work, "damaged-out")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        driver.check(RECREATE)
        driver.set_text(DESTINATION, harness.windows_path(out))
        driver.press(EXTRACT)
        self.assertEqual(driver.exit_code(), 0)
        with open(os.path.join(out, "bin", "demo.exe"), "rb") as f:
            self.assertEqual(f.read(), self.files["bin/demo.exe"])


    def test_after_warnings_each_action_is_asked_for(self):
        # A stored entry whose data no longer matches its CRC: one warning.
        archive = os.path.join(self.work, "warning.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_STORED) as z:
            z.writestr("ruim.txt", b"estragado\r\n")
        with open(archive, "r+b") as f:
            f.seek(30 + len("ruim.txt"))
            f.write(b"E")
        program = os.path.join(self.work, "warning.exe")
        # --no-verify: the builder's own test would refuse the damaged entry this test needs.
        mksfx("-o", program, "--stub", self.stub, "--no-verify", "--groups", "Grupos Demo|[A]",
              "--extensions", "^.VWX|%0v.exe %1|^.VWY|%0v.exe %1", archive)
        log = os.path.join(self.work, "dde-asked.log")
        self.start_program_manager(log)
        out = os.path.join(self.work, "warning-out")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)

        driver = self.open_dialog(program)
        driver.set_text(DESTINATION, harness.windows_path(out))
        driver.press(EXTRACT)
        summary = "Extração completada com 1 aviso(s)."
        self.assertEqual(self.answer_box(driver, IDNO),
                         summary + "\nVocê deseja Criar estes Grupos de Programas?\nGrupos Demo")
        self.assertEqual(self.answer_box(driver, IDYES),
                         summary + "\nVocê deseja Registrar estas Extensões?\nVWX;VWY")
        self.assertEqual(driver.exit_code(), 0)
        self.assertEqual(self.received(log), [])
        for key in ("HKCR\\.VWX\\shell\\open\\command", "HKCR\\.VWY\\shell\\open\\command"):
            self.assertEqual(self.unix_of(self.reg_query(key)[:-len(" %1")]),
                             os.path.realpath(os.path.join(out, "v.exe")), key)

    # --- the group commands against a Program Manager of our own ----------------------------
    def start_program_manager(self, log, *mode):
        """Our Program Manager, answering as mode says; returns once it listens."""
        server = self.session.driver()
        self.addCleanup(server.close)
        server.launch(os.path.join(harness.WIN64_BIN, "vespa-ddeserver.exe"), log, *mode)
        deadline = time.time() + 60
        while not (os.path.exists(log) and "ready" in harness_read(log).decode()):
            self.assertLess(time.time(), deadline, "the Program Manager of ours did not start")
            time.sleep(0.2)

    @staticmethod
    def received(log):
        with open(log) as f:
            return [line[len("execute "):] for line in f.read().splitlines()
                    if line.startswith("execute ")]

    def exchange(self, mode, number):
        """Extracts an archive whose record lists four group commands while our Program Manager
        answers the numberth one as mode says; returns the texts shown after the run and the
        commands the server received, in order."""
        log = os.path.join(self.work, f"dde-{mode}-{number}.log")
        self.start_program_manager(log, mode, str(number))

        program = self.build(f"groups-{mode}", "--groups", "Grupos|[A]|[B]|[C]|[D]")
        out = os.path.join(self.work, f"groups-{mode}-out")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        driver = self.open_dialog(program)
        driver.set_text(DESTINATION, harness.windows_path(out))
        driver.press(EXTRACT)
        shown = []
        while True:
            try:
                shown.append(self.answer_box(driver))
            except harness.DriverError:
                break  # the program has ended
        self.assertEqual(driver.exit_code(), 0)
        return shown, self.received(log)

    def test_a_later_command_never_answered_is_retried_then_the_rest_sent(self):
        shown, received = self.exchange("silent", 3)
        self.assertEqual(shown, [GROUP_ERROR])
        self.assertEqual(received, ["[A]", "[B]"] + ["[C]"] * 11 + ["[D]"])

    def test_a_first_command_never_answered_abandons_the_rest(self):
        # 5000 ms, then ten times 1000 ms: about fifteen seconds.
        shown, received = self.exchange("silent", 1)
        self.assertEqual(shown, [GROUP_ERROR])
        self.assertEqual(received, ["[A]"] * 11)

    def test_a_busy_answer_to_a_later_command(self):
        # Wine's DDE library reports a busy acknowledgement as "not processed", which is not
        # retried; the unit tests send busy answers through the retry loop itself.
        shown, received = self.exchange("busy", 2)
        self.assertEqual(shown, [GROUP_ERROR])
        self.assertEqual(received, ["[A]", "[B]", "[C]", "[D]"])

    def test_a_server_that_hangs_up(self):
        # The conversation ends inside the second command: that command and the ones after it
        # fail, each with its message. (Wine's DDE library does not call the client back when
        # the server hangs up, so "DDE desconectado." is left to the unit tests.)
        shown, received = self.exchange("hangup", 2)
        self.assertEqual(shown, [GROUP_ERROR] * 3)
        self.assertEqual(received, ["[A]", "[B]"])

if __name__ == "__main__":
    harness.main()
