#!/usr/bin/env python3
"""scripts/compare-builds normalises the current time of a run, and nothing
else: a figure or a time outside the run stays as it is."""
import importlib.machinery, os, sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
compare = importlib.machinery.SourceFileLoader(
    "compare_builds", os.path.join(ROOT, "scripts", "compare-builds")).load_module()

START, END = 1796730000.4, 1796730002.7  # the run: 2026-12-08T11:40:00Z to :02
CASES = [
    ('"timestamp": 1796730001.0,', '"timestamp": <now>,'),
    ('"timestamp": 1796730004,', '"timestamp": <now>,'),  # a second past the end
    ('"timestamp": 1796730005.0,', '"timestamp": 1796730005.0,'),
    ('"timestamp": 1765000000.0,', '"timestamp": 1765000000.0,'),  # the snapshot's
    ('"timestamp": 1796730001.5,', '"timestamp": 1796730001.5,'),  # not a whole second
    ("vorlane_snapshot_timestamp_seconds 1.79673e+09", "vorlane_snapshot_timestamp_seconds <now>"),
    ("time 2026-12-08T11:40:01Z snapshot 2025-12-06T05:46:40Z",
     "time <now> snapshot 2025-12-06T05:46:40Z"),
    ("vorlane_metrics_duration_seconds 0.022913023\nvorlane_accounts 36",
     "vorlane_metrics_duration_seconds <duration>\nvorlane_accounts 36"),
    ('user1796730001 1796730001x {uid="1796730001"}', 'user1796730001 1796730001x {uid="<now>"}'),
    ("mem -1796730001 1073741824", "mem -1796730001 1073741824"),
]


def main():
    failed = 0
    for text, expected in CASES:
        got = compare.normalise(text, START, END)
        if got != expected:
            failed += 1
            print(f"FAIL: {text!r} gave {got!r}, not {expected!r}")
    print(f"{len(CASES) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
