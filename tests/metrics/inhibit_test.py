#!/usr/bin/env python3
"""The shipped inhibition rules on a real Alertmanager, through amtool: for
each case, on a server of its own, the alerts fire at once, and exactly the
ones that the case names are muted. The other servers' alerts are the check
that a cause mutes only its own server's.

    inhibit_test.py RULES_DIR"""
import json, os, shutil, subprocess, sys, tempfile

from scrape import Prometheus
from server import verdict

# (alerts that fire on one server, those of them that are muted)
CASES = [
    (["ExporterDown", "MetricsStale", "StatsDown", "AccountAtLimit"],
     ["MetricsStale", "StatsDown", "AccountAtLimit"]),
    (["TextfileCollectorAbsent", "MetricsStale", "SourceDown"], ["MetricsStale", "SourceDown"]),
    (["MetricsMissing", "MetricsStale", "AccountMysqlRestricted"],
     ["MetricsStale", "AccountMysqlRestricted"]),
    (["MetricsStale", "SnapshotStale", "RunNearTimeout", "KobUnsupported"],
     ["SnapshotStale", "RunNearTimeout", "KobUnsupported"]),
    (["StatsDown", "SourceDown", "SnapshotStale", "AccountsNearLimit", "RunNearTimeout"],
     ["SourceDown", "SnapshotStale", "AccountsNearLimit"]),
    (["KobUnsupported", "TesselError", "AccountAtLimit"], ["TesselError", "AccountAtLimit"]),
    (["SourceDown", "AccountAtLimit", "SnapshotStale", "TesselError", "MetricsStale"],
     ["SourceDown", "AccountAtLimit", "SnapshotStale", "TesselError"]),
    (["SourceDown", "AccountAtLimit", "SnapshotStale", "TesselError"],
     ["AccountAtLimit", "SnapshotStale"]),
    (["SnapshotStale", "AccountAtLimit", "TesselError"], []),
]


def main():
    rules_dir = sys.argv[1]
    work = tempfile.mkdtemp(prefix="vt-inhibit.")
    stack = Prometheus()
    try:
        with open(os.path.join(rules_dir, "vorlane-top.inhibit.yml")) as f:
            config = 'route:\n  receiver: "null"\nreceivers:\n  - name: "null"\n' + f.read()
        port = stack.start_alertmanager(work, config)
        amtool = ["amtool", f"--alertmanager.url=http://127.0.0.1:{port}"]
        checked = subprocess.run(["amtool", "check-config", os.path.join(work, "alertmanager.yml")],
                                 capture_output=True, text=True)
        problems = [] if checked.returncode == 0 else [f"amtool check-config: {checked.stdout}"]
        for case, (alerts, _) in enumerate(CASES):
            for alert in alerts:
                subprocess.run([*amtool, "alert", "add", f"alertname=VorlaneTop{alert}",
                                f"instance=case{case}:9100", "job=node"], check=True)
        listed = subprocess.run([*amtool, "-o", "json", "alert", "query", "-a", "-i"],
                                check=True, capture_output=True, text=True)
        muted = {(a["labels"]["instance"], a["labels"]["alertname"]): a["status"]["state"]
                 for a in json.loads(listed.stdout)}
        for case, (alerts, want) in enumerate(CASES):
            got = sorted(alert for alert in alerts if muted.get(
                (f"case{case}:9100", f"VorlaneTop{alert}")) == "suppressed")
            if got != sorted(want):
                problems.append(f"with {alerts} firing, {got} are muted; want {sorted(want)}")
        return verdict(problems)
    except (AssertionError, subprocess.CalledProcessError) as failure:
        print("FAIL:", failure)
        stack.print_logs()
        return 1
    finally:
        stack.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
