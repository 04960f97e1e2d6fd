"""Shared helpers of the end-to-end tests that drive vespa-console.

vespa-console runs with standard input closed (so every question it would ask is answered
"no" or "skip"), under a timeout, with its output decoded from UTF-8. Archives are made at test
time by Info-ZIP zip, 7-Zip and Python's zipfile in temporary directories.

Every process of a test run (the peers, vespa-console and this script) works in one fixed local
time zone west of Greenwich, so that DOS date-times, which are local time, cannot pass for UTC by
accident.

Environment: VESPA_BIN (native bin directory), VESPA_WRAPPER (a command put before the program,
such as valgrind), VESPA_CORPUS, VESPA_SOURCE.
"""

import collections
import filecmp
import os
import re
import shlex
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
import zipfile

SOURCE = os.environ.get("VESPA_SOURCE",
                        os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BIN = os.environ.get("VESPA_BIN", os.path.join(SOURCE, "build", "native", "bin"))
CORPUS = os.environ.get("VESPA_CORPUS", os.path.join(SOURCE, "..", "shared", "corpus"))
WRAPPER = shlex.split(os.environ.get("VESPA_WRAPPER", ""))
CONSOLE = os.path.join(BIN, "vespa-console")
TIMEOUT = 120
# The exit code of a script with nothing it can test here; tests/CMakeLists.txt gives it to
# ctest as SKIP_RETURN_CODE, so that ctest lists the script as skipped, not passed or failed.
SKIP_EXIT_CODE = 77

# Three hours west of Greenwich, no daylight saving: local time differs from UTC all year.
os.environ["TZ"] = "<-03>3"
time.tzset()
os.environ["LANG"] = os.environ["LC_ALL"] = "C.UTF-8"
# Sanitizer reports must be told apart from the program's own exit codes (1 means warnings).
os.environ.setdefault("UBSAN_OPTIONS", "print_stacktrace=1")

# What a memory-checking build or wrapper prints when it finds a fault.
FAULT_MARKERS = ("AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer", "ThreadSanitizer",
                 "runtime error:", "Invalid read", "Invalid write", "uninitialised",
                 "Conditional jump")

WARNING_TEXTS = {
    1: "Não posso criar: ",
    2: "caminho ilegal ou na especificação do drive: ",
    3: "requer versão do TAMBO ",
    4: "Falha na checagem do arquivo de CRC ",
    5: "Tamanho inesperado no arquivo .ZIP ",
    10: "Arquivo implodido possui uma tabela defeituosa",
    11: "Arquivo implodido possui uma tabela literalmente defeituosa",
    12: "Fim inesperado dos dados compactados",
    13: "Ignorando arquivo encriptado: ",
    18: "Método de Compressão desconhecido para arquivo: ",
    20: "Senha Incorreta para arquivo: ",
}
ARCHIVE_ERROR_TEXTS = {
    150: "Erro na leitura do arquivo .ZIP ",
    151: "Arquivo muito pequeno para ser um arquivo .ZIP ",
    152: "Não encontrado as assinaturas de CE ",
    153: "Final prematuro do .ZIP ",
    154: "Cabeçalho local corrompido ou não encontrado ",
    155: "Muitos arquivos no ",
}

Result = collections.namedtuple("Result", "code stdout stderr timed_out args stdout_bytes")


def exit_status(number):
    """The status a Linux parent sees for an exit code (archive errors 299 to 304 wrap)."""
    return number & 0xFF


def run_console(args, cwd=None, timeout=TIMEOUT, env=None):
    """Runs vespa-console with the option words and arguments given; never raises on a hang.
    env: variables set for this run on top of the test's own environment."""
    command = WRAPPER + [CONSOLE] + [str(a) for a in args]
    process = subprocess.Popen(command, cwd=cwd, stdin=subprocess.DEVNULL,
                               env=dict(os.environ, **env) if env else None,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               start_new_session=True)
    try:
        out, err = process.communicate(timeout=timeout)
        timed_out = False
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        out, err = process.communicate()
        timed_out = True
    return Result(process.returncode, out.decode("utf-8", "replace"),
                  err.decode("utf-8", "replace"), timed_out, command, out)


def describe(result):
    return "%s\nexit %s%s\n--- stdout\n%s--- stderr\n%s" % (
        " ".join(shlex.quote(a) for a in result.args), result.code,
        " (timed out)" if result.timed_out else "", result.stdout[-3000:], result.stderr[-3000:])


def fault_of(result):
    """What went wrong at the process level (hang, signal, sanitizer report), or None."""
    if result.timed_out:
        return "no end within the time limit"
    if result.code < 0:
        return "ended by signal %d" % -result.code
    for marker in FAULT_MARKERS:
        if marker in result.stderr:
            return "memory checker report (%s)" % marker
    return None


def warnings(result):
    """The warning lines ("Aviso: <text>") of a run, without the prefix."""
    return [line[len("Aviso: "):] for line in result.stderr.splitlines()
            if line.startswith("Aviso: ")]


def warning_pattern(number, detail=None):
    """A pattern for one warning line's text: the table text, the blank ReportWarning adds,
    then the detail (any detail when None)."""
    text = re.escape(WARNING_TEXTS[number].rstrip())
    if detail is None:
        return re.compile(text + r"(\s.*)?$")
    if detail == "":
        return re.compile(text + r"\s*$")
    return re.compile(text + r"\s+" + re.escape(detail) + "$")


def count_warnings(result, number, detail=None):
    pattern = warning_pattern(number, detail)
    return sum(1 for w in warnings(result) if pattern.match(w))


class ConsoleTestCase(unittest.TestCase):
    """Skips when vespa-console is not built; adds assertions on runs."""

    @classmethod
    def setUpClass(cls):
        if not os.path.exists(CONSOLE):
            raise unittest.SkipTest("vespa-console is not built at " + CONSOLE)
        super().setUpClass()

    def make_temp(self, prefix="vespa-e2e-"):
        path = tempfile.mkdtemp(prefix=prefix)
        self.addCleanup(shutil.rmtree, path, True)
        return path

    def run_ok(self, args, expect_code, cwd=None, timeout=TIMEOUT):
        """Runs and asserts a clean process end with the exit code given."""
        result = run_console(args, cwd=cwd, timeout=timeout)
        fault = fault_of(result)
        self.assertIsNone(fault, "%s\n%s" % (fault, describe(result)))
        self.assertEqual(result.code, exit_status(expect_code), describe(result))
        return result

    def assertWarning(self, result, number, detail=None, count=1):
        found = count_warnings(result, number, detail)
        self.assertEqual(found, count, "warning %d (%r) expected %d time(s)\n%s"
                         % (number, detail, count, describe(result)))


# --- Files and trees ---------------------------------------------------------------------

def write_tree(root, files, mtimes=None):
    """files: relative name → bytes (a name ending in '/' makes a directory). mtimes: relative
    name → seconds since the epoch, or (seconds, nanoseconds)."""
    for name, data in files.items():
        path = os.path.join(root, name)
        if name.endswith("/"):
            os.makedirs(path, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    # Times last, deepest first, so that writing a file does not move its directory's time.
    for name in sorted((mtimes or {}), key=lambda n: -n.count("/")):
        set_mtime(os.path.join(root, name), mtimes[name])


def set_mtime(path, when):
    if isinstance(when, tuple):
        ns = when[0] * 1_000_000_000 + when[1]
    else:
        ns = int(when * 1_000_000_000)
    os.utime(path, ns=(ns, ns))


def local_epoch(year, month, day, hour=12, minute=0, second=0):
    """Seconds since the epoch of a local wall-clock time."""
    return int(time.mktime((year, month, day, hour, minute, second, 0, 0, -1)))


def tree_listing(root):
    """Relative names of everything under root: files as 'a/b', directories as 'a/'."""
    names = set()
    for dirpath, dirnames, filenames in os.walk(root):
        rel = os.path.relpath(dirpath, root)
        prefix = "" if rel == "." else rel.replace(os.sep, "/") + "/"
        for d in dirnames:
            names.add(prefix + d + "/")
        for f in filenames:
            names.add(prefix + f)
    return names


def read(path):
    with open(path, "rb") as f:
        return f.read()


def dos_mtimes_ns(archive):
    """Entry name → the modification time its DOS date-time (local time) stands for, in ns."""
    with zipfile.ZipFile(archive) as z:
        return {i.filename: int(time.mktime(i.date_time + (0, 0, -1))) * 1_000_000_000
                for i in z.infolist()}


def compare_files(case, source_root, dest_root, names, mtimes_ns=None):
    """Asserts that each named file under dest_root has the bytes of the one under source_root
    and, when mtimes_ns (name → ns since the epoch) is given, that modification time."""
    for name in names:
        src = os.path.join(source_root, name)
        dst = os.path.join(dest_root, name)
        case.assertTrue(os.path.isfile(dst), "not extracted: " + name)
        case.assertTrue(filecmp.cmp(src, dst, shallow=False), "bytes differ: " + name)
        if mtimes_ns is not None:
            want, got = mtimes_ns[name], os.stat(dst).st_mtime_ns
            case.assertEqual(want, got, "modification time of %s: %s (%d) expected, %s (%d) found"
                             % (name, time.ctime(want / 1e9), want, time.ctime(got / 1e9), got))


# --- Archive makers ----------------------------------------------------------------------

def tool(args, cwd, input_bytes=None):
    """Runs a peer tool and fails loudly when it does."""
    done = subprocess.run(args, cwd=cwd, input=input_bytes, capture_output=True, timeout=300)
    if done.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(args), done.returncode,
                                                  (done.stdout + done.stderr).decode(errors="replace")))
    return done


def info_zip(archive, source_root, names, options=()):
    """Info-ZIP zip of the names under source_root (directories recurse)."""
    tool(["zip", "-q"] + list(options) + [archive] + list(names), cwd=source_root)


def info_zip_piped(archive, data, options=(), streamed=True):
    """Info-ZIP zip reading one entry, named '-', from a pipe. Written to a pipe too (streamed),
    zip cannot go back to its local header: CRC and sizes follow the data in a data descriptor
    (flag bit 3). Written to a file, it goes back instead, and marks the entry as needing ZIP64
    (version 4.5), since it could not know the size in advance."""
    if streamed:
        done = tool(["zip", "-q"] + list(options) + ["-", "-"], cwd=os.path.dirname(archive),
                    input_bytes=data)
        with open(archive, "wb") as f:
            f.write(done.stdout)
    else:
        tool(["zip", "-q"] + list(options) + [archive, "-"], cwd=os.path.dirname(archive),
             input_bytes=data)


def seven_zip(archive, source_root, names, options=()):
    tool(["7z", "a", "-tzip", "-bd", "-y"] + list(options) + [archive] + list(names),
         cwd=source_root)


def python_zip(archive, entries, comment=b"", compression=zipfile.ZIP_DEFLATED):
    """entries: ZipInfo or name → bytes (None for a directory entry). Names are written as
    given, unchecked."""
    with zipfile.ZipFile(archive, "w", compression) as z:
        for key, data in entries:
            info = key
            if not isinstance(info, zipfile.ZipInfo):
                info = zipfile.ZipInfo(key, date_time=(2020, 2, 29, 23, 58, 58))
                info.compress_type = compression if data else zipfile.ZIP_STORED
                info.external_attr = 0o40755 << 16 | 0x10 if key.endswith("/") else 0o644 << 16
            z.writestr(info, data or b"")
        z.comment = comment


def unzip_verdict(archive, password=None):
    """Info-ZIP UnZip's exit code for -t, with no terminal to ask for passwords."""
    args = ["unzip", "-t"]
    if password is not None:
        args += ["-P", password]
    done = subprocess.run(args + [archive], stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=TIMEOUT)
    return done.returncode


def have_tools(*names):
    missing = [n for n in names if shutil.which(n) is None]
    return missing
