#!/usr/bin/env python3
"""The options that --help prints are exactly those of the man page and of
the bash, zsh and fish completions; the completion files parse; and the bash
completion, driven through COMP_WORDS and COMP_CWORD, completes option names,
the sort names after --order-by and user names after --username.

    check_options.py BINARY LAUNCHER SOURCE_DIR

Runs the binary through the launcher (root) with a stand-in panel helper,
since --help is printed only where the KOB check passes."""
import os, re, subprocess, sys, tempfile

binary, launcher, source = sys.argv[1:4]
if os.geteuid() != 0:
    print("skipped: the check runs the binary through the launcher, which needs root")
    sys.exit(77)
failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {sorted(got)}, want {sorted(want)}")


with tempfile.TemporaryDirectory() as server:
    helper = os.path.join(server, "usr/share/kob-stats3/scripts/kobstats-plexa-helper")
    os.makedirs(os.path.dirname(helper))
    with open(helper, "w") as f:
        f.write("#!/bin/sh\necho true\n")
    os.chmod(helper, 0o755)
    os.chmod(server, 0o755)
    help_text = subprocess.run([launcher, server, "--", binary, "--help"], check=True,
                               capture_output=True, text=True).stdout
help_options = set(re.findall(r"^\s+(?:(-\w),)?(--[\w-]+)", help_text, re.M))
help_options = {o for pair in help_options for o in pair if o}
if len(help_options) < 10:
    failures.append(f"--help lists too few options: {help_text}")


def read(name):
    with open(os.path.join(source, name)) as f:
        return f.read()


man = read("docs/vorlane-top.1.scd")
check("man page", set(re.findall(r"\*(--?[\w-]+)\*", "\n".join(
    line for line in man.splitlines() if line.startswith("*-")))), help_options)
bash = read("completions/vorlane-top.bash")
check("bash completion", set(re.search(r'options="([^"]*)"', bash).group(1).split()), help_options)
zsh = read("completions/_vorlane-top")
check("zsh completion", {o for pair in re.findall(r"\{(-\w)\+?,(--[\w-]+)=?\}", zsh) for o in pair}
      | set(re.findall(r"'(--[\w-]+)\[", zsh)), help_options)
fish = read("completions/vorlane-top.fish")
check("fish completion", {"-" + o for o in re.findall(r" -s (\w)", fish)}
      | {"--" + o for o in re.findall(r" -l ([\w-]+)", fish)}, help_options)

for command in (["bash", "-n"], ["zsh", "-n"], ["fish", "--no-execute"]):
    name = {"bash": "vorlane-top.bash", "zsh": "_vorlane-top", "fish": "vorlane-top.fish"}[command[0]]
    if subprocess.run(command + [os.path.join(source, "completions", name)]).returncode != 0:
        failures.append(f"{command[0]} does not parse {name}")


def complete(*words):
    script = 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _vorlane_top; ' \
             'printf "%s\\n" "${COMPREPLY[@]}"'
    out = subprocess.run(["bash", "-c", script, "-", os.path.join(source, "completions/vorlane-top.bash"),
                          *words], check=True, capture_output=True, text=True).stdout
    return [w for w in out.split("\n") if w]


check("--order-by <TAB>", set(complete("vorlane-top", "--order-by", "")),
      {"cpu", "mysql_cpu", "io", "mysql_io", "iops", "ep", "nproc", "pmem"})
check("--order-by=m<TAB>", set(complete("vorlane-top", "--order-by", "=", "m")), {"mysql_cpu", "mysql_io"})
check("--do<TAB>", set(complete("vorlane-top", "--do")), {"--domain", "--domains"})
if "root" not in complete("vorlane-top", "--username", "ro"):
    failures.append("--username ro does not complete to root")

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
