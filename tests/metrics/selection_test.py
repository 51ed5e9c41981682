#!/usr/bin/env python3
"""The bounded selection against --all-accounts, on generated servers with
MySQL limits, the biggest of them over the cap: on each, the top 10 of every
usage in the default file equals that of the whole server, so a fleet-wide
topk(k) with k up to 10 is exact; the per-server counts (near a limit, MySQL
limits included, restricted, selected before the cap) are those of the
whole server; and under the cap no account that is only near a limit is
exported while a restricted one is left out.

    selection_test.py METRICS_BINARY REPORT_BINARY GEN_SERVER LAUNCHER"""
import os, re, shutil, sys, tempfile

from server import Server, skip_unless_root, verdict

SAMPLE = re.compile(r'^(\w+)(?:\{(.*)\})? (\S+)$', re.M)
TOP = 10


def read(path):
    """{metric: {labels: value}} of a metrics file."""
    metrics = {}
    with open(path) as f:
        for name, labels, value in SAMPLE.findall(f.read()):
            metrics.setdefault(name, {})[labels] = float(value)
    return metrics


def uid(labels):
    return re.match(r'uid="(\d+)"', labels)[1]


def accounts(metrics):
    """{uid: {figure: (usage, limit)}} and the restricted uids."""
    figures = {}
    for name, samples in metrics.items():
        kind = re.fullmatch(r"vorlane_account_(\w+)_(usage|limit)", name)
        for labels, value in samples.items() if kind else ():
            pair = figures.setdefault(uid(labels), {}).setdefault(kind[1], [None, None])
            pair[kind[2] == "limit"] = value
    restricted = {uid(labels) for labels, value in
                  metrics["vorlane_account_mysql_restricted"].items() if value == 1}
    return figures, restricted


def top(figures, figure):
    return sorted((pair[0] for pair in (f.get(figure) for f in figures.values())
                   if pair and pair[0] is not None), reverse=True)[:TOP]


def check(name, bounded, every):
    problems = []
    figures, restricted = accounts(every)
    exported, exported_restricted = accounts(bounded)
    names = {f for account in figures.values() for f in account}
    for figure in sorted(names):
        if top(exported, figure) != top(figures, figure):
            problems.append(f"{name}: the top {TOP} of {figure} differs from the whole server's")
    near = {f: {u for u, a in figures.items() if f in a and a[f][1] and a[f][1] > 0
                and a[f][0] is not None and a[f][0] >= 0.9 * a[f][1]} for f in names}
    near_any = set().union(*near.values())
    # Every exported account was selected, and every top account exported:
    # the selection is the exported ones with the restricted and near ones.
    counts = {f'limit="{f}"': len(near[f]) for f in names}
    want = {"near": counts, "restricted": len(restricted),
            "selected": len(set(exported) | restricted | near_any)}
    got = {"near": {k: bounded["vorlane_accounts_near_limit"].get(k) for k in counts},
           "restricted": bounded["vorlane_accounts_mysql_restricted"][""],
           "selected": bounded["vorlane_accounts_selected"][""]}
    if got != want or len(counts) != 8:
        problems.append(f"{name}: the counts are {got}, the whole server's {want}")
    tops = {u for f in names for u, a in exported.items()
            if f in a and a[f][0] is not None and a[f][0] >= top(figures, f)[-1]}
    left_out = restricted - set(exported)
    near_only = set(exported) - tops - restricted
    if left_out and near_only:
        problems.append(f"{name}: {len(near_only)} accounts only near a limit are exported, "
                        f"{len(left_out)} restricted ones are not")
    print(f"{name}: {len(figures)} accounts, {len(exported)} exported of {got['selected']:.0f} "
          f"selected; restricted {len(exported_restricted)} of {len(restricted)}; near a limit "
          f"{len(set(exported) & near_any)} of {len(near_any)}")
    return problems


def main():
    tools = sys.argv[1:5]
    skip_unless_root()
    work = tempfile.mkdtemp(prefix="vt-selection.")
    problems = []
    try:
        for users, seed in ((60, 1), (1000, 2), (6000, 3)):
            server = Server(os.path.join(work, str(users)), tools, "--users", str(users),
                            "--seed", str(seed), "--mode", "per-account")
            files = []
            for args in ((), ("--all-accounts",)):
                files.append(os.path.join(work, f"{users}{''.join(args)}.prom"))
                run = server.metrics(*args, "--textfile", files[-1])
                if run.returncode != 0:
                    raise AssertionError(f"vorlane-top-metrics {args} failed: {run.stderr}")
            problems += check(f"{users} users", read(files[0]), read(files[1]))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return verdict(problems)


if __name__ == "__main__":
    sys.exit(main())
