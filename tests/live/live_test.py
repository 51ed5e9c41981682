#!/usr/bin/env python3
"""vorlane-top-live in a real terminal: a tmux pane of 100x30 cells of a
server of its own (tmux -L with a socket of the test's own), the view run
through the launcher on a generated server, driven with send-keys and read
with capture-pane. One case per run:

    live_test.py CASE LIVE_BINARY REPORT_BINARY GEN_SERVER LAUNCHER

The pane runs `sh`, which waits for Enter before it starts the view and
prints the view's exit status after it, so that the terminal's modes and
the pane can be compared before and after. The tmux server is killed at the
end, pass or fail, and with it whatever still runs in the pane."""
import contextlib, itertools, json, os, re, shlex, shutil, signal, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "metrics"))
from server import Server, skip_unless_root, verdict  # noqa: E402

WIDTH, HEIGHT = 100, 30
FIRST_ROW = 4  # lines 0-2 the header, 3 the column titles
SHARES = ["CPU%", "IO%", "IOPS%", "EP%", "NPROC%", "MEM%"]
SNAPSHOT = "/var/kob/vorlane_top.json"
PANEL = "/usr/share/kob-stats3/scripts/data/user-info-sys.json"
HOSTILE_UID = 1777
HOSTILE_DOMAIN = "evil\x1b[2Jsite\x1b]52;c;SGVsbG8=\x07.example"
# The batch table's figure columns: (usage, limit) as the JSON report has them.
FIGURES = [("cpu", "all"), ("io", "all"), ("iops", None), ("ep", None), ("pno", None),
           ("mem", None), ("cpu", "mysql"), ("io", "mysql")]


def skip_without_tmux():
    if shutil.which("tmux") is None:
        print("skipped: tmux is not installed")
        sys.exit(77)


def wait_for(what, probe, timeout=10.0):
    """Polls `probe` until it returns something true; returns that."""
    deadline = time.monotonic() + timeout
    while True:
        got = probe()
        if got:
            return got
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.05)


class Pane:
    """A tmux server of its own with one pane running `command`."""

    def __init__(self, work, command):
        self.socket = f"vt-live-{os.getpid()}"
        self.tmux = ["tmux", "-L", self.socket, "-f", "/dev/null"]
        self.work = work
        self.status_file = os.path.join(work, "status")
        shell = (f"echo ready; read go; {shlex.join(command)}; s=$?; "
                 f'echo $s > {shlex.quote(self.status_file)}; echo "status $s"; read end')
        subprocess.run([*self.tmux, "new-session", "-d", "-x", str(WIDTH), "-y", str(HEIGHT),
                        shlex.join(["env", "LANG=C.UTF-8", "TERM=tmux-256color", "sh", "-c", shell])],
                       check=True)
        # An application's OSC 52 would land in a paste buffer.
        self.run("set-option", "-g", "set-clipboard", "on")
        self.raw = os.path.join(work, "raw")
        self.run("pipe-pane", "-o", f"cat > {shlex.quote(self.raw)}")
        self.wait("the pane's shell", lambda: "ready" in self.text())
        self.tty, pid, self.socket_path = self.run(
            "display-message", "-p", "#{pane_tty}\n#{pane_pid}\n#{socket_path}").split()
        self.shell_pid = int(pid)

    def run(self, *args):
        return subprocess.run([*self.tmux, *args], check=True, capture_output=True,
                              text=True).stdout

    def start(self):
        self.keys("Enter")

    def keys(self, *keys, literal=False):
        self.run("send-keys", *(["-l"] if literal else []), *keys)

    def text(self, escapes=False):
        return self.run("capture-pane", "-p", *(["-e"] if escapes else []))

    def lines(self):
        return self.text().removesuffix("\n").split("\n")

    def wait(self, what, probe, timeout=10.0):
        try:
            return wait_for(what, probe, timeout)
        except AssertionError as e:
            raise AssertionError(f"{e}; the pane shows:\n{self.text().rstrip()}") from None

    def stty(self):
        return subprocess.run(["stty", "-g", "-F", self.tty], check=True, capture_output=True,
                              text=True).stdout.strip()

    def status(self):
        """The view's exit status, once the shell has printed it."""
        return int(wait_for("the view's exit status", lambda: os.path.exists(self.status_file) and
                            open(self.status_file).read().strip()))

    def process(self, binary):
        """The pid of the process running `binary` below the pane's shell."""
        def find():
            for pid in filter(str.isdigit, os.listdir("/proc")):
                try:
                    if os.readlink(f"/proc/{pid}/exe") != binary:
                        continue
                    ancestor = int(pid)
                    while ancestor > 1:
                        with open(f"/proc/{ancestor}/stat") as f:
                            ancestor = int(f.read().rsplit(")", 1)[1].split()[1])
                        if ancestor == self.shell_pid:
                            return int(pid)
                except OSError:
                    continue
            return None
        return wait_for(f"the process of {binary}", find)

    def close(self):
        """Kills the server and waits for the pane's shell to go: the hangup
        ends the view, and the launcher's namespaces with it."""
        subprocess.run([*self.tmux, "kill-server"], capture_output=True)
        wait_for("the pane's shell to end", lambda: not os.path.exists(f"/proc/{self.shell_pid}"))
        # The server leaves its socket behind.
        with contextlib.suppress(FileNotFoundError):
            os.unlink(self.socket_path)


class Screen:
    """One capture of the pane: its lines, the column titles and the rows
    as lists of words."""

    def __init__(self, pane):
        # curses writes a changed screen in pieces, and a capture can catch
        # half of it: a capture counts once the next one, 50 ms later, is the same.
        self.lines, previous = pane.lines(), None
        for _ in range(40):
            if self.lines == previous:
                break
            time.sleep(0.05)
            self.lines, previous = pane.lines(), self.lines
        self.titles = self.lines[FIRST_ROW - 1].split()
        self.rows = [line.split() for line in self.lines[FIRST_ROW:] if line.strip()]


def table(pane):
    screen = Screen(pane)
    return screen.titles, screen.rows


def drawn(pane):
    """The table once the first rows are on the screen."""
    return pane.wait("the table", lambda: (t := table(pane))[1] and t[0][:1] == ["USER"] and t)


def share(word):
    """A share cell's percentage, None for "-"."""
    return None if word == "-" else int(word.rstrip("+!").rstrip("%"))


def usernames(report):
    return [u.get("username", "N/A") for u in report["users"]]


class Case:
    def __init__(self, tools, work, users=40):
        self.live_binary, self.report_binary, generator, launcher = tools
        self.work = work
        self.server = Server(os.path.join(work, "server"), (None, self.report_binary, generator,
                                                            launcher), "--users", str(users))
        os.chmod(self.server.root, 0o755)
        self.pane = None

    def view(self, *args, wrapper=()):
        """Starts the view in the pane and returns once its table is drawn."""
        self.pane = Pane(self.work, [self.server.launcher, self.server.root, "--", *wrapper,
                                     self.live_binary, *args])
        self.pane.start()
        return drawn(self.pane)

    def report(self, *args, wrapper=()):
        run = self.server.launch(*wrapper, self.report_binary, "--json", *args)
        if run.returncode != 0:
            raise AssertionError(f"vorlane-top --json failed ({run.returncode}): {run.stderr}")
        return json.loads(run.stdout)

    def close(self):
        if self.pane:
            self.pane.close()


def show(pane, title):
    print(f"--- {title}")
    print(pane.text().rstrip("\n"))


def first_screen_in_report_order(case):
    _, rows = case.view()
    show(case.pane, "first screen")
    want = usernames(case.report("--max", str(len(rows))))
    got = [row[0] for row in rows]
    return [] if got == want else [f"the screen lists {got}, the report {want}"]


def sort_steps_to_io(case):
    case.view()
    case.pane.keys(">")
    screen = case.pane.wait("IO% sorted", lambda: (t := Screen(case.pane)).titles[4:5] == ["IO%v"]
                            and t)
    show(case.pane, "after >")
    shares = [share(row[4]) for row in screen.rows]
    known = [s for s in shares if s is not None]
    problems = [] if "sort IO%" in screen.lines[2] else ["line 2 does not say the sort"]
    if known != sorted(known, reverse=True) or shares[:len(known)] != known:
        problems.append(f"the IO shares are not greatest first: {shares}")
    return problems


def filter_to_one_row(case):
    case.view()
    case.pane.keys("/")
    case.pane.keys("user0004", literal=True)
    case.pane.keys("Enter")
    rows = case.pane.wait("the filter", lambda: (t := Screen(case.pane)).rows and
                          "filter user0004" in t.lines[2] and t).rows
    show(case.pane, "filter user0004")
    return [] if [row[0] for row in rows] == ["user0004"] else [f"the filter shows {rows}"]


def detail_lists_domains(case):
    snapshot = case.server.load(SNAPSHOT)
    account = next(u for u in snapshot["users"] if u.get("domains") and u.get("username")
                   and 1000 <= u["id"] < 1900 and all(d.get("name") for d in u["domains"]))
    name, domains = account["username"], [d["name"] for d in account["domains"]]
    case.view()
    case.pane.keys("/")
    case.pane.keys(name, literal=True)
    case.pane.keys("Enter")
    case.pane.wait("one row", lambda: [r[0] for r in table(case.pane)[1]] == [name])
    case.pane.keys("Enter")
    text = case.pane.wait("the detail", lambda: "domains (usage/limit):" in
                          (t := case.pane.text()) and t)
    show(case.pane, f"detail of {name}")
    problems = [] if f"uid {account['id']}  account {name}" in text else [
        "the detail does not name the account"]
    listed = [line.split()[0] for line in text.split("\n")
              [text.split("\n").index("domains (usage/limit):") + 1:] if line.startswith("  ")]
    return problems + ([] if listed == domains else [f"the detail lists {listed}, not {domains}"])


def narrow_window_keeps_shares(case):
    # A shell that exported the size it had does not hold the view to it.
    case.view(wrapper=["env", f"LINES={HEIGHT}", f"COLUMNS={WIDTH}"])
    case.pane.run("resize-window", "-x", "80", "-y", "24")
    # A screen caught while the view redraws it has rows still blank: wait
    # for every row, so that only a table that stays short fails.
    screen = case.pane.wait("the narrow table, every row full", lambda: (t := Screen(
        case.pane)).rows and len(t.lines) == 24 and "MYCPU" not in t.titles and t.titles[-1:] == [
            "R"] and len(t.rows) == 24 - FIRST_ROW and all(
                len(r) >= 2 + len(SHARES) for r in t.rows) and t)
    show(case.pane, "80x24")
    titles, rows = screen.titles, screen.rows
    problems = [] if screen.lines[0].split()[2:3] == ["snapshot"] else [
        "line 0 is not the header"]
    if [t for t in titles if t in SHARES] != SHARES:
        problems.append(f"the titles are {titles}")
    if len(rows) != 24 - FIRST_ROW or any(len(r) < 2 + len(SHARES) for r in rows):
        problems.append(f"{len(rows)} rows, not all of them full")
    return problems


def leaves_terminal(case, stop, want_status, shell_says=""):
    """The shell's line of the Enter that started the view stays blank, then
    come what the shell says of the view's end and the status."""
    if case.pane:
        case.pane.close()
    with contextlib.suppress(FileNotFoundError):
        os.unlink(os.path.join(case.work, "status"))
    # No core file of a signal that writes one.
    pane = case.pane = Pane(case.work, ["sh", "-c", 'ulimit -c 0; exec "$@"', "sh",
                                        case.server.launcher, case.server.root, "--",
                                        case.live_binary])
    before_stty, before = pane.stty(), pane.text().rstrip("\n")
    pane.start()
    drawn(pane)
    # Keys come one by one while the view runs, so the modes do change.
    during_stty = pane.stty()
    stop(pane)
    status = pane.status()
    after, after_stty = pane.text().rstrip("\n"), pane.stty()
    print(f"--- pane after the view (status {status})\n{after}")
    problems = [] if status == want_status else [f"exit status {status}, not {want_status}"]
    if during_stty == before_stty:
        problems.append("the terminal's modes were the same while the view ran")
    if after_stty != before_stty:
        problems.append(f"stty -g before {before_stty}, after {after_stty}")
    # Nothing of the view stays: only what the shell said, on one line.
    head, tail = before + "\n\n", f"status {want_status}"
    said = after[len(head):-len(tail)] if after.startswith(head) and after.endswith(tail) else None
    if said is None or (said and (shell_says not in said or said.count("\n") != 1)) or (
            not said and shell_says):
        problems.append("the pane is not as it was")
    return problems


def quit_restores_terminal(case):
    return leaves_terminal(case, lambda pane: pane.keys("q"), 0)


def signals_restore_terminal(case):
    problems = []
    # What the launcher's shell says of a program that the signal ended.
    for number, says in ((signal.SIGTERM, "Terminated"), (signal.SIGHUP, "Hangup"),
                         (signal.SIGQUIT, "Quit"), (signal.SIGUSR1, "User defined signal 1"),
                         (signal.SIGALRM, "Alarm clock")):
        problems += [f"{number.name}: {p}" for p in leaves_terminal(
            case, lambda pane: os.kill(pane.process(case.live_binary), number), 128 + number,
            says)]
    return problems


def repaint_clears_other_text(case):
    case.view()
    with open(case.pane.tty, "w") as tty:
        tty.write("\x1b[12;5HSTRAY TEXT")
    case.pane.wait("the stray text", lambda: "STRAY TEXT" in case.pane.text())
    case.pane.keys("C-l")
    case.pane.wait("a repainted screen", lambda: "STRAY TEXT" not in case.pane.text() and
                   Screen(case.pane).rows)
    return []


def root_ignores_customer_terminfo(case):
    """A customer's TERMINFO and ~/.terminfo, which su without "-" hands to
    root, describe the pane's terminal with a title-setting escape in the
    alternate screen's string; root's view never sends it."""
    source = subprocess.run(["infocmp", "-x", "tmux-256color"], check=True, capture_output=True,
                            text=True).stdout
    source = re.sub(r"smcup=([^,]*),", r"smcup=\\E]0;PLANTED-TITLE\\007\1,", source)
    planted = os.path.join(case.work, "customer")
    for folder in (os.path.join(planted, "terminfo"), os.path.join(planted, ".terminfo")):
        os.makedirs(folder)
        # tic writes where TERMINFO says, never into the tester's home.
        subprocess.run(["env", f"TERMINFO={folder}", f"HOME={planted}", "tic", "-x", "-o", folder,
                        "-"], input=source, check=True, text=True, capture_output=True)
        if not os.listdir(folder):
            raise AssertionError(f"tic wrote nothing into {folder}")
    case.view(wrapper=["env", f"TERMINFO={planted}/terminfo", f"TERMINFO_DIRS={planted}/terminfo",
                       f"HOME={planted}"])
    with open(case.pane.raw, "rb") as f:
        raw = f.read()
    return ["the customer's escape reached root's terminal"] if b"PLANTED-TITLE" in raw else []


def detail_follows_its_account(case):
    _, rows = case.view("-d", "1")
    case.pane.keys("Down")
    case.pane.keys("Down")
    case.pane.keys("Enter")
    name = rows[2][0]
    case.pane.wait("the detail", lambda: f"account {name} " in case.pane.text())
    # The selected account goes to the top, the others move down a row.
    to_the_top(case, name)
    case.pane.wait("the new snapshot read", lambda: "300%!" in case.pane.text(), timeout=5)
    show(case.pane, f"detail of {name} after the change")
    if f"account {name} " not in case.pane.text():
        return [f"the detail no longer shows {name}"]
    case.pane.keys("q")
    case.pane.wait("the table", lambda: (t := Screen(case.pane)).rows and t)
    screen = Screen(case.pane)
    return [] if screen.rows[0][0] == name else [f"the selection is not on {name} at the top"]


def as_uid(uid):
    return ["setpriv", f"--reuid={uid}", f"--regid={uid}", "--clear-groups", "--"]


def uid_of(server, name):
    with open(server.path("/etc/passwd")) as f:
        return next(int(line.split(":")[2]) for line in f if line.split(":")[0] == name)


def end_user_sees_own_row(case):
    uid = uid_of(case.server, "user0004")
    _, rows = case.view(wrapper=as_uid(uid))
    show(case.pane, f"uid {uid}")
    return [] if [row[0] for row in rows] == ["user0004"] else [f"uid {uid} sees {rows}"]


def reseller_sees_his_accounts(case):
    wrapper = as_uid(uid_of(case.server, "res1"))
    _, rows = case.view("--for-reseller", "res1", wrapper=wrapper)
    show(case.pane, "res1")
    want = usernames(case.report("--for-reseller", "res1", "--max", "1000000", wrapper=wrapper))
    got = [row[0] for row in rows]
    return [] if want and got == want else [f"res1 sees {got}, the report lists {want}"]


def add_hostile_account(server):
    """An account whose domain, given by the control panel, clears the
    screen and sets the clipboard; it takes the most CPU, so comes first."""
    with open(server.path("/etc/passwd"), "a") as f:
        f.write(f"hostile:x:{HOSTILE_UID}:{HOSTILE_UID}::/home/hostile:/bin/bash\n")
    panel = server.load(PANEL)
    panel["users"].append({"uid": HOSTILE_UID, "username": "hostile", "domain": HOSTILE_DOMAIN,
                           "reseller": "res1", "email": "hostile@mail.example",
                           "locale": "en_US", "display_name": "Account hostile"})
    server.save(PANEL, panel)
    snapshot = server.load(SNAPSHOT)
    figures = {"cpu": {"all": 150.0, "mysql": 1.0}, "io": {"all": 2048.0, "mysql": 512.0},
               "iops": 3.0, "ep": 1.0, "mem": 1048576.0, "pno": 2.0}
    limits = {"cpu": {"all": 100.0, "mysql": "-"}, "io": {"all": 1048576.0, "mysql": "-"},
              "iops": 1024.0, "ep": 20.0, "mem": 1073741824.0, "pno": 100.0}
    snapshot["users"].append({"id": HOSTILE_UID, "username": "hostile",
                              "usage": figures, "limit": limits})
    server.save(SNAPSHOT, snapshot)


def hostile_domain_is_text(case):
    add_hostile_account(case.server)
    _, rows = case.view()
    case.pane.keys("Enter")
    detail = case.pane.wait("the detail", lambda: "any key: back" in (t := case.pane.text()) and t)
    escapes = case.pane.text(escapes=True)
    show(case.pane, "detail of hostile")
    shown = HOSTILE_DOMAIN.replace("\x1b", "\ufffd").replace("\x07", "\ufffd")
    problems = [] if rows[0][0] == "hostile" and rows[0][1].startswith(shown[:10]) else [
        f"the first row is {rows[0]}"]
    if f"domain {shown}  reseller" not in detail:
        problems.append("the detail does not show the domain as text")
    if "\x1b[2J" in escapes or "\x1b]52" in escapes:
        problems.append("capture-pane -e holds the sequences")
    if case.pane.run("list-buffers"):
        problems.append("the clipboard sequence reached the terminal")
    with open(case.pane.raw, "rb") as f:
        raw = f.read()
    if b"SGVsbG8=" not in raw:
        problems.append("the pane's output was not recorded")
    if b"\x1b]52" in raw:
        problems.append("the view wrote the clipboard sequence")
    return problems


def to_the_top(case, name):
    """A new snapshot in which the account `name` uses 300% of its CPU limit,
    put in place inside the view's own mounts as the statistics service
    does: written beside and renamed."""
    snapshot = case.server.load(SNAPSHOT)
    account = next(u for u in snapshot["users"] if u.get("username") == name)
    account["usage"]["cpu"]["all"] = account["limit"]["cpu"]["all"] * 3
    changed = os.path.join(case.work, "changed.json")
    with open(changed, "w") as f:
        json.dump(snapshot, f)
    view = case.pane.process(case.live_binary)
    subprocess.run(["nsenter", "-t", str(view), "-m", "sh", "-c",
                    f'cp "$1" "$2.new" && mv "$2.new" "$2"', "sh", changed, SNAPSHOT], check=True)


def openings(trace):
    with open(trace) as f:
        return sum(f'openat(AT_FDCWD, "{SNAPSHOT}"' in line for line in f)


def follows_snapshot_changes(case):
    trace = os.path.join(case.work, "openat.trace")
    _, rows = case.view("-d", "1", wrapper=["strace", "-f", "-e", "trace=openat", "-o", trace])
    time.sleep(3.5)  # three delays with the snapshot unchanged
    unchanged = openings(trace)
    # The last account shoots to the top.
    last = rows[-1][0]
    to_the_top(case, last)
    started = time.monotonic()
    case.pane.wait("the changed account on top",
                   lambda: (t := Screen(case.pane)).rows and t.rows[0][0] == last
                   and t.rows[0][3] == "300%!", timeout=2.5)
    print(f"the view showed the change after {time.monotonic() - started:.1f} s")
    time.sleep(2)
    after = openings(trace)
    show(case.pane, "after the change")
    print(f"openat of {SNAPSHOT}: {unchanged} while unchanged, {after} in all")
    return [] if (unchanged, after) == (1, 2) else [
        f"the snapshot was opened {unchanged} times unchanged, {after} in all (want 1, 2)"]


def batch_figures(text):
    lines = text.split("\n")
    header = lines.index(next(line for line in lines if line.startswith("USER ")))
    return [line.split(" ") for line in lines[header + 1:] if line]


def expected_row(user):
    def figure(value):
        return value if isinstance(value, (int, float)) and not isinstance(value, bool) else "-"
    row = [re.sub(r"[\x00-\x20\x7f-\x9f]", "\ufffd", user.get(k) or "-")
           for k in ("username", "domain", "reseller")] + [user["id"]]
    for name, part in FIGURES:
        for side in ("usage", "limit"):
            value = user[side][name]
            row.append(figure(value[part] if part else value))
    return row + [int(bool(user.get("restricted")))]


def batch_matches_report(case):
    report = case.report("--max", "1000000")
    want = [expected_row(u) for u in report["users"]]
    problems = []
    for args in (["-b"], []):
        run = subprocess.run([case.server.launcher, case.server.root, "--", case.live_binary,
                              *args], capture_output=True, text=True, stdin=subprocess.DEVNULL,
                             timeout=60)
        rows = batch_figures(run.stdout)
        print(f"batch {args}: status {run.returncode}, {len(rows)} rows, first: {rows[:1]}")
        got = [[w if i < 3 or w == "-" else (int(w) if i in (3, len(r) - 1) else float(w))
                for i, w in enumerate(r)] for r in rows]
        if run.returncode != 0 or not run.stdout.startswith("# vorlane-top-live iteration 1 "):
            problems.append(f"{args}: status {run.returncode}, output {run.stdout[:80]!r}")
        if got != want:
            wrong = next((g, w) for g, w in itertools.zip_longest(got, want) if g != w)
            problems.append(f"{args}: {len(got)} rows for {len(want)}, first wrong: {wrong}")
    return problems


CASES = {
    "first-screen": first_screen_in_report_order,
    "sort-step": sort_steps_to_io,
    "filter": filter_to_one_row,
    "detail": detail_lists_domains,
    "narrow-window": narrow_window_keeps_shares,
    "quit": quit_restores_terminal,
    "signals": signals_restore_terminal,
    "repaint": repaint_clears_other_text,
    "selection": detail_follows_its_account,
    "root-terminfo": root_ignores_customer_terminfo,
    "end-user": end_user_sees_own_row,
    "reseller": reseller_sees_his_accounts,
    "hostile-domain": hostile_domain_is_text,
    "snapshot-change": follows_snapshot_changes,
    "batch": batch_matches_report,
}


def main():
    name, tools = sys.argv[1], sys.argv[2:6]
    skip_unless_root()
    skip_without_tmux()
    work = tempfile.mkdtemp(prefix="vt-live.")
    os.chmod(work, 0o755)
    case = None
    try:
        case = Case(tools, work)
        problems = CASES[name](case)
    finally:
        if case:
            case.close()
        shutil.rmtree(work, ignore_errors=True)
    return verdict(problems)


if __name__ == "__main__":
    sys.exit(main())
