#!/usr/bin/env python3
"""make bench, the scale part: vespa-console testing and extracting archives of many entries
(100,000 and 1,000,000 small ones, made by Python's zipfile, ZIP64 end record included) and one
of a 6 GiB entry. Prints wall and CPU seconds and peak memory, with the memory per 100,000
entries, and writes build/bench/scale.json. Asserts nothing. Needs about 14 GB of free disk for
a moment; every file it makes is deleted at the end.

VESPA_SCALE_COUNTS (100000,1000000) and VESPA_SCALE_GIB (6) change the sizes."""

import json
import os
import shutil
import subprocess
import sys
import time
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
CONSOLE = ROOT / "build" / "native-release" / "bin" / "vespa-console"
WORK = ROOT / "build" / "bench" / "scale"
COUNTS = [int(n) for n in os.environ.get("VESPA_SCALE_COUNTS", "100000,1000000").split(",")]
GIB = float(os.environ.get("VESPA_SCALE_GIB", "6"))


def many_entries(path, count):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for i in range(count):
            z.writestr(zipfile.ZipInfo("d%03d/f%07d.txt" % (i // 5000, i), (2021, 3, 4, 5, 6, 8)),
                       b"entry %d\n" % i)


def one_large_entry(path, size):
    """Text lines, deflated at level 1 as they are written (Python never holds them whole)."""
    block = b"".join(b"line %09d of a large entry, mostly repeated text\n" % i for i in range(20000))
    info = zipfile.ZipInfo("large.bin", (2024, 1, 2, 3, 4, 6))
    info.compress_type = zipfile.ZIP_DEFLATED
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        with z.open(info, "w", force_zip64=True) as f:
            left = size
            while left:
                n = min(left, len(block))
                f.write(block[:n])
                left -= n


def timed(command):
    """Wall seconds, CPU seconds and peak resident kilobytes of one process, as GNU time reports
    them: the peak of the process itself, not that of this Python process it was forked from
    (which the rusage of a child carries over the fork)."""
    report = WORK / "time.out"
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        done = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o", str(report)] + command,
                              stdout=null, stderr=null, stdin=subprocess.DEVNULL, check=False)
    wall = time.perf_counter() - start
    if done.returncode != 0:
        print(f"scale: warning: {' '.join(map(str, command))} ended with {done.returncode}",
              file=sys.stderr)
    user, system, rss = report.read_text().split()[-3:]
    return {"wall": wall, "cpu": float(user) + float(system), "rss_kb": int(rss),
            "code": done.returncode}


def run_case(name, archive, results):
    out = WORK / (name + "-out")
    out.mkdir()
    test = timed([str(CONSOLE), "-TEST", str(archive)])
    extract = timed([str(CONSOLE), "-EXTRACT", "-DIRECTORIES", str(archive), str(out) + "/"])
    shutil.rmtree(out, ignore_errors=True)
    results[name] = {"archive_bytes": archive.stat().st_size, "test": test, "extract": extract}
    print(f"scale: {name}: test {test['wall']:.1f} s wall, {test['cpu']:.1f} s CPU, "
          f"{test['rss_kb'] / 1024:.1f} MB peak; extract {extract['wall']:.1f} s wall, "
          f"{extract['rss_kb'] / 1024:.1f} MB peak")


def main():
    if not CONSOLE.exists():
        sys.exit(f"scale: build {CONSOLE} first (cmake --preset native-release)")
    WORK.mkdir(parents=True, exist_ok=True)
    results = {}
    try:
        for count in COUNTS:
            archive = WORK / f"entries-{count}.zip"
            many_entries(archive, count)
            run_case(f"entries-{count}", archive, results)
            archive.unlink()
            per = results[f"entries-{count}"]["test"]["rss_kb"] * 100000 / count / 1024
            print(f"scale: entries-{count}: {per:.1f} MB of peak memory per 100,000 entries")
        archive = WORK / "large-entry.zip"
        one_large_entry(archive, int(GIB * (1 << 30)))
        run_case(f"entry-{GIB:g}-GiB", archive, results)
        archive.unlink()
    finally:
        shutil.rmtree(WORK, ignore_errors=True)
    (WORK.parent / "scale.json").write_text(json.dumps(results, indent=1))


if __name__ == "__main__":
    main()
