#!/usr/bin/env python3
"""Draws the ratios of bench/run.py's results.json as a bar chart (PNG) with ImageMagick:
one bar per comparison, ours over theirs, with the line at 1 and each target marked."""

import json
import subprocess
import sys


def main():
    results = json.load(open(sys.argv[1]))
    output = sys.argv[2]
    rows = results["rows"]
    width, left, bar, gap, top = 900, 330, 22, 10, 50
    scale = 280  # pixels per 1.0
    height = top + len(rows) * (bar + gap) + 40
    draw = ["-fill", "black", "-pointsize", "15",
            "-annotate", "+10+25", f"vespa-console over each peer, CPU or wall time (load {results['load_before'][0]:.1f})"]
    for i, r in enumerate(rows):
        y = top + i * (bar + gap)
        ratio = min(r["ratio"], (width - left - 60) / scale)
        ok = r["target"] is None or r["ratio"] <= r["target"]
        colour = "#3a7d44" if ok else "#c0392b"
        draw += ["-fill", colour, "-draw", f"rectangle {left},{y} {left + int(ratio * scale)},{y + bar}"]
        draw += ["-fill", "black", "-pointsize", "12",
                 "-annotate", f"+10+{y + 16}", f"{r['path']} / {r['theirs']}",
                 "-annotate", f"+{left + int(ratio * scale) + 6}+{y + 16}", f"{r['ratio']:.2f}"]
        if r["target"]:
            x = left + int(r["target"] * scale)
            draw += ["-fill", "black", "-draw", f"rectangle {x - 1},{y - 2} {x + 1},{y + bar + 2}"]
    one = left + scale
    draw += ["-fill", "gray40", "-draw", f"line {one},{top - 8} {one},{height - 30}",
             "-fill", "black", "-pointsize", "12", "-annotate", f"+{one - 4}+{height - 12}", "1.0",
             "-annotate", f"+{left}+{height - 12}", "0", "-annotate", "+10+{}".format(height - 12),
             "black ticks: targets; red: a target missed"]
    subprocess.run(["convert", "-size", f"{width}x{height}", "xc:white", "-font", "DejaVu-Sans"] + draw + [output],
                   check=True)


if __name__ == "__main__":
    main()
