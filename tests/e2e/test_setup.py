"""scripts/setup.sh's decisions, on a pretend Debian: apt-get, dpkg, dpkg-query and wine are
stand-ins on PATH that keep a package list in a directory, so that nothing is installed on this
machine, and the answer of the 32-bit probe is forced with VESPA_FORCE_32BIT_PROBE. What matters
is the state each case ends in: 32-bit Wine only where it runs, with everything a failed trial
installed taken back, and the build set free of test tools. And the make targets ask setup.sh for
their own purposes only.

Environment: VESPA_SOURCE (the source tree).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import textwrap
import unittest

SOURCE = os.environ.get("VESPA_SOURCE", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
SETUP = os.path.join(SOURCE, "scripts", "setup.sh")
TIMEOUT = 120

# One program for the four tools, told apart by the name it is started by. The machine: the file
# "installed" (name:arch or name, one a line), "architectures" (foreign ones), "log" (every call
# that changes something). FAKE_WINE32_STARTS=0: the 32-bit loader cannot start (the kernel has
# no 32-bit support); FAKE_APT_FAILS=1: installing fails.
FAKE_TOOLS = textwrap.dedent(r'''
    import os, sys
    state = os.environ["FAKE_STATE"]
    tool, args = os.path.basename(sys.argv[0]), sys.argv[1:]

    def lines(name):
        path = os.path.join(state, name)
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return f.read().split()

    def write(name, items):
        with open(os.path.join(state, name), "w") as f:
            f.write("".join(i + "\n" for i in items))

    def log(*words):
        with open(os.path.join(state, "log"), "a") as f:
            f.write(" ".join(words) + "\n")

    installed = lines("installed")
    # What wine32:i386 pulls in with it.
    DEPENDS = {"wine32:i386": ["libwine:i386", "libc6:i386"]}

    if tool == "sudo":
        os.execvp(args[0], args)
    elif tool == "wine":
        if "wine32:i386" in installed and os.environ.get("FAKE_WINE32_STARTS") == "0":
            sys.exit(126)
        print("wine-8.0")
    elif tool == "dpkg":
        if args == ["--print-foreign-architectures"]:
            print("\n".join(lines("architectures")))
        elif args[0] == "--add-architecture":
            log("dpkg", *args)
            write("architectures", sorted(set(lines("architectures") + [args[1]])))
        elif args[0] == "--remove-architecture":
            log("dpkg", *args)
            if any(p.endswith(":" + args[1]) for p in installed):
                sys.exit("dpkg: error: cannot remove architecture in use")
            write("architectures", [a for a in lines("architectures") if a != args[1]])
    elif tool == "dpkg-query":
        form = next(a[3:] for a in args if a.startswith("-f="))
        names = [a for a in args if not a.startswith("-")]
        if names and names[0] not in installed:
            sys.exit(1)
        for name in names or installed:
            sys.stdout.write(form.replace("${Status}", "install ok installed")
                             .replace("${binary:Package}", name).replace("\\n", "\n"))
    elif tool == "apt-get":
        command = next(a for a in args if not a.startswith("-"))
        names = [a for a in args if not a.startswith("-") and a != command]
        if command == "update":
            sys.exit(0)
        log("apt-get", command, *names)
        if command == "install":
            if os.environ.get("FAKE_APT_FAILS") == "1":
                sys.exit(100)
            for name in list(names):
                if name.endswith(":i386") and "i386" not in lines("architectures"):
                    sys.exit(100)
                names += DEPENDS.get(name, [])
            write("installed", sorted(set(installed + names)))
        elif command in ("remove", "purge"):
            write("installed", [p for p in installed if p not in names])
''').lstrip()

BUILD = ["g++", "binutils", "cmake", "ninja-build", "make", "python3", "libdeflate-dev",
         "g++-mingw-w64-x86-64-posix", "g++-mingw-w64-i686-posix", "libz-mingw-w64-dev",
         "liblzma-dev", "libssl-dev", "nettle-dev"]
TEST_TOOLS = ["wine", "wine64", "xvfb", "valgrind", "clang", "imagemagick", "p7zip-full",
              "osslsigncode", "zip", "unzip", "googletest", "libbenchmark-dev"]
# Everything build and test ask for, so that only the 32-bit decision is left to take.
EVERYTHING = BUILD + [
    "googletest", "libgtest-dev", "zlib1g-dev", "wine64", "wine", "xvfb", "xdotool", "imagemagick",
    "x11-utils", "zip", "unzip", "p7zip-full", "osslsigncode", "openssl", "valgrind", "bc", "clang",
    "libclang-rt-dev", "icoutils", "python3-pefile", "libarchive-tools"]
WINE32 = ["wine32:i386", "libwine:i386", "libc6:i386"]


class SetupDecisionTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="vespa-setup-")
        self.addCleanup(shutil.rmtree, self.tmp, ignore_errors=True)
        self.bin = os.path.join(self.tmp, "bin")
        self.state = os.path.join(self.tmp, "state")
        os.makedirs(self.bin)
        os.makedirs(self.state)
        tools = os.path.join(self.bin, "fake-tools")
        with open(tools, "w") as f:
            # -S: setup.sh starts them a few hundred times; without site, each starts sooner.
            f.write(f"#!{sys.executable} -S\n" + FAKE_TOOLS)
        os.chmod(tools, 0o755)
        for name in ("apt-get", "dpkg", "dpkg-query", "wine", "sudo"):
            os.symlink(tools, os.path.join(self.bin, name))

    def machine(self, installed, architectures=()):
        for name, items in (("installed", installed), ("architectures", architectures), ("log", [])):
            with open(os.path.join(self.state, name), "w") as f:
                f.write("".join(i + "\n" for i in items))

    def read(self, name):
        path = os.path.join(self.state, name)
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return f.read().split("\n")[:-1]

    def run_faked(self, command, **env):
        environment = dict(os.environ, PATH=self.bin + os.pathsep + os.environ["PATH"],
                           FAKE_STATE=self.state, **env)
        return subprocess.run(command, env=environment, capture_output=True, text=True,
                              timeout=TIMEOUT, stdin=subprocess.DEVNULL)

    def setup(self, *purposes, **env):
        result = self.run_faked([SETUP] + list(purposes), **env)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result.stdout

    def test_32bit_wine_decisions(self):
        # (case, probe, packages before, architectures before, environment,
        #  32-bit packages after, architectures after, the line said)
        cases = [
            ("cannot run 32-bit, none installed", "fail", [], [], {},
             [], [], "cannot run 32-bit programs .*: 64-bit Wine only"),
            ("cannot run 32-bit, wine32 installed before: mended", "fail", WINE32, ["i386"], {},
             ["libc6:i386"], ["i386"], "removed wine32:i386 and libwine:i386"),
            ("runs 32-bit, trial install starts", "ok", [], [], {},
             WINE32, ["i386"], "32-bit Wine installed and starts"),
            ("runs 32-bit, Wine does not start after the trial", "ok", [], [],
             {"FAKE_WINE32_STARTS": "0"}, [], [], "took back what the trial installed"),
            ("runs 32-bit, the trial install fails", "ok", [], [], {"FAKE_APT_FAILS": "1"},
             [], [], "took back what the trial installed"),
            ("runs 32-bit, only what the trial added is taken back", "ok", ["libc6:i386"],
             ["i386"], {"FAKE_WINE32_STARTS": "0"}, ["libc6:i386"], ["i386"],
             "took back what the trial installed"),
            ("runs 32-bit, wine32 installed before and starts", "ok", WINE32, ["i386"], {},
             WINE32, ["i386"], "32-bit Wine is installed and starts"),
            ("runs 32-bit, wine32 installed before but Wine does not start", "ok", WINE32,
             ["i386"], {"FAKE_WINE32_STARTS": "0"}, ["libc6:i386"], ["i386"],
             "Wine did not start with wine32:i386: removed it"),
        ]
        for name, probe, before, architectures, env, after, architectures_after, said in cases:
            with self.subTest(name):
                self.machine(EVERYTHING + before, architectures)
                out = self.setup("test", VESPA_FORCE_32BIT_PROBE=probe, **env)
                lines = out.splitlines()
                self.assertEqual(len(lines), 2, out)  # the packages' line, then Wine's
                self.assertRegex(lines[1], "^setup: .*" + said)
                installed = self.read("installed")
                self.assertEqual(sorted(p for p in installed if p.endswith(":i386")), sorted(after))
                self.assertEqual(self.read("architectures"), architectures_after)
                # Whatever was decided, Wine starts afterwards.
                self.assertEqual(self.run_faked(["wine", "--version"], **env).returncode, 0)
                if probe == "fail":
                    self.assertFalse([c for c in self.read("log") if c.startswith("apt-get install")])

    def test_build_installs_only_what_building_needs(self):
        self.machine([])
        out = self.setup("build", VESPA_FORCE_32BIT_PROBE="ok")
        self.assertEqual(self.read("log"), ["apt-get install " + " ".join(BUILD)])
        self.assertEqual(self.read("architectures"), [])
        self.assertNotIn("Wine", out)
        for tool in TEST_TOOLS:
            self.assertNotIn(tool, self.read("installed"))

    def test_make_targets_ask_for_their_own_purposes(self):
        if not shutil.which("make"):
            raise unittest.SkipTest("make is not installed")
        for target, purposes in (("install", ["build"]), ("check", ["build", "test"]),
                                 ("demo", ["build", "test"]), ("bench", ["build", "bench"])):
            with self.subTest(target):
                result = subprocess.run(["make", "-n", "-C", SOURCE, target, "PREFIX=" + self.tmp],
                                        capture_output=True, text=True, timeout=TIMEOUT)
                self.assertEqual(result.returncode, 0, result.stderr)
                asked = [line.split("setup.sh", 1)[1].split() for line in result.stdout.splitlines()
                         if "scripts/setup.sh" in line]
                self.assertEqual(sorted(w for words in asked for w in words), sorted(purposes))


if __name__ == "__main__":
    unittest.main(verbosity=2)
