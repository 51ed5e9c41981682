"""A generated server (tools/gen_server.cc) on which the metrics tests run
vorlane-top-metrics and vorlane-top through the launcher (tests/e2e/launch),
as root in private namespaces."""
import json, os, re, subprocess, sys

TEXTFILE_NAME = "vorlane-top.prom"
# The writer's temporary files, and the names its cleanup takes for them.
TEMPORARY = re.compile(r"\.vorlane-top-metrics\.[0-9a-f]{1,32}\.tmp")


def skip_unless_root():
    if os.geteuid() != 0:
        print("skipped: the test runs the commands through the launcher, which needs root")
        sys.exit(77)


def in_private_mounts():
    """Runs the test again in a mount namespace of its own, so that its
    mounts vanish with it; returns once inside."""
    if os.environ.get("VT_TEST_MOUNTS") != "private":
        os.environ["VT_TEST_MOUNTS"] = "private"
        os.execvp("unshare", ["unshare", "--mount", "--propagation", "private",
                              sys.executable, *sys.argv])


class Server:
    """The tools are the command line's METRICS_BINARY REPORT_BINARY
    GEN_SERVER LAUNCHER; `args` go to the generator."""

    def __init__(self, root, tools, *args):
        self.root = root
        self.metrics_binary, self.report_binary, generator, self.launcher = tools
        subprocess.run([generator, root, *args], check=True)

    def path(self, server_path):
        """Where the fixture keeps the server path `server_path` ("/etc/passwd")."""
        return self.root + server_path

    def launch(self, *command):
        return subprocess.run([self.launcher, self.root, "--", *command],
                              capture_output=True, text=True, timeout=120)

    def metrics(self, *args, wrapper=()):
        return self.launch(*wrapper, self.metrics_binary, *args)

    def report(self):
        """Root's vorlane-top --json listing every account."""
        run = self.launch(self.report_binary, "--json", "--max", "1000000")
        if run.returncode != 0:
            raise AssertionError(f"vorlane-top --json failed ({run.returncode}): {run.stderr}")
        return json.loads(run.stdout)

    def load(self, server_path):
        with open(self.path(server_path)) as f:
            return json.load(f)

    def save(self, server_path, value):
        with open(self.path(server_path), "w") as f:
            json.dump(value, f)


def verdict(problems):
    """Prints each problem; the test's exit status."""
    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0
