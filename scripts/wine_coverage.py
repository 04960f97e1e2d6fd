#!/usr/bin/env python3
"""The last line of make check: which stubs ran under Wine, read from ctest's JUnit record of
the run (ctest --output-junit). The wine_i686_* scripts run the i686 stub; the other wine_*
scripts run the x86_64 build. A script that could not run here printed "skipped: <reason>" and
exited 77, which ctest records as skipped along with that output.

Usage: wine_coverage.py RESULTS.xml
"""

import sys
import xml.etree.ElementTree as ET


def reason(case):
    for line in (case.findtext("system-out") or "").splitlines():
        if line.startswith("skipped: "):
            return line[len("skipped: "):]
    skipped = case.find("skipped")
    return skipped.get("message", "") if skipped is not None else "not run"


def outcome(arch, cases):
    if not cases:
        return f"{arch} stub not run"
    failed = [c for c in cases if c.get("status") == "fail"]
    passed = [c for c in cases if c.get("status") == "run"]
    skipped = [c for c in cases if c not in failed and c not in passed]
    if failed:
        return f"{arch} stub FAILED ({len(failed)} of {len(cases)} scripts)"
    if not passed:
        return f"{arch} stub skipped: {reason(skipped[0])}"
    said = f"{arch} stub tested ({len(passed)} script{'s' if len(passed) > 1 else ''}"
    if skipped:
        said += f", {len(skipped)} skipped: {reason(skipped[0])}"
    return said + ")"


def main():
    try:
        cases = ET.parse(sys.argv[1]).getroot().iter("testcase")
    except (OSError, ET.ParseError) as error:
        print(f"Wine: no record of the test run ({error})")
        return
    x86_64, i686 = [], []
    for case in cases:
        name = case.get("name", "")
        if name.startswith("wine_i686_"):
            i686.append(case)
        elif name.startswith("wine_"):
            x86_64.append(case)
    print("Wine: " + outcome("x86_64", x86_64) + "; " + outcome("i686", i686))


if __name__ == "__main__":
    main()
