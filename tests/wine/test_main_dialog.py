#!/usr/bin/env python3
"""The main dialog of the real stub under Wine, used as a person would: test runs and
extractions, the destination created on request, the overwrite and password questions, Cancel
in the middle of a run, the comment viewer, the About box and the keyboard mnemonics.
The x86_64 stub; VESPA_STUB_ARCH=i686 runs the same on the i686 stub where 32-bit Wine is.
"""

import os
import shutil
import struct
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDNO, IDOK, IDYES  # noqa: E402


def passes_check(archive, password):
    """True when password passes the check byte of some encrypted entry of archive."""
    def crc_step(crc, byte):
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xEDB88320 if crc & 1 else crc >> 1
        return crc

    with zipfile.ZipFile(archive) as z, open(archive, "rb") as f:
        for info in z.infolist():
            if not info.flag_bits & 1:
                continue
            f.seek(info.header_offset)
            local = f.read(30)
            name_length, extra_length = struct.unpack("<HH", local[26:30])
            f.seek(info.header_offset + 30 + name_length + extra_length)
            header = bytearray(f.read(12))
            keys = [0x12345678, 0x23456789, 0x34567890]

            def update(byte):
                keys[0] = crc_step(keys[0], byte)
                keys[1] = ((keys[1] + (keys[0] & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
                keys[2] = crc_step(keys[2], keys[1] >> 24)

            for c in password.encode("cp1252"):
                update(c)
            for i in range(12):
                t = (keys[2] & 0xFFFF) | 2
                header[i] ^= ((t * (t ^ 1)) >> 8) & 0xFF
                update(header[i])
            check = (info._raw_time >> 8) & 0xFF if info.flag_bits & 8 else info.CRC >> 24
            if header[11] == check:
                return True
    return False


# Main dialog controls.
EXTRACT, CANCEL, TEST, ABOUT, INFORMATION = 1, 2, 1032, 1000, 1002
DESTINATION, REQUIRED, EXTRACTED, WARNINGS = 1007, 1010, 1009, 1023
RECREATE, SHOW_MESSAGES, ASK, ALWAYS, NEVER = 1013, 1022, 1019, 1020, 1021
IDLE_LINE, ITEM, ACTION, MARKER = 1008, 1012, 1016, 1031
DIRECTORY_LIST = 1121
# Dialog 106, the overwrite question.
OVERWRITE_TEXT, OVERWRITE_YES, OVERWRITE_ALL, OVERWRITE_NO, OVERWRITE_NONE = 1004, 6, 1008, 7, 1017
# Dialog 105, the password question.
PASSWORD_NAME, PASSWORD_EDIT, PASSWORD_OK, PASSWORD_SKIP_ALL = 1024, 1005, 1, 3
PASSWORD_TEXT = 1025
PROTECTED = "Este arquivo está protegido por senha."
WRONG_PASSWORD = "Senha incorreta. Tente novamente."
# Dialog 104, the text viewer; dialog 100, the About box.
VIEWER_TEXT, VIEWER_CLOSE = 1004, 2
ABOUT_TITLE, ABOUT_TEXT = 1140, 1141

PASSWORD = "segredo"


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


def tree(root):
    """{relative path with '/': bytes} of every file under root."""
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, root).replace(os.sep, "/")] = f.read()
    return files


def corrupt_stored_entry(archive, name):
    """Flips the first data byte of a stored entry, so that only its CRC check can tell."""
    with zipfile.ZipFile(archive) as z:
        info = z.getinfo(name)
    with open(archive, "r+b") as f:
        f.seek(info.header_offset + 26)
        name_length, extra_length = struct.unpack("<HH", f.read(4))
        data = info.header_offset + 30 + name_length + extra_length
        f.seek(data)
        byte = f.read(1)
        f.seek(data)
        f.write(bytes([byte[0] ^ 0xFF]))


class MainDialog(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        def sfx(name, entries, comment=b"", method=zipfile.ZIP_DEFLATED):
            archive = os.path.join(cls.work, name + ".zip")
            with zipfile.ZipFile(archive, "w", method) as z:
                for entry, data in entries.items():
                    z.writestr(entry, data)
                z.comment = comment
            return archive, harness.make_sfx(archive, os.path.join(cls.work, name + ".exe"), cls.stub)

        cls.nested_files = {
            "leia-me.txt": b"Bem-vindo.\r\n" * 50,
            "dados/tabela.csv": b"a;b;c\r\n1;2;3\r\n" * 400,
            "dados/fundo/nota.txt": b"nota\r\n",
        }
        _, cls.nested = sfx("nested", cls.nested_files, b"Leia-me primeiro\nSegunda linha")

        cls.flat_files = {f"{n}.txt": f"novo {n}\r\n".encode() * 20 for n in "wxyz"}
        _, cls.flat = sfx("flat", cls.flat_files)

        # One stored entry whose data no longer matches its CRC.
        crc_files = {"ok1.txt": b"primeiro\r\n", "ruim.txt": b"estragado\r\n", "ok2.txt": b"segundo\r\n"}
        crc_zip, _ = sfx("crc", crc_files, method=zipfile.ZIP_STORED)
        corrupt_stored_entry(crc_zip, "ruim.txt")
        cls.crc = harness.make_sfx(crc_zip, os.path.join(cls.work, "crc-fixed.exe"), cls.stub)

        # Three entries under the traditional encryption and one plain one, made by Info-ZIP.
        secret_dir = os.path.join(cls.work, "secret-src")
        cls.secret_files = {f"cofre{n}.txt": f"conteúdo {n}\r\n".encode() * 30 for n in (1, 2, 3)}
        for name, data in cls.secret_files.items():
            write(os.path.join(secret_dir, name), data)
        secret_zip = os.path.join(cls.work, "secret.zip")
        # A wrong password passes the one-byte check of an entry by chance once in 256 tries:
        # the tests' wrong answers must fail every check, so an unlucky archive is made again.
        while True:
            if os.path.exists(secret_zip):
                os.remove(secret_zip)
            subprocess.run(["zip", "-q", "-X", "-P", PASSWORD, secret_zip] +
                           sorted(cls.secret_files), cwd=secret_dir, check=True, timeout=60)
            if not any(passes_check(secret_zip, wrong) for wrong in ("", "errada")):
                break
        write(os.path.join(secret_dir, "aberto.txt"), b"sem senha\r\n")
        subprocess.run(["zip", "-q", "-X", secret_zip, "aberto.txt"], cwd=secret_dir, check=True,
                       timeout=60)
        cls.secret_files["aberto.txt"] = b"sem senha\r\n"
        cls.secret = harness.make_sfx(secret_zip, os.path.join(cls.work, "secret.exe"), cls.stub)

        # Many small entries: a run long enough to be cancelled in its middle, even at the pace
        # of a run that no longer waits on the dialog.
        cls.large_files = {f"parte{n:05}.txt": (b"linha %d\r\n" % n) * 200 for n in range(20000)}
        _, cls.large = sfx("large", cls.large_files)

    # --- helpers -------------------------------------------------------------------------
    def final_message(self, driver, button=IDOK):
        """Waits for a message box of the dialog, answers it, and returns its text."""
        caption, text = driver.wait_message_box()
        self.assertEqual(caption, harness.box_caption(self.caption))
        driver.answer(button)
        return text

    def destination(self, name):
        path = os.path.join(self.work, name)
        shutil.rmtree(path, ignore_errors=True)
        return path

    def extract_into(self, driver, path):
        driver.set_text(DESTINATION, harness.windows_path(path))
        driver.press(EXTRACT)

    def assert_idle(self, dialog, has_comment):
        c = dialog.controls
        self.assertTrue(c[IDLE_LINE].visible)
        for cid in (ITEM, ACTION, MARKER):
            self.assertFalse(c[cid].visible, cid)
        for cid in (EXTRACT, TEST, ABOUT, DESTINATION):
            self.assertTrue(c[cid].enabled, cid)
        self.assertEqual(c[INFORMATION].enabled, has_comment)

    # --- runs ----------------------------------------------------------------------------
    def test_a_test_run_leaves_the_dialog_for_an_extraction(self):
        driver = self.open_dialog(self.nested)
        # Texts of code page 1252 as the controls hold them.
        labels = driver.dump().texts
        for label in ("Disponível:", "Extraído:", "Sobrescrever", "Recriar Su&bdiretórios",
                      "Exec&utar após Extração:", "&Informações"):
            self.assertIn(label, labels)

        driver.press(TEST)
        self.assertEqual(self.final_message(driver), "Teste OK.")
        dialog = self.back_to_dialog(driver)
        self.assert_idle(dialog, has_comment=True)
        self.assertEqual(dialog.controls[WARNINGS].text, "0")

        out = self.destination("nested-out")
        os.makedirs(out)
        driver.check(RECREATE)
        driver.check(SHOW_MESSAGES)
        self.extract_into(driver, out)
        self.assertEqual(driver.wait_message_box()[1], "Extração completada.")
        # Behind the final message, the figures of the run: 6,206 bytes written.
        driver.find_window(DESTINATION, REQUIRED)
        self.assertEqual(driver.text(EXTRACTED), "7K")
        self.assertEqual(driver.text(WARNINGS), "0")
        driver.wait_message_box()
        driver.answer(IDOK)
        self.assertEqual(driver.exit_code(), 0)
        self.assertEqual(tree(out), self.nested_files)

    def test_every_run_counts_its_own_warnings(self):
        driver = self.open_dialog(self.crc)
        # No entry name holds a directory: there are no subdirectories to recreate.
        self.assertFalse(driver.dump().controls[RECREATE].enabled)
        for _ in range(2):
            driver.press(TEST)
            self.assertEqual(self.final_message(driver), "Teste completado com 1 aviso(s).")
            dialog = self.back_to_dialog(driver)
            self.assertEqual(dialog.controls[WARNINGS].text, "1")
            self.assertEqual(dialog.controls[ITEM].text, "ok2.txt")
            self.assert_idle(dialog, has_comment=False)
            self.assertFalse(dialog.controls[RECREATE].enabled)

        out = self.destination("crc-out")
        os.makedirs(out)
        driver.check(SHOW_MESSAGES)
        self.extract_into(driver, out)
        # Shown as it happens, over the dialog drawn as the run stands at the warning; then
        # summed up at the end.
        _, shown = driver.wait_message_box()
        driver.find_window(DESTINATION, REQUIRED)
        self.assertEqual(driver.text(WARNINGS), "1")
        self.assertEqual(driver.text(ITEM), shown)
        driver.wait_message_box()
        driver.answer(IDOK)
        self.assertEqual(shown, "Falha na checagem do arquivo de CRC  ruim.txt")
        self.assertEqual(self.final_message(driver), "Extração completada com 1 aviso(s).")
        self.assertEqual(driver.exit_code(), 0)
        self.assertEqual(tree(out)["ok1.txt"], b"primeiro\r\n")
        self.assertEqual(tree(out)["ok2.txt"], b"segundo\r\n")

    def test_a_missing_destination_is_created_when_the_user_agrees(self):
        driver = self.open_dialog(self.nested)
        out = self.destination("novo")
        wanted = os.path.join(out, "a", "b")
        # The trailing separator is dropped before the question.
        driver.set_text(DESTINATION, harness.windows_path(wanted) + "\\")
        driver.press(EXTRACT)
        question = self.final_message(driver, IDNO)
        self.assertEqual(question, f"Criar '{harness.windows_path(wanted)}' diretório?")
        dialog = self.back_to_dialog(driver)
        self.assert_idle(dialog, has_comment=True)
        self.assertEqual(dialog.controls[DESTINATION].text, harness.windows_path(wanted))
        self.assertFalse(os.path.exists(out))

        # A directory that cannot be made: the first one on the way is named.
        blocker = write(os.path.join(self.work, "arquivo-no-caminho"), b"x")
        driver.set_text(DESTINATION, harness.windows_path(os.path.join(blocker, "sub")))
        driver.press(EXTRACT)
        self.final_message(driver, IDYES)
        self.assertEqual(self.final_message(driver),
                         "Não foi possível criar o diretório:\n" + harness.windows_path(blocker))
        self.back_to_dialog(driver)

        driver.set_text(DESTINATION, harness.windows_path(wanted))
        driver.press(EXTRACT)
        self.final_message(driver, IDYES)
        self.assertEqual(driver.exit_code(), 0)
        # Recreating subdirectories was left off: every file lands in the destination itself.
        self.assertEqual(sorted(tree(wanted)), ["leia-me.txt", "nota.txt", "tabela.csv"])

    def test_the_directory_list_chooses_the_destination(self):
        driver = self.open_dialog(self.nested)
        start = driver.text(DESTINATION)
        self.assertEqual(driver.items(DIRECTORY_LIST)[0], "[..]")
        driver.choose(DIRECTORY_LIST, 0)
        parent = start.rsplit("\\", 1)[0]
        self.assertEqual(self.wait_for_text(driver, DESTINATION, parent), parent)
        # Down again into the directory it came from, then extract there.
        folder = "[" + start.rsplit("\\", 1)[1] + "]"
        driver.choose(DIRECTORY_LIST, driver.items(DIRECTORY_LIST).index(folder))
        self.assertEqual(self.wait_for_text(driver, DESTINATION, start), start)
        driver.check(ALWAYS)  # the prefix's directory may hold an earlier copy
        driver.press(EXTRACT)
        self.assertEqual(driver.exit_code(), 0)
        drive, rest = start.split(":\\", 1)
        self.assertEqual(drive.upper(), "C")
        written = os.path.join(self.session.prefix, "drive_c", *rest.split("\\"), "leia-me.txt")
        with open(written, "rb") as f:
            self.assertEqual(f.read(), self.nested_files["leia-me.txt"])

    def wait_for_text(self, driver, control, expected, seconds=10):
        deadline = time.time() + seconds
        text = driver.text(control)
        while text != expected and time.time() < deadline:
            time.sleep(0.1)
            text = driver.text(control)
        return text

    def test_overwrite_question_answers(self):
        def prepare(name):
            out = self.destination(name)
            for entry in self.flat_files:
                write(os.path.join(out, entry), b"antigo\r\n")
            return out

        # "Sim" for w, "Não" for x, "Sempre" for y, which also covers z.
        out = prepare("overwrite-1")
        driver = self.open_dialog(self.flat)
        self.extract_into(driver, out)
        for entry, button, shot in (("w.txt", OVERWRITE_YES, True), ("x.txt", OVERWRITE_NO, False),
                                    ("y.txt", OVERWRITE_ALL, False)):
            caption = driver.wait_window(OVERWRITE_TEXT, OVERWRITE_YES, OVERWRITE_NONE)
            self.assertEqual(caption, harness.box_caption(self.caption))
            text = driver.text(OVERWRITE_TEXT)
            self.assertTrue(text.startswith(f"Arquivo '{entry}' já existe.\n\nVocê deseja "
                                            "sobrescrever o arquivo existente de \n\ntamanho 8 bytes"),
                            text)
            self.assertIn("\n\ncom este?\n\ntamanho 160 bytes modificados em ", text)
            if shot:
                path = self.session.screenshot(os.path.join(self.screenshots, "overwrite-question.png"))
                print(f"screenshot of the overwrite question: {path}")
            driver.answer(button)
        self.assertEqual(driver.exit_code(), 0)
        got = tree(out)
        self.assertEqual(got["w.txt"], self.flat_files["w.txt"])
        self.assertEqual(got["x.txt"], b"antigo\r\n")
        self.assertEqual(got["y.txt"], self.flat_files["y.txt"])
        self.assertEqual(got["z.txt"], self.flat_files["z.txt"])

        # "Nunca" keeps this file and every later one without asking again.
        out = prepare("overwrite-2")
        driver = self.open_dialog(self.flat)
        self.extract_into(driver, out)
        driver.wait_window(OVERWRITE_TEXT, OVERWRITE_YES, OVERWRITE_NONE)
        driver.answer(OVERWRITE_NONE)
        self.assertEqual(driver.exit_code(), 0)
        self.assertEqual(set(tree(out).values()), {b"antigo\r\n"})

    def test_a_password_typed_once_serves_every_entry_and_later_runs(self):
        driver = self.open_dialog(self.secret)
        driver.press(TEST)
        caption = driver.wait_window(PASSWORD_NAME, PASSWORD_EDIT)
        self.assertEqual(caption, harness.box_caption(self.caption))
        self.assertEqual(driver.text(PASSWORD_NAME), "cofre1.txt")
        driver.set_text(PASSWORD_EDIT, PASSWORD)
        driver.answer(PASSWORD_OK)
        self.assertEqual(self.final_message(driver), "Teste OK.")
        self.back_to_dialog(driver)

        # The extraction that follows asks no more.
        out = self.destination("secret-out")
        os.makedirs(out)
        self.extract_into(driver, out)
        self.assertEqual(driver.exit_code(), 0)
        self.assertEqual(tree(out), self.secret_files)

    def test_wrong_passwords_and_skip_all(self):
        driver = self.open_dialog(self.secret)
        driver.press(TEST)
        # Five wrong answers for the first entry, then it is given up. The question asked again
        # says why.
        for attempt in range(5):
            driver.wait_window(PASSWORD_NAME, PASSWORD_EDIT)
            self.assertEqual(driver.text(PASSWORD_NAME), "cofre1.txt")
            self.assertEqual(driver.text(PASSWORD_TEXT), WRONG_PASSWORD if attempt else PROTECTED)
            if attempt == 1:
                path = self.session.screenshot(
                    os.path.join(self.screenshots, "password-asked-again.png"))
                print(f"screenshot of a password asked again: {path}")
            driver.set_text(PASSWORD_EDIT, "errada")
            driver.answer(PASSWORD_OK)
        # The next entry asks again; "Ignorar Tudo" skips it and the last without asking.
        driver.wait_window(PASSWORD_NAME, PASSWORD_EDIT)
        self.assertEqual(driver.text(PASSWORD_NAME), "cofre2.txt")
        self.assertEqual(driver.text(PASSWORD_TEXT), PROTECTED)
        driver.answer(PASSWORD_SKIP_ALL)
        # Wrong password for cofre1, cofre2 and cofre3 skipped.
        self.assertEqual(self.final_message(driver), "Teste completado com 3 aviso(s).")
        dialog = self.back_to_dialog(driver)
        self.assertEqual(dialog.controls[WARNINGS].text, "3")

    def test_a_folder_built_by_the_builder_extracts_as_a_tree(self):
        # No option: a folder with subfolders opens with "Recriar Subdiretórios" checked, so
        # files of one name in two folders both arrive.
        source = os.path.join(self.work, "arvore")
        files = {"leia-me.txt": b"raiz\r\n", "a/leia-me.txt": b"a\r\n", "b/leia-me.txt": b"b\r\n",
                 "b/c/dados.bin": bytes(range(256))}
        for name, data in files.items():
            write(os.path.join(source, *name.split("/")), data)
        program = os.path.join(self.work, "arvore.exe")
        subprocess.run([harness.native_tool("vespa-mksfx"), "-q", "-o", program, "--stub",
                        self.stub, source], check=True, timeout=120)
        driver = self.open_dialog(program)
        self.assertTrue(driver.dump().controls[RECREATE].checked)
        out = self.destination("arvore-out")
        os.makedirs(out)
        self.extract_into(driver, out)
        self.assertEqual(driver.exit_code(), 0)
        self.assertEqual(tree(out), files)

    def test_cancel_in_the_middle_of_a_run(self):
        driver = self.open_dialog(self.large)
        # The click waits in the queue until the run's first progress notification drains it.
        driver.press(TEST)
        driver.press(CANCEL)
        caption, question = driver.wait_message_box()
        self.assertEqual(question, "Deseja encerrar o VESPA®?")
        # "Não": the run goes on to its end. It may already be there, behind its final box.
        driver.answer(IDNO)
        driver.find_window(DESTINATION, REQUIRED)
        path = self.session.screenshot(os.path.join(self.screenshots, "run-in-progress.png"),
                                       driver.rect())
        print(f"screenshot of a run in progress: {path}")
        self.assertEqual(self.final_message(driver), "Teste OK.")
        self.back_to_dialog(driver)

        # "Sim" during an extraction ends the program at once, with no final message.
        out = self.destination("large-out")
        os.makedirs(out)
        driver.check(SHOW_MESSAGES)
        self.extract_into(driver, out)
        driver.press(CANCEL)
        _, question = driver.wait_message_box()
        self.assertEqual(question, "Deseja encerrar o VESPA®?")
        driver.press(IDYES)
        self.assertEqual(driver.exit_code(), 255)
        self.assertLess(len(tree(out)), len(self.large_files))

    def test_cancel_inside_an_entry_keeps_the_file_it_replaces(self):
        # One entry long enough to be in the middle of when "Sim" is answered: its data goes to
        # a file of ours beside the old one, which stays whole when the run stops.
        archive = os.path.join(self.work, "huge.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
            with z.open("grande.bin", "w") as f:
                block = bytes(1 << 20)
                for _ in range(1900):
                    f.write(block)
        huge = harness.make_sfx(archive, os.path.join(self.work, "huge.exe"), self.stub)
        os.remove(archive)
        out = self.destination("huge-out")
        old = b"o arquivo de antes\r\n" * 1000
        write(os.path.join(out, "grande.bin"), old)
        driver = self.open_dialog(huge)
        driver.check(ALWAYS)
        self.extract_into(driver, out)
        driver.press(CANCEL)
        _, question = driver.wait_message_box()
        self.assertEqual(question, "Deseja encerrar o VESPA®?")
        during = sorted(tree(out))
        driver.press(IDYES)
        self.assertEqual(driver.exit_code(), 255)
        # In the middle of the entry: the old file and the one of ours beside it.
        self.assertEqual(len(during), 2, during)
        self.assertEqual(during[0], "grande.bin")
        self.assertRegex(during[1], r"^~vespa-[0-9a-f]{8}\.tmp$")
        self.assertEqual(tree(out), {"grande.bin": old})

    # --- the small dialogs and the keyboard ----------------------------------------------
    def test_comment_viewer_and_about_box(self):
        driver = self.open_dialog(self.nested)
        driver.press(INFORMATION)
        caption = driver.wait_window(VIEWER_TEXT, VIEWER_CLOSE, without=(DESTINATION,))
        self.assertEqual(caption, harness.box_caption(self.caption))
        # Line ends made for the edit control; nothing selected, the caret at the start.
        self.assertEqual(driver.text(VIEWER_TEXT), "Leia-me primeiro\r\nSegunda linha")
        self.assertEqual(driver.selection(VIEWER_TEXT), (0, 0))
        driver.answer(VIEWER_CLOSE)
        self.back_to_dialog(driver)

        driver.press(ABOUT)
        self.assertEqual(driver.wait_window(ABOUT_TITLE, ABOUT_TEXT), "Sobre VESPA®")
        self.assertRegex(driver.text(ABOUT_TITLE), r"^VESPA® para Windows \d+\.\d+\.\d+$")
        self.assertIn(f"{self.bits} bits", driver.text(ABOUT_TEXT))
        driver.answer(IDOK)
        self.back_to_dialog(driver)

    def test_keyboard_reaches_the_buttons(self):
        driver = self.open_dialog(self.nested)
        driver.alt("s")  # "&Sobre"
        self.assertEqual(driver.wait_window(ABOUT_TITLE, ABOUT_TEXT), "Sobre VESPA®")
        driver.answer(IDOK)
        self.back_to_dialog(driver)
        driver.alt("t")  # "&Testar"
        self.assertEqual(self.final_message(driver), "Teste OK.")
        self.back_to_dialog(driver)
        driver.key(27)  # Escape asks like "&Cancelar"
        self.assertEqual(self.final_message(driver, IDNO), "Deseja encerrar o VESPA®?")
        self.back_to_dialog(driver)


if __name__ == "__main__":
    harness.main()
