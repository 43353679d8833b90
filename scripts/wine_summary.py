#!/usr/bin/env python3
"""Counts the GoogleTest cases that the wine_ test entries ran.

    wine_summary.py RESULTS_FOLDER

Reads every wine_*.xml in the folder (written by cmake/wine_run.sh) and
prints one line, "wine: N passed, M failed", with ", K skipped" added when
cases were skipped. A file that cannot be read counts as one failed case.
"""
import pathlib
import sys
import xml.etree.ElementTree as ElementTree


def count(path):
    """(passed, failed, skipped) of one results file."""
    try:
        cases = ElementTree.parse(path).getroot().iter("testcase")
    except (OSError, ElementTree.ParseError):
        return 0, 1, 0
    passed = failed = skipped = 0
    for case in cases:
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
        elif case.find("skipped") is not None or case.get("status") == "notrun":
            skipped += 1
        else:
            passed += 1
    return passed, failed, skipped


def main():
    folder = pathlib.Path(sys.argv[1])
    totals = [0, 0, 0]
    for path in sorted(folder.glob("wine_*.xml")):
        for i, n in enumerate(count(path)):
            totals[i] += n
    passed, failed, skipped = totals
    line = f"wine: {passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped"
    print(line)


if __name__ == "__main__":
    main()
