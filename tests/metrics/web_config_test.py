#!/usr/bin/env python3
"""Port 9100 closed by the shipped web configuration
(packaging/prometheus/node-exporter-web.yml), filled in with a throwaway CA,
certificate and password as its comments say: node_exporter, run as the
prometheus user on a metrics file of a generated server, answers 401 to a
scrape without credentials and to a wrong password, and a Prometheus with
`scheme: https`, `basic_auth` and `tls_config` scrapes it, the file's
figure coming back through the query API. The file's placeholder hash, left
in, loads and lets nobody in.

    web_config_test.py METRICS_BINARY REPORT_BINARY GEN_SERVER LAUNCHER

Everything listens on 127.0.0.1, on free ports, and is stopped by pid at the
end, also when the test fails or is terminated."""
import base64, grp, os, pwd, re, secrets, shutil, signal, ssl, subprocess, sys, tempfile
import urllib.error, urllib.request

from scrape import Prometheus
from server import TEXTFILE_NAME, Server, skip_unless_root

SHIPPED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging",
                       "prometheus", "node-exporter-web.yml")
TOOLS = ("openssl", "htpasswd", "setpriv", "prometheus-node-exporter", "prometheus")
# The name in the certificate, which Prometheus checks (tls_config: server_name).
NAME = "node-exporter.test"
AS_PROMETHEUS = ("setpriv", "--reuid=prometheus", "--regid=prometheus", "--init-groups",
                 "--pdeathsig=TERM", "--")


def skip_without_tools():
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    try:
        pwd.getpwnam("prometheus")
    except KeyError:
        missing.append("the prometheus user")
    if missing:
        print(f"skipped: missing {', '.join(missing)} (scripts/install-deps)")
        sys.exit(77)


def run(*command, stdin=None, cwd=None):
    return subprocess.run(command, input=stdin, cwd=cwd, check=True, capture_output=True,
                          text=True, timeout=60).stdout


def for_node_exporter(path):
    """Readable by root and the prometheus group only, as the comments say."""
    os.chown(path, 0, grp.getgrnam("prometheus").gr_gid)
    os.chmod(path, 0o640)


def make_certificate(tls):
    """The CA and the node's certificate, made with the file's commands."""
    ec = ("-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes")
    run("openssl", "req", "-x509", *ec, "-days", "1", "-subj", "/CN=throwaway-ca",
        "-keyout", "fleet-ca.key", "-out", "fleet-ca.crt", cwd=tls)
    run("openssl", "req", "-new", *ec, "-subj", f"/CN={NAME}",
        "-keyout", "node-exporter.key", "-out", "node-exporter.csr", cwd=tls)
    with open(os.path.join(tls, "san"), "w") as f:
        f.write(f"subjectAltName=DNS:{NAME}\n")
    run("openssl", "x509", "-req", "-in", "node-exporter.csr", "-CA", "fleet-ca.crt",
        "-CAkey", "fleet-ca.key", "-CAcreateserial", "-days", "1", "-out", "node-exporter.crt",
        "-extfile", "san", cwd=tls)
    for name in ("node-exporter.crt", "node-exporter.key"):
        for_node_exporter(os.path.join(tls, name))


def web_configs(work, tls, password):
    """The shipped file with this test's certificate paths, once with the
    password's hash (htpasswd -B, as its comments say) in place of the
    placeholder, once with the placeholder left."""
    with open(SHIPPED) as f:
        text = f.read()
    for name in ("node-exporter.crt", "node-exporter.key"):
        if text.count(f": /etc/prometheus/{name}\n") != 1:
            raise AssertionError(f"{SHIPPED} does not name /etc/prometheus/{name} once")
        text = text.replace(f": /etc/prometheus/{name}\n", f": {tls}/{name}\n")
    user = re.findall(r"^  prometheus: (\S+)$", text, re.M)
    if len(user) != 1:
        raise AssertionError(f"{SHIPPED} has not one hash for the user prometheus: {user}")
    hashed = run("htpasswd", "-niBC", "10", "", stdin=password).strip().lstrip(":")
    paths = []
    for name, body in (("web.yml", text.replace(user[0], hashed)),
                       ("placeholder.yml", text)):
        paths.append(os.path.join(work, name))
        with open(paths[-1], "w") as f:
            f.write(body)
        for_node_exporter(paths[-1])
    return paths


def status(opener, port, password=None):
    """The HTTP status of a scrape of node_exporter on port."""
    request = urllib.request.Request(f"https://127.0.0.1:{port}/metrics")
    if password is not None:
        token = base64.b64encode(f"prometheus:{password}".encode()).decode()
        request.add_header("Authorization", f"Basic {token}")
    try:
        with opener.open(request, timeout=5) as answer:
            return answer.status
    except urllib.error.HTTPError as answer:
        return answer.code


def main():
    tools = sys.argv[1:5]
    skip_unless_root()
    skip_without_tools()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    work = tempfile.mkdtemp(prefix="vt-web-config.")
    os.chmod(work, 0o711)  # node_exporter, as prometheus, reaches its files
    prometheus = Prometheus()
    try:
        server = Server(os.path.join(work, "server"), tools, "--users", "20")
        textfile_dir = os.path.join(work, "textfile")
        os.mkdir(textfile_dir, 0o755)
        textfile = os.path.join(textfile_dir, TEXTFILE_NAME)
        write = server.metrics("--textfile", textfile)
        if write.returncode != 0:
            raise AssertionError(f"vorlane-top-metrics failed ({write.returncode}): "
                                 f"{write.stderr}")
        with open(textfile) as f:
            exported = float(re.search(r"^vorlane_accounts_exported (\S+)$", f.read(), re.M)[1])

        tls = os.path.join(work, "tls")
        os.mkdir(tls, 0o711)
        make_certificate(tls)
        password = secrets.token_urlsafe(16)
        password_file = os.path.join(work, "password")
        with open(password_file, "w") as f:
            f.write(password + "\n")  # one line, as echo writes it
        web, placeholder = web_configs(work, tls, password)

        # The CA is checked here; the name is Prometheus's to check.
        context = ssl.create_default_context(cafile=os.path.join(tls, "fleet-ca.crt"))
        context.check_hostname = False
        https = urllib.request.build_opener(urllib.request.ProxyHandler({}),
                                            urllib.request.HTTPSHandler(context=context))
        prometheus.start_exporter(work, textfile_dir, f"--web.config.file={placeholder}",
                                  wrapper=AS_PROMETHEUS, scheme="https", opener=https)
        shipped = status(https, prometheus.exporter_port, password)
        prometheus.start_exporter(work, textfile_dir, f"--web.config.file={web}",
                                  wrapper=AS_PROMETHEUS, scheme="https", opener=https)
        port = prometheus.exporter_port
        bare, wrong = status(https, port), status(https, port, password + "x")
        print(f"node_exporter answers {bare} without credentials, {wrong} to a wrong password, "
              f"{shipped} to the password with the shipped placeholder hash")
        problems = [f"{what} gets {got}, want 401" for what, got in (
            ("a scrape without credentials", bare), ("a wrong password", wrong),
            ("the placeholder hash", shipped)) if got != 401]

        prometheus.start_prometheus(
            work, "scheme: https\n"
            f"basic_auth:\n  username: prometheus\n  password_file: {password_file}\n"
            f"tls_config:\n  ca_file: {tls}/fleet-ca.crt\n  server_name: {NAME}\n"
            f"static_configs:\n  - targets: ['127.0.0.1:{port}']\n")
        targets = []

        def up():
            targets[:] = prometheus.api("targets")["activeTargets"]
            return any(t["health"] == "up" for t in targets)
        try:
            prometheus.wait_until("the https target to be up", up)
        except AssertionError:
            print("targets:", [(t["health"], t["lastError"]) for t in targets])
            raise
        prometheus.wait_until("a scrape of the metrics file",
                              lambda: prometheus.value("vorlane_accounts_exported") is not None)
        got = prometheus.value("vorlane_accounts_exported")
        print(f"Prometheus reads vorlane_accounts_exported {got}; the file says {exported}")
        if got != exported:
            problems.append(f"Prometheus reads {got}, the file says {exported}")

        for problem in problems:
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
