#!/usr/bin/env python3
"""The README names every Debian package that scripts/install-deps installs
by default."""
import os, re, sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def main():
    with open(os.path.join(ROOT, "scripts", "install-deps")) as f:
        block = re.search(r'^  ""\)\n    packages=\((.*?)\) ;;', f.read(), re.M | re.S)[1]
    installed = {word for line in block.splitlines()
                 for word in line.split("#")[0].split()}
    with open(os.path.join(ROOT, "README.md")) as f:
        readme = f.read()
    paragraph = re.search(r"`scripts/install-deps` \(as root\) installs.*?\n\n", readme, re.S)[0]
    missing = sorted(installed - set(re.findall(r"`([a-z0-9][a-z0-9.+-]*)`", paragraph)))
    for package in missing:
        print(f"FAIL: the README does not name {package}")
    print(f"install-deps installs {len(installed)} packages; the README names "
          f"{len(installed) - len(missing)} of them")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
