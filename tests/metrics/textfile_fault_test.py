#!/usr/bin/env python3
"""The metrics file survives a failed write whole: a run of
vorlane-top-metrics that cannot replace it leaves the old file byte for
byte, and no temporary file. One fault per run:

    textfile_fault_test.py FAULT METRICS_BINARY REPORT_BINARY GEN_SERVER LAUNCHER

  read-only-directory   the directory is a read-only bind mount
  full-file-system      the directory is a 16 KiB tmpfs, too small for the new file
  killed-before-rename  the writer is killed by SIGKILL when it renames its
                        temporary file; the next run removes that file and
                        writes the metrics file
  overlapping-run       a second run while the first still writes leaves the
                        first's temporary file alone: both succeed

The failed runs exit with status 1 and an "Error: " line. The test runs in
a mount namespace of its own, so that its mounts vanish with it."""
import os, re, shutil, signal, subprocess, sys, tempfile, time

from server import Server, TEMPORARY, TEXTFILE_NAME, in_private_mounts, skip_unless_root, verdict

# SIGKILL on entering the first rename: the temporary file is complete, the
# metrics file not yet replaced.
KILL_AT_RENAME = ["strace", "-f", "-qq", "-o", "/dev/null",
                  "-e", "trace=rename,renameat,renameat2",
                  "-e", "inject=rename,renameat,renameat2:signal=SIGKILL"]

# The first rename waits two seconds, long enough for another run.
DELAY_RENAME = KILL_AT_RENAME[:-1] + ["inject=rename,renameat,renameat2:delay_enter=2000000"]


def mount(*args):
    subprocess.run(["mount", *args], check=True)


def without_duration(text):
    return re.sub(r"^vorlane_metrics_duration_seconds .*\n", "", text, flags=re.M)


def run_case(fault, server, directory):
    textfile = os.path.join(directory, TEXTFILE_NAME)
    if fault == "full-file-system":
        mount("-t", "tmpfs", "-o", "size=16k,mode=0755", "tmpfs", directory)
    # The old file: a small export. The failing run's is every account.
    old_run = server.metrics("--top", "1", "--max-accounts", "1", "--textfile", textfile)
    if old_run.returncode != 0:
        return [f"the first run failed ({old_run.returncode}): {old_run.stderr}"]
    with open(textfile, "rb") as f:
        old = f.read()
    if fault == "read-only-directory":
        mount("--bind", directory, directory)
        mount("-o", "remount,bind,ro", directory)

    if fault == "overlapping-run":
        return overlapping_runs(server, directory, textfile)
    wrapper = KILL_AT_RENAME if fault == "killed-before-rename" else []
    run = server.metrics("--all-accounts", "--textfile", textfile, wrapper=wrapper)
    print(f"failing run: status {run.returncode}, stderr {run.stderr!r}")
    with open(textfile, "rb") as f:
        problems = [] if f.read() == old else ["the old metrics file changed"]
    names = sorted(os.listdir(directory))
    leftovers = [n for n in names if TEMPORARY.fullmatch(n)]
    if fault != "killed-before-rename":
        if run.returncode != 1 or not re.search(r"^Error: ", run.stderr, re.M):
            problems.append("the failed run did not exit 1 with an \"Error: \" line")
        if names != [TEXTFILE_NAME]:
            problems.append(f"the directory holds {names} after the failed run")
        return problems

    if run.returncode != 128 + signal.SIGKILL or len(leftovers) != 1:
        return problems + [f"the writer was not killed between its temporary file and the "
                           f"rename (status {run.returncode}, directory {names})"]
    # Another program's file of a similar name stays.
    neighbour = os.path.join(directory, ".vorlane-top-metrics.tmp")
    open(neighbour, "w").close()
    after = server.metrics("--all-accounts", "--textfile", textfile)
    printed = server.metrics("--all-accounts")
    print(f"next run: status {after.returncode}, stderr {after.stderr!r}")
    names = sorted(os.listdir(directory))
    if after.returncode != 0 or names != sorted([TEXTFILE_NAME, os.path.basename(neighbour)]):
        problems.append(f"after the next run (status {after.returncode}) the directory "
                        f"holds {names}, the killed run left {leftovers}")
    with open(textfile) as f:
        if without_duration(f.read()) != without_duration(printed.stdout):
            problems.append("the next run's file differs from its standard output")
    return problems


def overlapping_runs(server, directory, textfile):
    # LeakSanitizer cannot run under ptrace: a sanitized writer checks no
    # leaks while strace holds it.
    env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
    first = subprocess.Popen([server.launcher, server.root, "--", *DELAY_RENAME,
                              server.metrics_binary, "--all-accounts", "--textfile", textfile],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
    try:
        for _ in range(100):
            if any(TEMPORARY.fullmatch(n) for n in os.listdir(directory)):
                break
            time.sleep(0.05)
        second = server.metrics("--textfile", textfile)
    finally:
        _, first_err = first.communicate(timeout=60)
    print(f"first run: status {first.returncode}, second run: status {second.returncode}")
    problems = []
    if first.returncode != 0 or second.returncode != 0:
        problems.append(f"a run failed: {first_err!r} {second.stderr!r}")
    if sorted(os.listdir(directory)) != [TEXTFILE_NAME]:
        problems.append(f"the directory holds {sorted(os.listdir(directory))}")
    return problems


def main():
    fault, tools = sys.argv[1], sys.argv[2:6]
    skip_unless_root()
    in_private_mounts()
    work = tempfile.mkdtemp(prefix="vt-textfile-fault.")
    directory = os.path.join(work, "textfile")
    os.mkdir(directory)
    try:
        server = Server(os.path.join(work, "server"), tools, "--users", "300")
        problems = run_case(fault, server, directory)
    finally:
        subprocess.run(["umount", "--recursive", "--quiet", directory])
        shutil.rmtree(work, ignore_errors=True)
    return verdict(problems)


if __name__ == "__main__":
    sys.exit(main())
