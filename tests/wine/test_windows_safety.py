#!/usr/bin/env python3
"""The stub as a program downloaded from anywhere, under Wine:

    - it restricts library loading to the system directory before it does anything else;
    - its manifest keeps it at the user's own rights (asInvoker), as Wine's manifest reader reads it,
      unless the builder was told another level (--elevation), which Wine reads back as given;
    - an archive signed with osslsigncode (a throwaway certificate made here) still verifies,
      and the stub still finds its end record in front of the certificate table and extracts
      every file byte for byte.
"""

import os
import queue
import shutil
import signal
import subprocess
import sys
import threading
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDOK  # noqa: E402

DESTINATION, REQUIRED, EXTRACT, RECREATE, SHOW_MESSAGES = 1007, 1010, 1, 1013, 1022
FILES = {"leia-me.txt": b"Arquivo assinado\r\n" * 40, "dados/valores.bin": bytes(range(256)) * 64}


class WindowsSafety(harness.StubTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        archive = os.path.join(cls.work, "files.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in FILES.items():
                z.writestr(name, data)
        cls.archive = archive
        cls.sfx = harness.make_sfx(archive, os.path.join(cls.work, "setup.exe"), cls.stub)

    def test_library_search_is_restricted_at_start(self):
        # Wine's relay trace shows the calls of the functions named in RelayInclude.
        key = r"HKCU\Software\Wine\Debug"
        traced = "kernel32.SetDefaultDllDirectories;kernelbase.SetDefaultDllDirectories"
        reg = harness.WINE + ["reg"]
        subprocess.run(reg + ["add", key, "/v", "RelayInclude", "/d", traced, "/f"],
                       env=self.session.env, capture_output=True, timeout=120, check=True)
        self.addCleanup(subprocess.run, reg + ["delete", key, "/v", "RelayInclude", "/f"],
                        env=self.session.env, capture_output=True, timeout=120)
        env = dict(self.session.env, WINEDEBUG="+relay")
        process = subprocess.Popen(harness.WINE + [self.sfx], env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                   start_new_session=True)
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(l) for l in process.stderr], daemon=True).start()
        call = None
        try:
            while call is None:
                line = lines.get(timeout=120).decode("latin-1")
                if "SetDefaultDllDirectories(" in line and "Call " in line:
                    call = line.strip()
        finally:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait(timeout=60)
        print("relay trace: " + call)
        self.assertRegex(call, r"SetDefaultDllDirectories\(0*800\)")  # LOAD_LIBRARY_SEARCH_SYSTEM32

    def test_manifest_asks_for_the_level_the_builder_was_given(self):
        # Wine's own manifest reader, as it reads the manifest a process starts with. Without
        # --elevation the stub asks for the user's own rights; each level written by the
        # builder is read as such, the program still starts into its dialog, and a signature
        # over it still verifies.
        with open(self.sfx, "rb") as f:
            self.assertEqual(f.read().count(b'level="asInvoker"'), 1)
        builder = harness.native_tool("vespa-mksfx")
        driver = self.session.driver()
        try:
            self.assertEqual(driver.run_level(self.sfx), ("asInvoker", False))
            for level in ("asInvoker", "highestAvailable", "requireAdministrator"):
                program = os.path.join(self.work, f"{level}.exe")
                subprocess.run([builder, "-q", "-o", program, "--stub", self.stub, "--elevation",
                                level, self.archive], check=True, timeout=120)
                self.assertEqual(driver.run_level(program), (level, False), level)
                driver.launch(program)
                driver.wait_window(DESTINATION, REQUIRED)
                driver.kill()
            signed = self.sign(os.path.join(self.work, "requireAdministrator.exe"))
            self.assertEqual(driver.run_level(signed), ("requireAdministrator", False))
        finally:
            driver.close()

    def sign(self, program):
        """program signed with osslsigncode under a throwaway certificate, and verified."""
        for tool in ("osslsigncode", "openssl"):
            if not shutil.which(tool):
                self.skipTest(tool + " is not installed")
        work = os.path.join(self.work, "signing")
        os.makedirs(work, exist_ok=True)
        key, cert = os.path.join(work, "key.pem"), os.path.join(work, "cert.pem")
        if not os.path.exists(cert):
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days",
                            "2", "-subj", "/CN=VESPA test signer", "-keyout", key, "-out", cert],
                           check=True, capture_output=True, timeout=120)
        signed = program[:-len(".exe")] + "-signed.exe"
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "VESPA test",
                        "-in", program, "-out", signed], check=True, capture_output=True,
                       timeout=120)
        verified = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed],
                                  capture_output=True, timeout=120)
        self.assertEqual(verified.returncode, 0, verified.stdout.decode() + verified.stderr.decode())
        return signed

    def test_signed_archive_verifies_and_extracts(self):
        signed = self.sign(self.sfx)
        with open(self.sfx, "rb") as f, open(signed, "rb") as g:
            plain, signed_bytes = f.read(), g.read()
        self.assertGreater(len(signed_bytes), len(plain))  # the certificate table follows the ZIP
        work = os.path.dirname(signed)
        out = os.path.join(work, "out")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        driver = self.session.driver()
        try:
            driver.launch(signed)
            driver.wait_window(DESTINATION, REQUIRED)
            driver.command("sleep 1000")  # the dialog paints itself after it is shown
            shot = self.session.screenshot(
                os.path.join(self.screenshots, f"signed-archive-{self.bits}.png"), driver.rect())
            print("screenshot of the signed archive's dialog: " + shot)
            driver.check(RECREATE)
            driver.set_text(DESTINATION, harness.windows_path(out))
            driver.check(SHOW_MESSAGES)
            driver.press(EXTRACT)
            caption, text = driver.wait_message_box()
            self.assertEqual(text, "Extração completada.")
            driver.answer(IDOK)
            self.assertEqual(driver.exit_code(), 0)
        finally:
            driver.close()
        for name, data in FILES.items():
            with open(os.path.join(out, *name.split("/")), "rb") as f:
                self.assertEqual(f.read(), data, name)


if __name__ == "__main__":
    harness.main()
