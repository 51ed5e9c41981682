#!/usr/bin/env python3
"""For each command, the options that --help prints are exactly those of its
man page and of its bash, zsh and fish completions; the completion files
parse; and the bash completions, driven through COMP_WORDS and COMP_CWORD,
complete option names, the sort names after --order-by, user names after
--username and file names after --textfile.

    check_options.py BINARY LAUNCHER SOURCE_DIR METRICS_BINARY LIVE_BINARY

Runs the binaries through the launcher (root) with a stand-in panel helper,
since vorlane-top prints --help only where the KOB check passes."""
import os, re, subprocess, sys, tempfile

binary, launcher, source, metrics_binary, live_binary = sys.argv[1:6]
if os.geteuid() != 0:
    print("skipped: the check runs the binary through the launcher, which needs root")
    sys.exit(77)
failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {sorted(got)}, want {sorted(want)}")


def help_options(server, command, fewest):
    text = subprocess.run([launcher, server, "--", command, "--help"], check=True,
                          capture_output=True, text=True).stdout
    found = set(re.findall(r"^\s+(?:(-\w),)?(--[\w-]+)", text, re.M))
    found = {o for pair in found for o in pair if o}
    if len(found) < fewest:
        failures.append(f"{command} --help lists too few options: {text}")
    return found


def read(name):
    with open(os.path.join(source, name)) as f:
        return f.read()


def documented_options(name):
    """The options of the man page and of each completion of command NAME."""
    man = read(f"docs/{name}.1.scd")
    zsh = read(f"completions/_{name}")
    fish = read(f"completions/{name}.fish")
    return {
        "man page": set(re.findall(r"\*(--?[\w-]+)\*", "\n".join(
            line for line in man.splitlines() if line.startswith("*-")))),
        "bash completion": set(re.search(r'options="([^"]*)"', read(f"completions/{name}.bash"))
                               .group(1).split()),
        "zsh completion": {o for pair in re.findall(r"\{(-\w)\+?,(--[\w-]+)=?\}", zsh) for o in pair}
        | set(re.findall(r"'(--[\w-]+)=?\[", zsh)),
        "fish completion": {"-" + o for o in re.findall(r" -s (\w)", fish)}
        | {"--" + o for o in re.findall(r" -l ([\w-]+)", fish)},
    }


with tempfile.TemporaryDirectory() as server:
    helper = os.path.join(server, "usr/share/kob-stats3/scripts/kobstats-plexa-helper")
    os.makedirs(os.path.dirname(helper))
    with open(helper, "w") as f:
        f.write("#!/bin/sh\necho true\n")
    os.chmod(helper, 0o755)
    os.chmod(server, 0o755)
    top_help = help_options(server, binary, 10)
    metrics_help = help_options(server, metrics_binary, 7)
    live_help = help_options(server, live_binary, 10)

for name, want in (("vorlane-top", top_help), ("vorlane-top-metrics", metrics_help),
                   ("vorlane-top-live", live_help)):
    documents = documented_options(name)
    for what, got in documents.items():
        check(f"{name} {what}", got, want)
    for command, file in ((["bash", "-n"], f"{name}.bash"), (["zsh", "-n"], f"_{name}"),
                          (["fish", "--no-execute"], f"{name}.fish")):
        if subprocess.run(command + [os.path.join(source, "completions", file)]).returncode != 0:
            failures.append(f"{command[0]} does not parse {file}")


def complete(name, *words):
    function = "_" + name.replace("-", "_")
    script = f'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); {function}; ' \
             'printf "%s\\n" "${COMPREPLY[@]}"'
    out = subprocess.run(["bash", "-c", script, "-", os.path.join(source, f"completions/{name}.bash"),
                          name, *words], check=True, capture_output=True, text=True).stdout
    return [w for w in out.split("\n") if w]


check("--order-by <TAB>", set(complete("vorlane-top", "--order-by", "")),
      {"cpu", "mysql_cpu", "io", "mysql_io", "iops", "ep", "nproc", "pmem"})
check("--order-by=m<TAB>", set(complete("vorlane-top", "--order-by", "=", "m")), {"mysql_cpu", "mysql_io"})
check("live --order-by=m<TAB>", set(complete("vorlane-top-live", "--order-by", "=", "m")),
      {"mysql_cpu", "mysql_io"})
check("--do<TAB>", set(complete("vorlane-top", "--do")), {"--domain", "--domains"})
if "root" not in complete("vorlane-top", "--username", "ro"):
    failures.append("--username ro does not complete to root")
with tempfile.TemporaryDirectory() as directory:
    metrics_file = os.path.join(directory, "vorlane-top.prom")
    open(metrics_file, "w").close()
    check("--textfile DIR/v<TAB>", set(complete("vorlane-top-metrics", "--textfile",
                                                os.path.join(directory, "v"))), {metrics_file})

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
