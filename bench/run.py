#!/usr/bin/env python3
"""make bench: whole-process timings of vespa-console against unzip, 7-Zip, bsdtar and a
libdeflate harness on one corpus of real data archived four ways and on an archive of 60,000
small entries, then the Google Benchmark of the decoding primitives. vespa-console runs with
all its workers (one per core) and, for the Deflate test, also with one (VESPA_WORKERS=1).
Prints ratios (ours over theirs, median of paired runs taken in turn) of CPU time and of wall
time, writes build/bench/results.json and results.md, and draws the chart. Asserts nothing.
Wall figures on a machine shared with other work are noisy: the load average is printed.

VESPA_BENCH_RUNS sets the number of paired runs (5). `bench/run.py replace` runs only the
extraction over an existing copy against the extraction into an empty folder."""

import itertools
import json
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BIN = ROOT / "build" / "native-release" / "bin"
WORK = ROOT / "build" / "bench"
CORPUS = WORK / "corpus"
RUNS = int(os.environ.get("VESPA_BENCH_RUNS", "5"))
PASSWORD = "vespa"

# What the corpus takes from the system, in this order, up to each group's share (bytes):
# shared libraries, programs, C++ headers and changelogs. Files are taken in sorted path order,
# so the same system gives the same corpus.
GROUPS = [
    ("libs", ["/usr/lib/x86_64-linux-gnu"], lambda p: ".so" in p.name, 100 << 20),
    ("programs", ["/usr/bin", "/usr/lib/gcc"], lambda p: True, 50 << 20),
    ("headers", ["/usr/include"], lambda p: True, 40 << 20),
    ("changelogs", ["/usr/share/doc"], lambda p: p.name.startswith("changelog"), 5 << 20),
]


def build_corpus():
    manifest = WORK / "corpus.manifest"
    chosen = []
    for group, tops, keep, share in GROUPS:
        total = 0
        for top in tops:
            for dirpath, dirnames, filenames in sorted(os.walk(top)):
                dirnames.sort()
                for name in sorted(filenames):
                    path = Path(dirpath) / name
                    if path.is_symlink() or not path.is_file() or not keep(path):
                        continue
                    size = path.stat().st_size
                    if size == 0 or size > 32 << 20 or total + size > share:
                        continue
                    chosen.append((group, str(path)))
                    total += size
    listing = "\n".join(f"{g}\t{p}" for g, p in chosen)
    if manifest.exists() and manifest.read_text() == listing and CORPUS.is_dir():
        return len(chosen)
    shutil.rmtree(CORPUS, ignore_errors=True)
    for group, path in chosen:
        target = CORPUS / group / path.lstrip("/")
        target.parent.mkdir(parents=True, exist_ok=True)
        if path.endswith(".gz") and group == "changelogs":
            # Changelogs as text: the archivers compress them, not gzip.
            with open(target.with_suffix(""), "wb") as out:
                subprocess.run(["gzip", "-dc", path], stdout=out, check=False)
        else:
            shutil.copyfile(path, target)
    for archive in WORK.glob("*.zip"):
        archive.unlink()
    manifest.write_text(listing)
    return len(chosen)


ARCHIVES = {
    "deflate": ["zip", "-q", "-6", "-r"],
    "stored": ["zip", "-q", "-0", "-r"],
    "encrypted": ["zip", "-q", "-6", "-r", "-P", PASSWORD],
    "deflate64": None,
}


MANY_ENTRIES = 60000


def build_many_entries():
    """60,000 small deflated entries in 12 folders, about 8 MB: where a run's cost is per entry."""
    archive = WORK / "many60k.zip"
    if not archive.exists():
        import zipfile
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            for i in range(MANY_ENTRIES):
                z.writestr(zipfile.ZipInfo("d%03d/f%07d.txt" % (i // 5000, i), (2021, 3, 4, 5, 6, 8)),
                           b"entry %d of the many-entry archive\n" % i * 3)
    return archive


def build_archives():
    for name, command in ARCHIVES.items():
        archive = WORK / f"{name}.zip"
        if archive.exists():
            continue
        if command:
            subprocess.run(command + [str(archive), "."], cwd=CORPUS, check=True)
        else:
            subprocess.run(["7z", "a", "-bd", "-tzip", "-mm=Deflate64", str(archive), "."], cwd=CORPUS,
                           check=True, stdout=subprocess.DEVNULL)


def build_aes_archives():
    """The corpus as 7-Zip deflates it, AES-256 and plain (the same streams inside), and the
    60,000 small entries under AES-256: where a run's cost is the key derivation per entry."""
    for name, switches in (("aes256", ["-mem=AES256", f"-p{PASSWORD}"]), ("aes-plain", [])):
        archive = WORK / f"{name}.zip"
        if not archive.exists():
            subprocess.run(["7z", "a", "-bd", "-tzip", "-mm=Deflate", "-mx=5"] + switches + [str(archive), "."],
                           cwd=CORPUS, check=True, stdout=subprocess.DEVNULL)
    many = WORK / "many60k-aes.zip"
    if not many.exists():
        tree = WORK / "many60k-tree"
        shutil.rmtree(tree, ignore_errors=True)
        tree.mkdir()
        subprocess.run(["unzip", "-qo", str(build_many_entries()), "-d", str(tree)], check=True)
        subprocess.run(["7z", "a", "-bd", "-tzip", "-mm=Deflate", "-mem=AES256", f"-p{PASSWORD}", str(many), "."],
                       cwd=tree, check=True, stdout=subprocess.DEVNULL)
        shutil.rmtree(tree, ignore_errors=True)
    return WORK / "aes256.zip", WORK / "aes-plain.zip", many


def bench_aes(console, row, results):
    """AES-256 against our own test of the same Deflate streams unencrypted and against 7z t,
    one worker; then what a key derivation costs per entry on 60,000 small entries."""
    aes, plain, many = (str(p) for p in build_aes_archives())
    one = ["env", "VESPA_WORKERS=1", console, "-TEST"]
    password = f"-PASSWORD={PASSWORD}"
    commands = {
        "AES-256, 1 worker": one + [password, aes],
        "unencrypted, 1 worker": one + [plain],
        "7z t": ["7z", "t", f"-p{PASSWORD}", aes],
        "AES-256, all cores": [console, "-TEST", password, aes],
    }
    samples = paired(commands)
    ours = "AES-256, 1 worker"
    line = f"bench: AES-256 test, 1 worker: {median(samples, ours, 'cpu'):.2f} s CPU"
    for other, target in (("unencrypted, 1 worker", 1.3), ("7z t", 0.8)):
        value = ratio(samples, ours, other, "cpu")
        row("AES-256 deflate, test, 1 worker", ours, other, "cpu", value, target)
        line += f"; {other} {median(samples, other, 'cpu'):.2f} s ({value:.2f}x)"
    line += f"; all cores {median(samples, 'AES-256, all cores', 'wall'):.2f} s wall"
    print(line)

    commands = {
        "AES-256, 1 worker": one + [password, many],
        "unencrypted, 1 worker": one + [str(build_many_entries())],
        "7z t": ["7z", "t", f"-p{PASSWORD}", many],
    }
    samples = paired(commands)
    per_entry = (median(samples, "AES-256, 1 worker", "cpu") -
                 median(samples, "unencrypted, 1 worker", "cpu")) / MANY_ENTRIES
    results["aes_key_derivation_us"] = per_entry * 1e6
    print(f"bench: {MANY_ENTRIES} AES-256 entries, 1 worker: {median(samples, 'AES-256, 1 worker', 'cpu'):.2f} s CPU, "
          f"unencrypted {median(samples, 'unencrypted, 1 worker', 'cpu'):.2f} s, 7z t "
          f"{median(samples, '7z t', 'cpu'):.2f} s; key derivation {per_entry * 1e6:.0f} us per entry")


def peak_memory_kb(command):
    """Peak resident memory of one run, as GNU time reports it: the process's own, not that of
    the Python process it was forked from."""
    report = WORK / "time.out"
    with open(os.devnull, "wb") as null:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", str(report)] + command, stdout=null, stderr=null,
                       stdin=subprocess.DEVNULL, check=False)
    return int(report.read_text().split()[-1])


def measure(command, before=None):
    """CPU seconds (user + system) and wall seconds of one process."""
    if before:
        before()
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        process = subprocess.Popen(command, stdout=null, stderr=null, stdin=subprocess.DEVNULL)
        _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) not in (0,):
        print(f"bench: warning: {' '.join(map(str, command))} ended with {os.waitstatus_to_exitcode(status)}",
              file=sys.stderr)
    return {"cpu": usage.ru_utime + usage.ru_stime, "wall": wall}


def paired(commands, before=None):
    """Runs every command RUNS times, taking them in turn, so that load changes touch all alike."""
    samples = {name: [] for name in commands}
    for _ in range(RUNS):
        for name, command in commands.items():
            samples[name].append(measure(command, before))
    return samples


def ratio(samples, ours, theirs, key):
    return statistics.median(a[key] / b[key] for a, b in zip(samples[ours], samples[theirs]))


def median(samples, name, key):
    return statistics.median(s[key] for s in samples[name])


def main():
    for tool in ("zip", "unzip", "7z", "bsdtar", "/usr/bin/time", "convert"):
        if not shutil.which(tool):
            sys.exit(f"bench: {tool} is missing (make setup installs it)")
    console = str(BIN / "vespa-console")
    harness = str(BIN / "vespa-bench-harness")
    WORK.mkdir(parents=True, exist_ok=True)
    count = build_corpus()
    build_archives()
    size = sum(f.stat().st_size for f in CORPUS.rglob("*") if f.is_file())
    load = os.getloadavg()
    print(f"bench: corpus of {count} files, {size / 1e6:.0f} MB; {RUNS} paired runs; load {load[0]:.2f}")

    results = {"load_before": load, "runs": RUNS, "corpus_mb": size / 1e6, "files": count, "rows": []}

    def row(path, ours, theirs, key, value, target=None):
        results["rows"].append({"path": path, "ours": ours, "theirs": theirs, "measure": key,
                                "ratio": value, "target": target})

    for name in ARCHIVES:
        archive = str(WORK / f"{name}.zip")
        password = [f"-PASSWORD={PASSWORD}"] if name == "encrypted" else []
        commands = {"vespa-console -TEST": [console, "-TEST"] + password + [archive]}
        if name == "deflate":
            commands["vespa-console -TEST, 1 worker"] = ["env", "VESPA_WORKERS=1", console, "-TEST", archive]
        if name in ("deflate", "stored"):
            commands["library harness"] = [harness, archive]
        commands["unzip -t"] = ["unzip", "-tqq"] + (["-P", PASSWORD] if password else []) + [archive]
        commands["7z t"] = ["7z", "t"] + ([f"-p{PASSWORD}"] if password else []) + [archive]
        if name != "deflate64":
            commands["bsdtar -xOf"] = ["bsdtar"] + (["--passphrase", PASSWORD] if password else []) + ["-xOf", archive]
        samples = paired(commands)
        ours = "vespa-console -TEST"
        results[f"{name}_rss_kb"] = peak_memory_kb(commands[ours])
        line = f"bench: {name} test: ours {median(samples, ours, 'cpu'):.2f} s CPU, peak {results[f'{name}_rss_kb'] / 1024:.1f} MB"
        for other in commands:
            if other == ours:
                continue
            if name == "deflate" and other in ("library harness", "bsdtar -xOf", "vespa-console -TEST, 1 worker"):
                wall = ratio(samples, ours, other, "wall")
                row(f"{name}, test, all cores", ours, other, "wall", wall,
                    0.6 if other == "library harness" else None)
                line += f"; wall {median(samples, other, 'wall'):.2f} s ({wall:.2f}x wall)"
            value = ratio(samples, ours, other, "cpu")
            target = None
            if name == "deflate" and other == "library harness":
                target = 1.1
            elif name == "deflate" and other == "bsdtar -xOf":
                target = 0.5
            elif name == "stored" and other == "library harness":
                target = 1.25
            elif name == "encrypted" and other == "7z t":
                target = 0.67
            row(f"{name}, test", ours, other, "cpu", value, target)
            line += f"; {other} {median(samples, other, 'cpu'):.2f} s ({value:.2f}x)"
        results[f"{name}_cpu"] = median(samples, ours, "cpu")
        line += f"; ours {median(samples, ours, 'wall'):.2f} s wall"
        print(line)

    # Many small entries, every entry's line printed (to /dev/null) by each tool.
    many = str(build_many_entries())
    commands = {
        "vespa-console -TEST": [console, "-TEST", many],
        "unzip -t": ["unzip", "-t", many],
        "unzip -tqq": ["unzip", "-tqq", many],
        "bsdtar -xOf": ["bsdtar", "-xOf", many],
    }
    samples = paired(commands)
    ours = "vespa-console -TEST"
    results["many_rss_kb"] = peak_memory_kb(commands[ours])
    line = (f"bench: {MANY_ENTRIES} entries test: ours {median(samples, ours, 'wall'):.2f} s wall, "
            f"{median(samples, ours, 'cpu'):.2f} s CPU, peak {results['many_rss_kb'] / 1024:.1f} MB")
    for other in commands:
        if other == ours:
            continue
        wall = ratio(samples, ours, other, "wall")
        cpu = ratio(samples, ours, other, "cpu")
        target = {"unzip -t": 0.6, "bsdtar -xOf": 0.5}.get(other)
        row(f"{MANY_ENTRIES} entries, test", ours, other, "wall", wall, target)
        row(f"{MANY_ENTRIES} entries, test", ours, other, "cpu", cpu)
        line += (f"; {other} {median(samples, other, 'wall'):.2f} s wall, {median(samples, other, 'cpu'):.2f} s CPU"
                 f" ({wall:.2f}x wall, {cpu:.2f}x CPU)")
    print(line)

    bench_aes(console, row, results)

    results["rows"].append({"path": "deflate64, test", "ours": "vespa-console -TEST", "theirs": "our Deflate",
                            "measure": "cpu", "ratio": results["deflate64_cpu"] / results["deflate_cpu"],
                            "target": 1.1})

    # Every run extracts into an empty directory, and the earlier runs' files stay (moved aside)
    # until the end: removing them between runs made ext4 skip their freshly freed inodes on
    # every file created next (2.7 to 3.2 s of system time in each tool's run, the same for all),
    # which measured the file system's allocator rather than the extractors.
    out = WORK / "out"
    spent = WORK / "out.spent"
    shutil.rmtree(out, ignore_errors=True)
    shutil.rmtree(spent, ignore_errors=True)
    spent.mkdir()
    runs = itertools.count()

    def clean():
        if out.exists():
            out.rename(spent / str(next(runs)))
        out.mkdir()

    archive = str(WORK / "deflate.zip")
    commands = {
        "vespa-console -EXTRACT": [console, "-EXTRACT", "-DIRECTORIES", "-OVERWRITE=ALL", archive, str(out) + "/"],
        "vespa-console -EXTRACT, 1 worker": ["env", "VESPA_WORKERS=1", console, "-EXTRACT", "-DIRECTORIES",
                                             "-OVERWRITE=ALL", archive, str(out) + "/"],
        "bsdtar -xf": ["bsdtar", "-xf", archive, "-C", str(out)],
        "unzip": ["unzip", "-qo", archive, "-d", str(out)],
        "7z x": ["7z", "x", "-y", f"-o{out}", archive],
    }
    samples = paired(commands, before=clean)
    shutil.rmtree(out, ignore_errors=True)
    shutil.rmtree(spent, ignore_errors=True)
    ours = "vespa-console -EXTRACT"
    line = f"bench: deflate extract: ours {median(samples, ours, 'wall'):.2f} s wall"
    for other in commands:
        if other == ours:
            continue
        value = ratio(samples, ours, other, "wall")
        cpu = ratio(samples, ours, other, "cpu")
        row("deflate, extract to disk", ours, other, "wall", value, 0.6 if other == "bsdtar -xf" else None)
        row("deflate, extract to disk", ours, other, "cpu", cpu)
        line += f"; {other} {median(samples, other, 'wall'):.2f} s ({value:.2f}x wall, {cpu:.2f}x CPU)"
    print(line)

    replace_bench(console, row)

    results["load_after"] = os.getloadavg()
    peak = max([results[f"{n}_rss_kb"] for n in ARCHIVES] + [results["many_rss_kb"]])
    print(f"bench: peak memory of a test run with all workers {peak / 1024:.1f} MB (target under 16 MB)")
    print(f"bench: load average before {load[0]:.2f}, after {results['load_after'][0]:.2f}")

    lines = ["| Path | Ours over | Measure | Ratio | Target |", "|---|---|---|---|---|"]
    for r in results["rows"]:
        target = f"≤ {r['target']}" if r["target"] else ""
        verdict = "" if not r["target"] else (" ✓" if r["ratio"] <= r["target"] else " ✗")
        lines.append(f"| {r['path']} | {r['theirs']} | {'CPU' if r['measure'] == 'cpu' else 'wall'} | "
                     f"{r['ratio']:.2f}×{verdict} | {target} |")
    table = "\n".join(lines)
    print(table)
    (WORK / "results.md").write_text(table + "\n")
    (WORK / "results.json").write_text(json.dumps(results, indent=1))
    subprocess.run([sys.executable, str(ROOT / "bench" / "chart.py"), str(WORK / "results.json"),
                    str(WORK / "bench.png")], check=False)

    decode_bench = BIN / "vespa-decode-bench"
    if decode_bench.exists():
        print("bench: decoding primitives on the Deflate archive's streams")
        out_json = WORK / "decode.json"
        subprocess.run([str(decode_bench), "--benchmark_min_time=0.5", f"--benchmark_out={out_json}",
                        "--benchmark_out_format=json"], check=False,
                       env=dict(os.environ, VESPA_BENCH_ZIP=str(WORK / "deflate.zip")))
        rates = {b["name"]: b["bytes_per_second"] / 1e6 for b in json.loads(out_json.read_text())["benchmarks"]}
        lines = ["| Primitive (MB/s of CPU time) | ours | libdeflate | zlib |", "|---|---|---|---|"]
        for primitive in ("Inflate", "Crc32", "Decrypt"):
            cells = [rates.get(f"BM_{primitive}_{who}") for who in ("Vespa", "Libdeflate", "Zlib")]
            lines.append(f"| {primitive} | " + " | ".join(f"{c:,.0f}" if c else "" for c in cells) + " |")
        primitives = "\n".join(lines)
        print(primitives)
        with open(WORK / "results.md", "a") as out:
            out.write("\n" + primitives + "\n")

def replace_bench(console, row=None):
    """The Deflate tree extracted over an existing copy of itself (every file replaced: written
    beside the old one, then put in its place) against the same extraction into an empty folder,
    both with all workers. Also alone: bench/run.py replace."""
    archive = str(WORK / "deflate.zip")
    out = WORK / "out"
    spent = WORK / "out.spent"
    over = WORK / "over"
    for path in (out, spent, over):
        shutil.rmtree(path, ignore_errors=True)
    spent.mkdir()
    runs = itertools.count()
    words = [console, "-EXTRACT", "-DIRECTORIES", "-OVERWRITE=ALL", archive]
    over.mkdir()
    subprocess.run(words + [str(over) + "/"], stdout=subprocess.DEVNULL, check=True)

    def clean():
        # As above: a fresh empty folder each time, the spent ones kept until the end.
        if out.exists():
            out.rename(spent / str(next(runs)))
        out.mkdir()

    commands = {"over an existing copy": words + [str(over) + "/"],
                "into an empty folder": words + [str(out) + "/"]}
    samples = paired(commands, before=clean)
    for path in (out, spent, over):
        shutil.rmtree(path, ignore_errors=True)
    ours, theirs = commands
    wall = ratio(samples, ours, theirs, "wall")
    cpu = ratio(samples, ours, theirs, "cpu")
    if row:
        row("deflate, extract over an existing copy", ours, theirs, "wall", wall, 1.15)
        row("deflate, extract over an existing copy", ours, theirs, "cpu", cpu)
    print(f"bench: deflate extract over an existing copy {median(samples, ours, 'wall'):.2f} s wall, "
          f"into an empty folder {median(samples, theirs, 'wall'):.2f} s ({wall:.2f}x wall, {cpu:.2f}x CPU)")


if __name__ == "__main__":
    if sys.argv[1:] == ["replace"]:
        WORK.mkdir(parents=True, exist_ok=True)
        build_corpus()
        if not (WORK / "deflate.zip").exists():
            subprocess.run(ARCHIVES["deflate"] + [str(WORK / "deflate.zip"), "."], cwd=CORPUS, check=True)
        print(f"bench: load {os.getloadavg()[0]:.2f}; {RUNS} paired runs")
        replace_bench(str(BIN / "vespa-console"))
    else:
        main()
