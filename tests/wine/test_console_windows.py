#!/usr/bin/env python3
"""vespa-console.exe, the x86_64 console build, under Wine on archives made by real tools.

Archives from Info-ZIP zip (stored and deflated entries, a read-only file, a file with an old
time, traditional encryption) and from 7-Zip (Deflate64) are tested and extracted into a
destination given with a Windows '\\'; every byte is compared with the source, and the
attributes and modification times are read back as Windows sees them (attrib, and the file's
time through the Z: drive). A broken archive ends with its full archive-error exit code, which
only the UI driver sees whole: a Linux exit status keeps 8 bits.

Every Wine process of this script runs with TZ=UTC, so that the prefix's local time, in which
DOS date-times are stored, is UTC and an extracted file's time can be compared exactly.
"""

import calendar
import filecmp
import hashlib
import os
import re
import shutil
import subprocess
import sys
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

CONSOLE = os.path.join(harness.WIN64_BIN, "vespa-console.exe")
PASSWORD = "secret"
OLD_TIME = calendar.timegm((1995, 6, 15, 10, 20, 30))

# Source tree: name -> contents. Stored names go in with -0, the others with -9.
STORED = {"dados.bin": bytes((i * 7 + i // 251) & 0xFF for i in range(70000))}
DEFLATED = {
    "leia-me.txt": b"Arquivo de teste para o console.\r\n" * 300,
    "fixo.txt": b"somente leitura\r\n",
    "antigo.txt": b"data antiga\r\n" * 10,
    "docs/manual.txt": b"manual do pacote\n" * 2000,
}
READ_ONLY = "fixo.txt"
OLD = "antigo.txt"

MISSING_SIGNATURES = "Não encontrado as assinaturas de CE "
TESTING = "Testando... "
TEST_PASSED = "Teste OK."


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


class ConsoleUnderWine(harness.WineTestCase):

    @classmethod
    def setUpClass(cls):
        if not os.path.exists(CONSOLE):
            raise unittest.SkipTest("the x86_64 build (vespa-console.exe) is missing")
        for tool in ("zip", "7z"):
            if shutil.which(tool) is None:
                raise unittest.SkipTest(tool + " is not installed")
        super().setUpClass()
        # No Wine process has run in this session yet: the wineserver starts with UTC too.
        cls.session.env["TZ"] = "UTC"

        cls.source = os.path.join(cls.work, "src")
        for name, data in {**STORED, **DEFLATED}.items():
            write(os.path.join(cls.source, name), data)
        os.utime(os.path.join(cls.source, OLD), (OLD_TIME, OLD_TIME))
        os.chmod(os.path.join(cls.source, READ_ONLY), 0o444)

        zip_env = dict(os.environ, TZ="UTC")

        def info_zip(archive, level, names, encrypt):
            command = ["zip", "-q", "-X", level] + (["-P", PASSWORD] if encrypt else [])
            subprocess.run(command + [archive] + names, cwd=cls.source, env=zip_env,
                           check=True, timeout=60)

        cls.archives = {}
        for name, encrypt in (("plain.zip", False), ("crypt.zip", True)):
            path = os.path.join(cls.work, name)
            info_zip(path, "-0", sorted(STORED), encrypt)
            info_zip(path, "-9", sorted(DEFLATED), encrypt)
            cls.archives[name] = path
        seven = os.path.join(cls.work, "d64.zip")
        subprocess.run(["7z", "a", "-tzip", "-mm=Deflate64", "-bd", "-bso0", seven]
                       + sorted({**STORED, **DEFLATED}), cwd=cls.source, env=zip_env,
                       check=True, timeout=60, stdout=subprocess.DEVNULL)
        cls.archives["d64.zip"] = seven

    def console(self, *args):
        """Runs vespa-console.exe in the work directory; returns (status, stdout, stderr)."""
        result = self.session.run(CONSOLE, *args, cwd=self.work)
        return (result.returncode, result.stdout.decode("utf-8", "replace"),
                result.stderr.decode("utf-8", "replace"))

    def windows(self, *command):
        result = subprocess.run(harness.WINE + ["cmd", "/c"] + list(command),
                                env=self.session.env, cwd=self.work, stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=120)
        return result.stdout.decode("cp1252", "replace")

    def fresh(self, name):
        """An empty destination: the engine creates what lies below it, not the directory
        itself."""
        path = os.path.join(self.work, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def attributes(self, relative):
        """The attribute letters Windows shows for a file: the columns before its name."""
        line = self.windows("attrib", relative.replace("/", "\\")).strip()
        letters, drive, name = line.partition(":\\")
        self.assertTrue(drive and name.endswith(os.path.basename(relative)), line)
        return set(letters[:-1].replace(" ", ""))

    def shown_time(self, relative):
        """A file's modification time as cmd shows it (minutes), as (Y, M, D, h, m)."""
        shown = self.windows("for", "%F", "in", "(" + relative.replace("/", "\\") + ")", "do",
                             "@echo", "%~tF").strip()
        match = re.fullmatch(r"(\d+)/(\d+)/(\d{4}) (\d+):(\d\d) ([AP]M)", shown)
        self.assertIsNotNone(match, shown)
        month, day, year, hour, minute = (int(g) for g in match.groups()[:5])
        hour = hour % 12 + (12 if match.group(6) == "PM" else 0)
        return year, month, day, hour, minute

    def test_archives_test_clean_and_extract_exactly(self):
        for archive, path in self.archives.items():
            with self.subTest(archive):
                # Info-ZIP stores the file it could not write to as read-only.
                infos = {i.filename: i for i in zipfile.ZipFile(path).infolist()}
                self.assertEqual(infos[READ_ONLY].external_attr & 1, 1)

                status, out, err = self.console("-TEST", "-PASSWORD=" + PASSWORD,
                                                 os.path.basename(path))
                self.assertEqual((status, err), (0, ""), out)
                lines = out.splitlines()
                entries = [line for line in lines if line.startswith(TESTING)]
                self.assertEqual(len(entries), len(infos), out)
                for line in entries:
                    self.assertTrue(line.endswith("  OK"), line)
                self.assertEqual(lines[-1], TEST_PASSED, out)

                out_dir = self.fresh("OUT-" + archive)
                status, out, err = self.console(
                    "-EXTRACT", "-DIRECTORIES", "-PASSWORD=" + PASSWORD, "-MASK",
                    os.path.basename(path), os.path.basename(out_dir) + "\\")
                self.assertEqual((status, err), (0, ""), out)

                extracted = sorted(os.path.relpath(os.path.join(d, f), out_dir)
                                   for d, _, files in os.walk(out_dir) for f in files)
                self.assertEqual(extracted, sorted({**STORED, **DEFLATED}))
                for name in extracted:
                    self.assertTrue(filecmp.cmp(os.path.join(self.source, name),
                                                os.path.join(out_dir, name), shallow=False), name)

                relative = os.path.basename(out_dir) + "/"
                self.assertIn("R", self.attributes(relative + READ_ONLY))
                self.assertNotIn("R", self.attributes(relative + "leia-me.txt"))

                # The archive's DOS time is Windows local time, here UTC; the Z: drive
                # shows the file's time to Linux as seconds since the epoch.
                for name in (OLD, "docs/manual.txt", "dados.bin"):
                    dos = calendar.timegm(infos[name].date_time + (0, 0, 0))
                    self.assertEqual(int(os.stat(os.path.join(out_dir, name)).st_mtime), dos,
                                     name)
                    self.assertEqual(self.shown_time(relative + name), infos[name].date_time[:5],
                                     name)
                self.assertEqual(int(os.stat(os.path.join(out_dir, OLD)).st_mtime), OLD_TIME)

    def test_read_only_is_dropped_without_mask(self):
        out_dir = self.fresh("OUT-nomask")
        status, out, err = self.console("-EXTRACT", "plain.zip",
                                        os.path.basename(out_dir) + "\\", READ_ONLY)
        self.assertEqual((status, err), (0, ""), out)
        self.assertNotIn("R", self.attributes(os.path.basename(out_dir) + "/" + READ_ONLY))

    def test_wrong_password_warns_once_per_encrypted_file(self):
        # Which warning depends on whether the wrong password passes an entry's check byte
        # (zip draws it at random): skipped, or a damaged result. Nothing is written as good.
        out_dir = self.fresh("OUT-wrong")
        status, out, err = self.console("-EXTRACT", "-DIRECTORIES", "-PASSWORD=errada",
                                        "crypt.zip", os.path.basename(out_dir) + "\\")
        self.assertEqual(status, 1, out + err)
        warnings = [line for line in err.splitlines() if line.startswith("Aviso: ")]
        self.assertEqual(len(warnings), len(STORED) + len(DEFLATED), err)
        for name in {**STORED, **DEFLATED}:
            path = os.path.join(out_dir, name)
            self.assertFalse(os.path.exists(path) and filecmp.cmp(
                os.path.join(self.source, name), path, shallow=False), name)

    def test_one_worker_and_many_agree_on_names_differing_only_in_case(self):
        # Ж.txt and ж.txt are one file on Windows, as are É.txt and é.txt: the small entry of
        # each pair waits for the large one a worker writes, then replaces it.
        archive = os.path.join(self.work, "caixa.zip")
        large = b"".join(b"linha %d do arquivo grande\r\n" % i for i in range(160000))
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            for upper, lower in (("Ж.txt", "ж.txt"), ("pasta/É.txt", "pasta/é.txt")):
                z.writestr(upper, large)
                z.writestr(lower, b"pequeno\r\n")
        outcomes = []
        for workers in ("1", "4"):
            out_dir = self.fresh("OUT-case")
            self.session.env["VESPA_WORKERS"] = workers
            try:
                status, out, err = self.console("-EXTRACT", "-DIRECTORIES", "-OVERWRITE", "caixa.zip",
                                                os.path.basename(out_dir) + "\\")
            finally:
                del self.session.env["VESPA_WORKERS"]
            files = {}
            for folder, _, names in os.walk(out_dir):
                for name in names:
                    with open(os.path.join(folder, name), "rb") as f:
                        data = f.read()
                    files[os.path.relpath(os.path.join(folder, name), out_dir)] = (
                        len(data), hashlib.sha256(data).hexdigest())
            outcomes.append((status, out, err, files))
        self.assertEqual(outcomes[0], outcomes[1])
        status, out, err, files = outcomes[0]
        self.assertEqual((status, err), (0, ""), out)
        small = b"pequeno\r\n"
        self.assertEqual(sorted(files.values()), [(len(small), hashlib.sha256(small).hexdigest())] * 2,
                         sorted(files))

    def test_truncated_archive_ends_with_its_full_exit_code(self):
        with open(self.archives["plain.zip"], "rb") as f:
            data = f.read()
        truncated = os.path.join(self.work, "cortado.zip")
        with open(truncated, "wb") as f:
            f.write(data[:len(data) * 2 // 3])
        # Through Linux, only the low 8 bits are left, with the message on stderr.
        status, out, err = self.console("-TEST", "cortado.zip")
        self.assertEqual(status, 301 & 0xFF, out + err)
        self.assertIn(MISSING_SIGNATURES, err)
        driver = self.session.driver()
        try:
            driver.launch(CONSOLE, "-TEST", truncated)
            self.assertEqual(driver.exit_code(), 301)
        finally:
            driver.close()


if __name__ == "__main__":
    harness.main()
