#!/usr/bin/env python3
"""Each input of vorlane-top-metrics failing on its own: the metrics still
come out, vorlane_source_up is 0 for that source alone and 1 for the others
the run used, the run ends with status 1 and an "Error: " that names the
source, and without a snapshot no account count or snapshot time is given.

    source_test.py METRICS_BINARY REPORT_BINARY GEN_SERVER LAUNCHER"""
import os, re, shutil, sys, tempfile

from server import Server, skip_unless_root, verdict

BEHAVIOUR = "/usr/share/kob-stats3/scripts/data/behaviour/"
EVERY = ["stats_service", "snapshot", "panel_names", "panel_admins", "mysql_stats",
         "tessel_helper"]


def misbehave(name):
    return lambda server: open(server.path(BEHAVIOUR + name), "w").write("fail\n")


def remove(path):
    return lambda server: os.remove(server.path(path))


def damage(path):
    return lambda server: open(server.path(path), "w").write("{")


# (case, what breaks, the failed source, the sources the run still reports)
CASES = [
    ("nothing fails", lambda server: None, None, EVERY),
    ("statistics service stopped", remove("/run/kobstats.pid"), "stats_service",
     ["stats_service"]),
    ("snapshot missing", remove("/var/kob/vorlane_top.json"), "snapshot", EVERY),
    ("snapshot undecodable", damage("/var/kob/vorlane_top.json"), "snapshot",
     ["stats_service", "snapshot"]),
    ("panel names", misbehave("plexa-user-info-sys"), "panel_names", EVERY),
    ("panel admins", misbehave("plexa-admins"), "panel_admins", EVERY),
    ("tessel mode", misbehave("tsl-tessel-mode"), "tessel_helper", EVERY),
    ("MySQL limits", misbehave("tsl-limits"), "tessel_helper", EVERY),
    ("MySQL statistics tool", misbehave("tsltop"), "mysql_stats", EVERY),
    ("MySQL statistics file", remove("/var/kob/vorlane_tsltop.json"), "mysql_stats", EVERY),
]


def samples(text):
    return dict(line.rsplit(" ", 1) for line in text.splitlines() if not line.startswith("#"))


def check(name, run, failed, used):
    problems = []
    got = samples(run.stdout)
    want_up = {f'vorlane_source_up{{source="{s}"}}': "0" if s == failed else "1" for s in used}
    up = {k: v for k, v in got.items() if k.startswith("vorlane_source_up")}
    if up != want_up:
        problems.append(f"vorlane_source_up is {up}")
    status, error = (0, None) if failed is None else (1, rf"^    (\d: )?{failed}: ")
    if run.returncode != status or (error and not re.search(error, run.stderr, re.M)):
        problems.append(f"status {run.returncode}, stderr {run.stderr!r}")
    counted = failed not in ("stats_service", "snapshot")
    for metric in ("vorlane_accounts", "vorlane_snapshot_timestamp_seconds"):
        if (metric in got) != counted:
            problems.append(f"{metric} is {'there' if metric in got else 'missing'}")
    return [f"{name}: {p}" for p in problems]


def main():
    tools = sys.argv[1:5]
    skip_unless_root()
    work = tempfile.mkdtemp(prefix="vt-sources.")
    problems = []
    try:
        for name, breaks, failed, used in CASES:
            server = Server(os.path.join(work, name.replace(" ", "-")), tools,
                            "--users", "30")
            os.makedirs(server.path(BEHAVIOUR), exist_ok=True)
            breaks(server)
            run = server.metrics()
            found = check(name, run, failed, used)
            print(f"{name}: status {run.returncode}, {'FAIL' if found else 'ok'}")
            problems += found
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return verdict(problems)


if __name__ == "__main__":
    sys.exit(main())
