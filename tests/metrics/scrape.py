"""A node_exporter and a Prometheus that a metrics test starts on 127.0.0.1,
on free ports, and stops by pid; Prometheus scrapes every second."""
import ctypes, json, os, signal, socket, subprocess, time, urllib.error, urllib.parse
import urllib.request

WAIT_SECONDS = 30
http = urllib.request.build_opener(urllib.request.ProxyHandler({}))


def die_with_parent():
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class Prometheus:
    """The servers that a test started, stopped by stop(); the query API of
    the Prometheus among them."""

    def __init__(self):
        self.processes, self.logs = [], []

    def start_both(self, work, textfile_dir):
        """A plain node_exporter, and a Prometheus scraping it."""
        self.start_exporter(work, textfile_dir)
        self.start_prometheus(work, "static_configs:\n"
                              f"  - targets: ['127.0.0.1:{self.exporter_port}']\n")

    def start_exporter(self, work, textfile_dir, *flags, wrapper=(), scheme="http", opener=http):
        """A node_exporter with only the textfile collector, run under
        `wrapper` (setpriv, say) with the extra `flags`."""
        self.exporter_port = self.start(
            work, "node-exporter", "/metrics",
            lambda port: [*wrapper, "prometheus-node-exporter",
                          f"--web.listen-address=127.0.0.1:{port}",
                          "--collector.disable-defaults", "--collector.textfile",
                          f"--collector.textfile.directory={textfile_dir}", *flags],
            scheme, opener)

    def start_prometheus(self, work, job, extra="", interval="1s"):
        """Prometheus with the one scrape job "node", whose settings are the
        YAML lines `job`, scraping and evaluating every `interval`; `extra`
        is more of the file (rules, alerting), after the global settings."""
        config = os.path.join(work, "prometheus.yml")
        with open(config, "w") as f:
            f.write(f"global:\n  scrape_interval: {interval}\n  scrape_timeout: 1s\n"
                    f"  evaluation_interval: {interval}\n" + extra +
                    "scrape_configs:\n  - job_name: node\n")
            f.writelines(f"    {line}\n" for line in job.splitlines())
        self.port = self.start(
            work, "prometheus", "/-/ready",
            lambda port: ["prometheus", f"--config.file={config}",
                          f"--storage.tsdb.path={os.path.join(work, 'tsdb')}",
                          f"--web.listen-address=127.0.0.1:{port}"])

    def start_alertmanager(self, work, config_text):
        """An Alertmanager of its own, not in a cluster, with the
        configuration `config_text`; its port."""
        config = os.path.join(work, "alertmanager.yml")
        with open(config, "w") as f:
            f.write(config_text)
        return self.start(
            work, "alertmanager", "/-/ready",
            lambda port: ["prometheus-alertmanager", f"--config.file={config}",
                          f"--storage.path={os.path.join(work, 'alertmanager')}",
                          f"--web.listen-address=127.0.0.1:{port}",
                          "--cluster.listen-address="])

    def start(self, work, name, ready_path, command, scheme="http", opener=http):
        """Starts command(port) on a free port and waits until ready_path
        answers (401, a password asked, counts); another port when the
        server exits (the port was taken)."""
        for attempt in range(5):
            with socket.socket() as probe:
                probe.bind(("127.0.0.1", 0))
                port = probe.getsockname()[1]
            self.logs.append(os.path.join(work, f"{name}.{attempt}.log"))
            with open(self.logs[-1], "w") as log:
                process = subprocess.Popen(command(port), stdin=subprocess.DEVNULL, stdout=log,
                                           stderr=subprocess.STDOUT, preexec_fn=die_with_parent)
            self.processes.append(process)
            deadline = time.monotonic() + WAIT_SECONDS
            while process.poll() is None and time.monotonic() < deadline:
                try:
                    with opener.open(f"{scheme}://127.0.0.1:{port}{ready_path}", timeout=2):
                        return port
                except urllib.error.HTTPError as answer:
                    if answer.code == 401:
                        return port
                    time.sleep(0.1)
                except OSError:
                    time.sleep(0.1)
            if process.poll() is None:
                raise AssertionError(f"{name} did not answer within {WAIT_SECONDS} s")
        raise AssertionError(f"{name} exited at each start; see {self.logs}")

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()

    def print_logs(self):
        for log in self.logs:
            with open(log) as f:
                print(f"--- {os.path.basename(log)}, last lines:", *f.readlines()[-5:], sep="")

    def api(self, path, **params):
        url = f"http://127.0.0.1:{self.port}/api/v1/{path}?" + urllib.parse.urlencode(params)
        with http.open(url, timeout=5) as answer:
            body = json.load(answer)
        if body.get("status") != "success":
            raise AssertionError(f"{url}: {body}")
        return body["data"]

    def query(self, expr):
        return self.api("query", query=expr)["result"]

    def value(self, expr):
        """The one value of expr, None when it has no series."""
        result = self.query(expr)
        if len(result) > 1:
            raise AssertionError(f"{expr} has {len(result)} series")
        return float(result[0]["value"][1]) if result else None

    def wait_until(self, what, condition):
        deadline = time.monotonic() + WAIT_SECONDS
        while not condition():
            if time.monotonic() > deadline:
                raise AssertionError(f"timed out after {WAIT_SECONDS} s waiting for {what}")
            time.sleep(0.2)
