#!/usr/bin/env python3
"""make bench, the stub part: "&Testar" in the stub's main dialog under Wine against
vespa-console.exe -TEST on the same archive under the same Wine, on two archives: 60,000 small
entries (made here by Python's zipfile, the same bytes on every run) and the bench corpus's
deflate.zip (run.py makes it). Prints wall seconds and the ratio stub / console (median of the
runs), writes build/bench/stub_wine.json. Asserts nothing; without Wine, Xvfb or the x86_64
build it says why and skips.

The stub's time runs from the click on "&Testar" to its final message box, as the UI driver
sees it (it looks every 50 ms); the console's is the whole process, Wine's start included, its
lines read from a pipe.

VESPA_STUB_BENCH_RUNS (3) sets the runs; VESPA_STUB_BENCH_BIN names another directory holding
vespa-sfx.exe and vespa-console.exe (to measure other builds with the same driver);
VESPA_STUB_BENCH_ARCHIVES (small,tree) picks the archives."""

import json
import os
import statistics
import subprocess
import sys
import time
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "build" / "bench"
RUNS = int(os.environ.get("VESPA_STUB_BENCH_RUNS", "3"))
BIN = Path(os.environ.get("VESPA_STUB_BENCH_BIN", ROOT / "build" / "win64" / "bin"))
CHOSEN = os.environ.get("VESPA_STUB_BENCH_ARCHIVES", "small,tree").split(",")
SMALL_COUNT = 60000

# The harness of the Wine tests: prefix, Xvfb, the UI driver.
os.environ.setdefault("VESPA_WINE_RUN", "bench-%d" % os.getpid())
# vespa-mksfx wraps the archives: the release build's, else the test build's.
for build in ("native-release", "native"):
    if (ROOT / "build" / build / "bin" / "vespa-mksfx").exists():
        os.environ.setdefault("VESPA_BIN", str(ROOT / "build" / build / "bin"))
        break
sys.path.insert(0, str(ROOT / "tests" / "wine"))
import harness  # noqa: E402

# The main dialog's controls: the test button, and the destination and required-space figure
# that say the dialog is the window in front.
TEST, CANCEL, DESTINATION, REQUIRED = 1032, 2, 1007, 1010


def small_entries(path):
    """60,000 files of a few bytes in 60 folders, deflated: about 8 MB, nearly all headers."""
    if path.exists():
        return path
    partial = path.with_suffix(".partial")
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as z:
        for i in range(SMALL_COUNT):
            body = b"entry %d\r\n" % i
            z.writestr(zipfile.ZipInfo("d%02d/f%07d.txt" % (i // 1000, i), (2021, 3, 4, 5, 6, 8)), body)
    partial.rename(path)
    return path


def bench_tree():
    sys.path.insert(0, str(ROOT / "bench"))
    import run as corpus  # noqa: E402
    corpus.build_corpus()
    corpus.build_archives()
    return WORK / "deflate.zip"


def stub_test(session, program):
    """Seconds from the click on "&Testar" to the final message box, and that message."""
    driver = session.driver()
    try:
        driver.launch(program)
        driver.wait_window(DESTINATION, REQUIRED)
        start = time.perf_counter()
        driver.press(TEST)
        _, text = driver.wait_message_box(timeout_ms=600000)
        wall = time.perf_counter() - start
        driver.answer(harness.IDOK)
        driver.wait_window(DESTINATION, REQUIRED)
        driver.press(CANCEL)
        driver.wait_message_box()
        driver.press(harness.IDYES)
        driver.exit_code()
        return wall, text
    finally:
        driver.close()


def console_test(session, console, archive):
    # Its lines go to a pipe: Wine writes to /dev/null some 40 times slower than to a pipe or
    # a file, which would measure Wine's null device instead of the program.
    start = time.perf_counter()
    done = subprocess.run(harness.WINE + [console, "-TEST", harness.windows_path(archive)],
                          env=session.env, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=1200)
    return time.perf_counter() - start, done.returncode


def main():
    reason = harness.unavailable()
    stub, console = BIN / "vespa-sfx.exe", BIN / "vespa-console.exe"
    if not reason and not (stub.exists() and console.exists()):
        reason = f"the x86_64 build is missing ({BIN})"
    if reason:
        print("stub bench: skipped: " + reason)
        return
    WORK.mkdir(parents=True, exist_ok=True)
    archives = {}
    # The tree first: a new corpus takes every archive of the folder with it.
    tree = bench_tree() if "tree" in CHOSEN else None
    if "small" in CHOSEN:
        archives["small"] = small_entries(WORK / "small-60000.zip")
    if tree:
        archives["tree"] = tree
    results = {"bin": str(BIN), "stub_bytes": stub.stat().st_size, "runs": RUNS, "archives": {}}
    with harness.WineSession() as session:
        # One warm-up of Wine itself, so that the first timing does not carry its start.
        session.run(str(console), "-VERSION", timeout=300)
        for name, archive in archives.items():
            program = str(WORK / f"stub-bench-{name}.exe")
            harness.make_sfx(str(archive), program, stub=str(stub))
            stub_walls, console_walls, message = [], [], ""
            for _ in range(RUNS):
                wall, code = console_test(session, str(console), archive)
                console_walls.append(wall)
                wall, message = stub_test(session, program)
                stub_walls.append(wall)
            os.unlink(program)
            row = {"archive": str(archive), "archive_bytes": archive.stat().st_size,
                   "stub_wall": stub_walls, "console_wall": console_walls,
                   "console_exit": code, "stub_message": message,
                   "ratio": statistics.median(stub_walls) / statistics.median(console_walls)}
            results["archives"][name] = row
            print(f"stub bench: {name} ({archive.stat().st_size / 1e6:.1f} MB): stub "
                  f"\"&Testar\" {statistics.median(stub_walls):.2f} s, vespa-console.exe -TEST "
                  f"{statistics.median(console_walls):.2f} s under Wine: {row['ratio']:.2f}x "
                  f"(target <= 1.25x); stub said {message!r}", flush=True)
    (WORK / "stub_wine.json").write_text(json.dumps(results, indent=2))


if __name__ == "__main__":
    main()
