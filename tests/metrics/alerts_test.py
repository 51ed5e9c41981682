#!/usr/bin/env python3
"""The shipped alerting rules and inhibition rules on a real Prometheus and
Alertmanager, over two generated servers whose metrics files a loop
rewrites every two seconds, as the timer would every minute. Once their
alerts have settled, web1's loop stops and its file ages past 5 minutes
(its mtime set back), then the file is deleted. The webhook must receive,
for web1, the stale file's page and then the missing file's, with nothing
resolved: neither web1's account alerts, whose data went with the file, nor
the stale file when it turns missing; and nothing more for web2.

The rules' delays are shortened (minutes become seconds) and the runbook
links go to the external label vorlane_top_runbook.

    alerts_test.py METRICS_BINARY REPORT_BINARY GEN_SERVER LAUNCHER RULES_DIR"""
import http.server, json, os, re, shutil, signal, sys, tempfile, threading, time

from scrape import Prometheus
from server import TEXTFILE_NAME, Server, skip_unless_root, verdict

SERVERS = ("web1", "web2")
RUNBOOK = "https://runbooks.test/vorlane"
# Minutes of the shipped rules as the test's seconds: a cause's alert still
# fires long before the alerts that it mutes stop being held.
DELAYS = {"for: 2m": "for: 3s", "for: 5m": "for: 4s", "for: 10m": "for: 4s",
          "for: 15m": "for: 4s", "keep_firing_for: 10m": "keep_firing_for: 20s"}


def shortened_rules(rules_dir, work):
    """The shipped rule files with their delays shortened; their paths."""
    paths = []
    for name in ("vorlane-top.rules.yml", "vorlane-top-accounts.rules.yml"):
        with open(os.path.join(rules_dir, name)) as f:
            text = f.read()
        text = re.sub("|".join(map(re.escape, DELAYS)), lambda m: DELAYS[m.group(0)], text)
        paths.append(os.path.join(work, name))
        with open(paths[-1], "w") as f:
            f.write(text)
    return paths


class Webhook(http.server.BaseHTTPRequestHandler):
    """Alertmanager's notifications: each alert of each one, in the order
    received."""
    received = []

    def do_POST(self):
        body = json.loads(self.rfile.read(int(self.headers["Content-Length"])))
        Webhook.received.extend(body["alerts"])
        self.send_response(200)
        self.end_headers()

    def log_message(self, *_):
        pass


def write_metrics(server, textfile):
    run = server.metrics("--textfile", textfile)
    if run.returncode != 0:
        raise AssertionError(f"vorlane-top-metrics failed ({run.returncode}): {run.stderr}")


def keep_writing(server, textfile, stopped):
    """The timer: rewrites the file every two seconds until `stopped` is set."""
    while not stopped.wait(2):
        server.metrics("--textfile", textfile)


def alertmanager_config(rules_dir, webhook_port):
    with open(os.path.join(rules_dir, "vorlane-top.inhibit.yml")) as f:
        inhibit = f.read()
    return ("route:\n  receiver: webhook\n  group_by: [alertname, instance]\n"
            "  group_wait: 1s\n  group_interval: 1s\n  repeat_interval: 1h\n"
            "receivers:\n  - name: webhook\n    webhook_configs:\n"
            f"      - url: http://127.0.0.1:{webhook_port}/\n        send_resolved: true\n"
            + inhibit)


def settle(what, seconds=6, first=lambda: True):
    """Waits until `first()` holds and then no notification has come for
    `seconds`."""
    count, quiet_since = -1, time.monotonic()
    deadline = time.monotonic() + 60
    while not first() or time.monotonic() - quiet_since < seconds:
        if time.monotonic() > deadline:
            raise AssertionError(f"the notifications did not settle {what}")
        if len(Webhook.received) != count:
            count, quiet_since = len(Webhook.received), time.monotonic()
        time.sleep(0.5)
    print(f"{what}: {len(Webhook.received)} alerts notified")


def server_of(alert):
    return alert["labels"].get("instance", "").split(":")[0]


def steady(stack):
    """Whether Prometheus has no pending alert, and Alertmanager has
    notified each firing one, on both servers."""
    def identity(labels):
        return frozenset((k, v) for k, v in labels.items()
                         if k not in ("__name__", "alertstate", "vorlane_top_runbook"))
    firing = {identity(a["metric"]) for a in stack.query('ALERTS{alertstate="firing"}')}
    notified = {identity(a["labels"]) for a in Webhook.received if a["status"] == "firing"}
    return (not stack.query('ALERTS{alertstate="pending"}') and firing == notified
            and {dict(a)["instance"].split(":")[0] for a in firing} == set(SERVERS))


def summary(alerts):
    return [f"{a['status']} {a['labels']['alertname']} {server_of(a)}" for a in alerts]


def main():
    tools, rules_dir = sys.argv[1:5], sys.argv[5]
    skip_unless_root()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    work = tempfile.mkdtemp(prefix="vt-alerts.")
    stack, stopped, writers, webhook = Prometheus(), {}, {}, None
    try:
        webhook = http.server.HTTPServer(("127.0.0.1", 0), Webhook)
        threading.Thread(target=webhook.serve_forever, daemon=True).start()
        alertmanager = stack.start_alertmanager(
            work, alertmanager_config(rules_dir, webhook.server_address[1]))
        textfiles, targets = {}, []
        for seed, name in enumerate(SERVERS, 1):
            server = Server(os.path.join(work, name), tools, "--users", "60", "--seed", str(seed))
            os.mkdir(os.path.join(work, name + ".textfile"))
            textfiles[name] = os.path.join(work, name + ".textfile", TEXTFILE_NAME)
            write_metrics(server, textfiles[name])
            stopped[name] = threading.Event()
            writers[name] = threading.Thread(target=keep_writing, daemon=True,
                                             args=(server, textfiles[name], stopped[name]))
            writers[name].start()
            stack.start_exporter(work, os.path.dirname(textfiles[name]))
            targets.append(f"127.0.0.1:{stack.exporter_port}")
        # Each target is named as its server, and is in the inventory.
        job = "static_configs:\n" + "".join(
            f"  - targets: ['{target}']\n    labels: {{vorlane_top: expected}}\n"
            for target in targets) + "relabel_configs:\n" + "".join(
            f"  - {{source_labels: [__address__], regex: '{re.escape(target)}', "
            f"target_label: instance, replacement: '{name}:9100'}}\n"
            for name, target in zip(SERVERS, targets))
        rule_files = "".join(f"  - {path}\n" for path in shortened_rules(rules_dir, work))
        stack.start_prometheus(
            work, job, f"  external_labels: {{vorlane_top_runbook: '{RUNBOOK}'}}\n"
            f"rule_files:\n{rule_files}"
            f"alerting:\n  alertmanagers:\n    - static_configs:\n"
            f"        - targets: ['127.0.0.1:{alertmanager}']\n")

        settle("with both servers writing", first=lambda: steady(stack))
        before = list(Webhook.received)
        problems = []
        links = {a["annotations"].get("runbook_url", "") for a in before}
        if not all(link.startswith(RUNBOOK + "#vorlanetop") for link in links):
            problems.append(f"runbook links not under the external label: {links}")

        stopped["web1"].set()
        writers["web1"].join()
        old = time.time() - 400
        os.utime(textfiles["web1"], (old, old))
        settle("with web1's file stale")
        os.remove(textfiles["web1"])
        time.sleep(25)  # the held alerts' time, shortened, and more
        settle("with web1's file deleted")
        after = summary(Webhook.received[len(before):])
        print("before the stop:", *summary(before), sep="\n  ")
        print("after:", *after, sep="\n  ")
        want = ["firing VorlaneTopMetricsStale web1", "firing VorlaneTopMetricsMissing web1"]
        if after != want:
            problems.append(f"notified after the stop {after}, want {want}")
        return verdict(problems)
    except AssertionError as failure:
        print("FAIL:", failure)
        stack.print_logs()
        return 1
    finally:
        for event in stopped.values():
            event.set()
        stack.stop()
        if webhook:
            webhook.shutdown()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
