#!/usr/bin/env python3
"""The stub's questions under Wine, each put by vespa-callbacks-probe.exe with the stub's own
dialogs and message boxes: the overwrite question (dialog 106), the password question
(dialog 105), the disk prompts and the yes/no box. Each answer is given through the UI driver
and checked against what the engine receives.
"""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDCANCEL, IDNO, IDOK, IDYES  # noqa: E402

PROGRAM_CAPTION = "VESPA® para Windows"

# Dialog 106.
OVERWRITE_TEXT, YES, ALWAYS, NO, NEVER = 1004, 6, 1008, 7, 1017
# Dialog 104, the text viewer.
VIEWER_TEXT, VIEWER_CLOSE = 1004, 2
# Dialog 105.
PASSWORD_NAME, PASSWORD_EDIT, PASSWORD_OK, PASSWORD_SKIP, PASSWORD_SKIP_ALL = 1024, 1005, 1, 2, 3


def dos_date_time(year, month, day, hour, minute, second):
    date = (year - 1980) << 9 | month << 5 | day
    time = hour << 11 | minute << 5 | second // 2
    return date << 16 | time


# The entry offered in place of an existing file: 5,000,000 bytes of 4 March 2021, 05:06:08.
ENTRY_SIZE = 5000000
ENTRY_TIME = dos_date_time(2021, 3, 4, 5, 6, 8)
INCOMING = "\n\ncom este?\n\ntamanho 5,000,000 bytes modificados em 03/04/2021 05:06:08"


class Callbacks(harness.WineTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.probe = os.path.join(harness.WIN64_BIN, "vespa-callbacks-probe.exe")
        if not os.path.exists(cls.probe):
            raise AssertionError("the probe is missing: " + cls.probe)
        cls.existing = os.path.join(cls.work, "existente.txt")
        with open(cls.existing, "wb") as f:
            f.write(b"x" * 1234567)
        cls.out = os.path.join(cls.work, "answer.txt")

    def ask(self, *args):
        """Starts the probe with one question; returns the driver, positioned on nothing yet."""
        if os.path.exists(self.out):
            os.remove(self.out)
        driver = self.session.driver()
        driver.launch(self.probe, *args, harness.windows_path(self.out))
        self.addCleanup(driver.close)
        return driver

    def outcome(self, driver):
        """The probe's exit code and what it wrote."""
        code = driver.exit_code()
        with open(self.out, encoding="cp1252") as f:
            lines = dict(line.rstrip("\n").split(" ", 1) if " " in line else (line.rstrip("\n"), "")
                         for line in f)
        self.assertEqual(int(lines["answer"]), code)
        return code, lines

    def overwrite_question(self, name):
        driver = self.ask("overwrite", name, str(ENTRY_SIZE), str(ENTRY_TIME))
        caption = driver.wait_window(OVERWRITE_TEXT, YES, ALWAYS, NO, NEVER)
        self.assertEqual(caption, PROGRAM_CAPTION)
        return driver, driver.text(OVERWRITE_TEXT)

    def test_overwrite_buttons_give_the_engines_answer_letters(self):
        name = harness.windows_path(self.existing)
        for button, letter in [(YES, "Y"), (ALWAYS, "A"), (NO, "N"), (NEVER, "V"), ("close", "N")]:
            with self.subTest(button=button):
                driver, text = self.overwrite_question(name)
                existing = re.escape(f"Arquivo '{name}' já existe.\n\nVocê deseja sobrescrever o "
                                     "arquivo existente de \n\ntamanho 1,234,567 bytes modificados em ")
                self.assertRegex(text, "^" + existing + r"\d\d/\d\d/\d{4} \d\d:\d\d:\d\d"
                                 + re.escape(INCOMING) + "$")
                if button == "close":
                    driver.close_window()
                else:
                    driver.press(button)
                code, _ = self.outcome(driver)
                self.assertEqual(chr(code), letter)

    def test_overwrite_question_keeps_long_and_vanished_names_whole(self):
        # A name at the path length limit, whose question is longer than the 332 chars the
        # question was once composed in: nothing of it may be lost or overrun.
        stem = harness.windows_path(self.work) + "\\"
        long_name = stem + "n" * (259 - len(stem) - 4) + ".txt"
        self.assertEqual(len(long_name), 259)
        unix_long = os.path.join(self.work, long_name.rsplit("\\", 1)[1])
        with open(unix_long, "wb") as f:
            f.write(b"y" * 1000)
        vanished = harness.windows_path(os.path.join(self.work, "sumiu.txt"))
        cases = [
            ("long", long_name, f"Arquivo '{long_name}' já existe.", "1,000"),
            ("vanished", vanished, None, None),
        ]
        for label, name, head, size in cases:
            with self.subTest(label):
                driver, text = self.overwrite_question(name)
                if head is None:
                    self.assertEqual(text, name + INCOMING)
                else:
                    self.assertTrue(text.startswith(head), text)
                    self.assertIn(f"tamanho {size} bytes", text)
                    self.assertTrue(text.endswith(INCOMING), text)
                    self.assertGreater(len(text), 332)
                driver.press(NO)
                code, _ = self.outcome(driver)
                self.assertEqual(chr(code), "N")

    def test_password_question(self):
        cases = [
            # typed, buffer size, button, answer, password the caller gets
            ("segredo", 32, PASSWORD_OK, 0, "segredo"),
            ("s" * 40, 32, PASSWORD_OK, 0, "s" * 31),   # at most 31 chars are kept
            ("abcdefghij", 8, PASSWORD_OK, 0, "abcdefg"),  # and never more than the buffer holds
            ("", 1, PASSWORD_OK, 0, ""),
            ("segredo", 32, PASSWORD_SKIP, 1, ""),
            ("segredo", 32, PASSWORD_SKIP_ALL, 2, ""),
            ("segredo", 32, "close", 1, ""),
        ]
        for typed, size, button, answer, password in cases:
            with self.subTest(typed=typed, size=size, button=button):
                driver = self.ask("password", "pasta/cofre & chaves.txt", str(size))
                caption = driver.wait_window(PASSWORD_NAME, PASSWORD_EDIT)
                self.assertEqual(caption, PROGRAM_CAPTION)
                dialog = driver.dump()
                self.assertEqual(dialog.controls[PASSWORD_NAME].text, "pasta/cofre & chaves.txt")
                self.assertEqual(dialog.controls[PASSWORD_EDIT].text, "")
                driver.set_text(PASSWORD_EDIT, typed)
                if button == "close":
                    driver.close_window()
                else:
                    driver.press(button)
                code, lines = self.outcome(driver)
                self.assertEqual(code, answer)
                self.assertEqual(lines["password"], password)
                # The typed password is kept for the next entry.
                self.assertEqual(lines["stored"], password)

    def test_disk_prompts_and_yes_no_questions(self):
        cases = [
            (("disk", "3"), "Insira o Disco #3", IDOK, 13),
            (("disk", "12"), "Insira o Disco #12", IDCANCEL, 27),
            (("lastdisk",), "Insira o Último Disco", IDOK, 13),
            (("lastdisk",), "Insira o Último Disco", IDCANCEL, 27),
            (("yesno", "Continuar?"), "Continuar?", IDYES, 1),
            (("yesno", "Continuar?"), "Continuar?", IDNO, 0),
        ]
        for args, message, button, answer in cases:
            with self.subTest(args=args, button=button):
                driver = self.ask(*args)
                caption, text = driver.wait_message_box()
                self.assertEqual(caption, PROGRAM_CAPTION)
                self.assertEqual(text, message)
                driver.press(button)
                code, _ = self.outcome(driver)
                self.assertEqual(code, answer)

    def test_titled_text_shows_both_parts_selected_whole(self):
        driver = self.ask("titled", "Autenticidade", "Primeira parte", "Segunda parte")
        caption = driver.wait_window(VIEWER_TEXT, VIEWER_CLOSE, without=(YES,))
        self.assertEqual(caption, "Autenticidade")
        text = driver.text(VIEWER_TEXT)
        self.assertEqual(text, "Primeira parte\r\nSegunda parte")
        self.assertEqual(driver.selection(VIEWER_TEXT), (0, len(text)))
        driver.press(VIEWER_CLOSE)
        code, _ = self.outcome(driver)
        self.assertEqual(code, VIEWER_CLOSE)


if __name__ == "__main__":
    harness.main()
