#!/usr/bin/env python3
"""vorlane-top-metrics as a real node_exporter and Prometheus see it: on a
generated server with an account whose domain holds a backslash, a double
quote and a line feed, the metrics file passes `promtool check metrics`,
and through Prometheus's query API every exported figure equals root's
vorlane-top --json for that uid (the domain's line feed as U+FFFD), the textfile
collector reports no error, an account that leaves the file leaves the
query results, and a stopped statistics service reads vorlane_stats_up 0.

    prometheus_test.py METRICS_BINARY REPORT_BINARY GEN_SERVER LAUNCHER

Both servers listen on 127.0.0.1 on free ports and are stopped by pid at the
end, also when the test fails or is terminated."""
import os, re, shutil, signal, subprocess, sys, tempfile, time

from scrape import Prometheus
from server import TEXTFILE_NAME, Server, skip_unless_root

QUOTED_UID = 50000
QUOTED_DOMAIN = 'back\\slash "quoted"\nsecond-line.example'


def add_quoted_account(server):
    """An account whose domain, given by the control panel, holds all three
    characters that label values escape, and whose MySQL limits are "-"."""
    with open(server.path("/etc/passwd"), "a") as f:
        f.write(f"quoted:x:{QUOTED_UID}:{QUOTED_UID}::/home/quoted:/bin/bash\n")
    panel_path = "/usr/share/kob-stats3/scripts/data/user-info-sys.json"
    panel = server.load(panel_path)
    panel["users"].append({"uid": QUOTED_UID, "username": "quoted", "domain": QUOTED_DOMAIN,
                           "reseller": "res1", "email": "quoted@mail.example",
                           "locale": "en_US", "display_name": "Account quoted"})
    server.save(panel_path, panel)
    snapshot = server.load("/var/kob/vorlane_top.json")
    figures = {"cpu": {"all": 12.5, "mysql": 1.25}, "io": {"all": 2048.0, "mysql": 512.0},
               "iops": 3.0, "ep": 1.0, "mem": 1048576.0, "pno": 2.0}
    limits = {"cpu": {"all": 100.0, "mysql": "-"}, "io": {"all": 1048576.0, "mysql": "-"},
              "iops": 1024.0, "ep": 20.0, "mem": 1073741824.0, "pno": 100.0}
    snapshot["users"].append({"id": QUOTED_UID, "username": "quoted",
                              "usage": figures, "limit": limits})
    server.save("/var/kob/vorlane_top.json", snapshot)


def number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def label(value):
    """A label value as the file gives it: control characters as U+FFFD
    (the generated names are shorter than the bounds)."""
    return re.sub("[\x00-\x1f\x7f-\x9f]", "\ufffd", value)


def expected_series(report):
    """(metric, uid) -> (value, labels beyond uid) for each sample that the
    report's figures call for, and how many figures are left out."""
    series, left_out = {}, 0
    for user in report["users"]:
        uid = str(user["id"])
        u, l = user["usage"], user["limit"]
        figures = {"cpu": (u["cpu"]["all"], l["cpu"]["all"]),
                   "io": (u["io"]["all"], l["io"]["all"]),
                   "iops": (u["iops"], l["iops"]),
                   "entry_processes": (u["ep"], l["ep"]),
                   "processes": (u["pno"], l["pno"]),
                   "memory": (u["mem"], l["mem"]),
                   "mysql_cpu": (u["cpu"].get("mysql"), l["cpu"].get("mysql")),
                   "mysql_io": (u["io"].get("mysql"), l["io"].get("mysql"))}
        labels = {"user": label(user["username"])}
        for name, pair in figures.items():
            for kind, value in zip(("usage", "limit"), pair):
                if number(value):
                    series[(f"vorlane_account_{name}_{kind}", uid)] = (float(value), labels)
                else:
                    left_out += 1
            usage, limit = pair
            # Near the default 0.9 of the limit: the ratio, keyed by the limit too.
            if number(usage) and number(limit) and limit > 0 and usage >= 0.9 * limit:
                series[("vorlane_account_limit_ratio", uid + "/" + name)] = (
                    usage / limit, dict(labels, limit=name))
        series[("vorlane_account_mysql_restricted", uid)] = (float(user["restricted"]), labels)
        series[("vorlane_account_info", uid)] = (
            1.0, dict(labels, domain=label(user["domain"]), reseller=label(user["reseller"])))
    return series, left_out


def write_metrics(server, textfile, status=0):
    run = server.metrics("--all-accounts", "--textfile", textfile)
    if run.returncode != status:
        raise AssertionError(f"vorlane-top-metrics failed ({run.returncode}): {run.stderr}")


def check_series(prometheus, report):
    """Every exported sample against the report; the mismatches."""
    want, left_out = expected_series(report)
    if left_out == 0:
        return ["the server has no figure that is not a number, to be left out"]
    got = {}
    for sample in prometheus.query('{__name__=~"vorlane_account_.+"}'):
        labels = dict(sample["metric"])
        key = (labels.pop("__name__"), labels.pop("uid", None))
        if key[0] == "vorlane_account_limit_ratio":
            key = (key[0], key[1] + "/" + labels["limit"])
        for scrape_label in ("instance", "job"):
            labels.pop(scrape_label, None)
        got[key] = (float(sample["value"][1]), labels)
    problems = [f"{key}: Prometheus has {got.get(key)}, the report {want.get(key)}"
                for key in sorted(want.keys() | got.keys()) if got.get(key) != want.get(key)]
    print(f"compared {len(want)} account samples ({left_out} figures left out) of "
          f"{len(report['users'])} accounts")
    return problems


def check_server(prometheus, report):
    accounts = float(len(report["users"]))
    table = [("vorlane_accounts", accounts),
             ("vorlane_accounts_exported", accounts),
             ("vorlane_snapshot_timestamp_seconds", report["timestamp"]),
             (f'vorlane_mysql_tessel_state{{state="{report["mySqlTsl"]}"}}', 1.0),
             ("sum(vorlane_mysql_tessel_state)", 1.0),
             (f'vorlane_mysql_tessel_mode_info{{mode="{report["mySqlTslMode"]}"}}', 1.0),
             ("vorlane_stats_up", 1.0),
             ("node_textfile_scrape_error", 0.0)]
    got = [(expr, prometheus.value(expr), want) for expr, want in table]
    return [f"{expr} is {value}, want {want}" for expr, value, want in got if value != want]


def main():
    tools = sys.argv[1:5]
    skip_unless_root()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    work = tempfile.mkdtemp(prefix="vt-prometheus.")
    prometheus = Prometheus()
    try:
        server = Server(os.path.join(work, "server"), tools, "--users", "300",
                        "--mode", "per-account")
        add_quoted_account(server)
        textfile_dir = os.path.join(work, "textfile")
        os.mkdir(textfile_dir)
        textfile = os.path.join(textfile_dir, TEXTFILE_NAME)
        write_metrics(server, textfile)
        with open(textfile) as f:
            promtool = subprocess.run(["promtool", "check", "metrics"], stdin=f,
                                      capture_output=True, text=True)
        print(f"promtool check metrics: status {promtool.returncode}, "
              f"output {promtool.stdout + promtool.stderr!r}")
        if promtool.returncode != 0 or promtool.stdout or promtool.stderr:
            raise AssertionError("promtool check metrics has findings")

        report = server.report()
        quoted = [u["domain"] for u in report["users"] if u["id"] == QUOTED_UID]
        if quoted != [QUOTED_DOMAIN]:
            raise AssertionError(f"the report gives the quoted account the domains {quoted}")

        started = time.monotonic()
        prometheus.start_both(work, textfile_dir)
        prometheus.wait_until("the node_exporter target to be up", lambda: any(
            t["health"] == "up" for t in prometheus.api("targets")["activeTargets"]))
        prometheus.wait_until("a scrape of the metrics file",
                              lambda: prometheus.value("vorlane_accounts_exported") is not None)
        print(f"Prometheus scraped the file {time.monotonic() - started:.1f} s after the start")
        problems = check_series(prometheus, report) + check_server(prometheus, report)
        domain = prometheus.query(f'vorlane_account_info{{uid="{QUOTED_UID}"}}')
        # The line feed, a control character, comes back as U+FFFD.
        want = QUOTED_DOMAIN.replace("\n", "\ufffd")
        if [s["metric"].get("domain") for s in domain] != [want]:
            problems.append(f"the quoted domain comes back as {domain}")

        # An account that leaves the file leaves the query results.
        gone = str(report["users"][0]["id"])
        snapshot = server.load("/var/kob/vorlane_top.json")
        snapshot["users"] = [u for u in snapshot["users"] if str(u["id"]) != gone]
        server.save("/var/kob/vorlane_top.json", snapshot)
        write_metrics(server, textfile)
        fewer = len(report["users"]) - 1
        prometheus.wait_until(f"{fewer} exported accounts", lambda: prometheus.value(
            "vorlane_accounts_exported") == fewer)
        if prometheus.query(f'{{uid="{gone}"}}'):
            problems.append(f"the series of uid {gone} outlive its leaving the file")

        # A stopped statistics service: the file stays, without accounts.
        os.remove(server.path("/run/kobstats.pid"))
        write_metrics(server, textfile, status=1)
        prometheus.wait_until("vorlane_stats_up 0",
                              lambda: prometheus.value("vorlane_stats_up") == 0)
        if prometheus.query('{__name__=~"vorlane_account_.+"}'):
            problems.append("accounts are exported with the statistics service stopped")
        if prometheus.value("node_textfile_scrape_error") != 0:
            problems.append("node_textfile_scrape_error is not 0 at the end")

        for problem in problems[:20]:
            print("FAIL:", problem)
        return 1 if problems else 0
    except AssertionError as failure:
        print("FAIL:", failure)
        prometheus.print_logs()
        return 1
    finally:
        prometheus.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
