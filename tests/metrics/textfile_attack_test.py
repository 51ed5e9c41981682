#!/usr/bin/env python3
"""Root's metrics file stays where it is meant to and with its readers,
whatever the owner of the parent directory does. Debian's prometheus user
owns /var/lib/prometheus, the parent of node_exporter's textfile directory;
here an unprivileged attacker owns the same place in a layout of the test's
own:

    WORK/lib/prometheus/node-exporter/vorlane-top.prom
         root  attacker   root 0755

One attack per run:

    textfile_attack_test.py ATTACK METRICS_BINARY REPORT_BINARY GEN_SERVER LAUNCHER

  symlinked-directory  the attacker replaces node-exporter with a link to a
                       root-only directory
  symlinked-ancestor   the attacker, owning lib, replaces prometheus with a
                       link to a root-only tree holding a node-exporter
  planted-names        the attacker may write node-exporter and plants links,
                       FIFOs, directories and files at the temporary names of
                       pids 1-4096 and at random ones, and holds one locked
  file-permissions     an end user reads the file, the prometheus user too
  missing-group        a run with --group naming no group
  foreign-directory    the attacker, owning lib/prometheus, puts a directory of
                       his own, 0777, in the place of node-exporter; then
                       node-exporter is root's but writable by his group
  inherited-acl        node-exporter carries a default ACL that lets the
                       attacker read what is created in it
  mount-in-cleanup     a directory mounted at a temporary name holds a file
  append-only          node-exporter is append-only

A link on the path fails the run: exit status 1, an "Error: " line naming
the path, and no file written anywhere; so do a directory that root does
not own or that others may write (the line names the owner or the mode)
and an append-only one, which would keep the temporary file of a failed
run. The new file carries no ACL, and the cleanup never enters a mount. The planted names stop no run: the
cleanup removes them but the locked one, leaves the links' targets and the
names of other patterns alone, and waits on no FIFO. The file is 0640
root:prometheus, which the prometheus user reads and an end user does not; a
missing group fails the run and keeps the old file byte for byte. The layout
lives on a tmpfs of the test's own mount namespace."""
import array, fcntl, grp, os, shutil, stat, struct, subprocess, sys, tempfile

from server import Server, TEMPORARY, TEXTFILE_NAME, in_private_mounts, skip_unless_root, verdict

ATTACKER = 65534  # nobody, with the group nogroup
FS_IOC_GETFLAGS, FS_IOC_SETFLAGS, FS_APPEND_FL = 0x80086601, 0x40086602, 0x20
PLANTED_PIDS = 4096
SECRET = b"root only\n"
# Names of other patterns, which the cleanup leaves alone.
NEIGHBOURS = [".vorlane-top-metrics.tmp", "x.vorlane-top-metrics.1.tmp",
              ".vorlane-top-metrics.1.tmpx", ".vorlane-top-metrics.1F.tmp",
              ".vorlane-top-metrics.-1.tmp", f".vorlane-top-metrics.{'0' * 33}.tmp"]

# Run as the attacker: DIRECTORY VAULT HEX-NAME..., plants at the temporary
# names of pids 1-4096 and of the hex names, in turn: a link to a root-only
# file, a link to a root-only directory, a FIFO, an empty directory, a
# directory holding a link to the root-only directory, a regular file.
PLANT = f"""
import os, sys
os.chdir(sys.argv[1])
vault = sys.argv[2]
middles = [str(pid) for pid in range(1, {PLANTED_PIDS} + 1)] + sys.argv[3:]
for i, middle in enumerate(middles):
    name = ".vorlane-top-metrics." + middle + ".tmp"
    kind = i % 6
    if kind == 0: os.symlink(vault + "/secret", name)
    elif kind == 1: os.symlink(vault, name)
    elif kind == 2: os.mkfifo(name)
    elif kind in (3, 4): os.mkdir(name)
    else: open(name, "w").close()
    if kind == 4: os.symlink(vault, name + "/inside")
for name in {NEIGHBOURS!r}:
    open(name, "w").close()
"""
# Holds an exclusive flock on the file argv[1] until its standard input closes.
HOLD = ("import fcntl, sys\nf = open(sys.argv[1], 'w')\nfcntl.flock(f, fcntl.LOCK_EX)\n"
        "print('locked', flush=True)\nsys.stdin.read()")


def setpriv(uid, gid, groups="--clear-groups"):
    return ["setpriv", f"--reuid={uid}", f"--regid={gid}", groups, "--"]


def as_user(uid, gid, *command, groups="--clear-groups"):
    return subprocess.run([*setpriv(uid, gid, groups), *command], capture_output=True, timeout=60)


def as_attacker(*command):
    run = as_user(ATTACKER, ATTACKER, *command)
    if run.returncode != 0:
        raise AssertionError(f"the attacker's {command[:3]} failed: {run.stderr!r}")


def layout(work):
    """The textfile directory, and WORK/vault: a root-only directory holding
    a root-only file."""
    directory = os.path.join(work, "lib", "prometheus", "node-exporter")
    os.makedirs(directory)
    os.chown(os.path.dirname(directory), ATTACKER, ATTACKER)
    vault = os.path.join(work, "vault")
    os.mkdir(vault, 0o700)
    with open(os.path.join(vault, "secret"), "wb") as f:
        f.write(SECRET)
    os.chmod(os.path.join(vault, "secret"), 0o600)
    return directory, vault


def said(run):
    return " / ".join(line.strip() for line in run.stderr.splitlines()) or "nothing"


def failed_with_error(run, textfile):
    return run.returncode == 1 and "\nError: " in "\n" + run.stderr and textfile in run.stderr


def symlinked(attack, server, work):
    directory, vault = layout(work)
    textfile = os.path.join(directory, TEXTFILE_NAME)
    if attack == "symlinked-directory":
        moved = directory
    else:
        moved = os.path.dirname(directory)
        os.chown(os.path.dirname(moved), ATTACKER, ATTACKER)
        os.mkdir(os.path.join(vault, "node-exporter"), 0o700)
    as_attacker("sh", "-c", 'mv "$1" "$1.old" && ln -s "$2" "$1"', "sh", moved, vault)
    run = server.metrics("--textfile", textfile)
    written = [os.path.relpath(os.path.join(parent, name), work)
               for parent, dirs, files in os.walk(work) for name in dirs + files
               if name == TEXTFILE_NAME or TEMPORARY.fullmatch(name)]
    print(f"{attack}: status {run.returncode}, files written: {written or 'none'}, "
          f"stderr: {said(run)}")
    problems = [] if failed_with_error(run, textfile) else [
        "the run did not exit 1 with an \"Error: \" line naming the path"]
    return problems + [f"the run wrote {written}"] * bool(written)


def planted_names(server, work):
    directory, vault = layout(work)
    os.chown(directory, 0, ATTACKER)
    os.chmod(directory, 0o775)
    textfile = os.path.join(directory, TEXTFILE_NAME)
    hex_names = [os.urandom(8).hex() for _ in range(60)] + ["0", "f" * 32, "deadbeef"]
    as_attacker(sys.executable, "-c", PLANT, directory, vault, *hex_names)
    locked = f".vorlane-top-metrics.{os.urandom(8).hex()}.tmp"
    holder = subprocess.Popen([*setpriv(ATTACKER, ATTACKER), sys.executable, "-c", HOLD,
                               os.path.join(directory, locked)],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        if holder.stdout.readline() != "locked\n":
            raise AssertionError("the holder did not lock its file")
        # Planted while the attacker could write there; root's directory
        # again for the run, which refuses one that others may write.
        os.chown(directory, 0, 0)
        os.chmod(directory, 0o755)
        planted = sorted(n for n in os.listdir(directory) if TEMPORARY.fullmatch(n))
        try:
            run = server.metrics("--textfile", textfile)
        except subprocess.TimeoutExpired:
            print(f"planted-names: the run hung with {len(planted)} names planted")
            return ["the run hung"]
    finally:
        holder.kill()
        holder.wait()
    names = os.listdir(directory)
    left = sorted(n for n in names if TEMPORARY.fullmatch(n))
    print(f"planted-names: status {run.returncode}, {len(planted)} names planted, "
          f"{len(left)} left, stderr: {said(run)}")
    problems = []
    if run.returncode != 0 or os.path.islink(textfile) or not os.path.isfile(textfile):
        problems.append("the run did not write the file")
    # A directory that still holds something may stay; nothing else but
    # the locked file.
    stayed = [n for n in left if n != locked and not (stat.S_ISDIR(os.lstat(
        os.path.join(directory, n)).st_mode) and os.listdir(os.path.join(directory, n)))]
    if stayed or locked not in left:
        problems.append(f"{len(stayed)} planted names stayed (the first: {stayed[:3]}), "
                        f"the locked file {'stayed' if locked in left else 'went'}")
    with open(os.path.join(vault, "secret"), "rb") as f:
        if (sorted(os.listdir(vault)) != ["secret"] or f.read() != SECRET
                or os.stat(f.fileno()).st_mode & 0o7777 != 0o600):
            problems.append("the links' targets changed")
    if missing := sorted(set(NEIGHBOURS) - set(names)):
        problems.append(f"the cleanup removed {missing}")
    return problems


def end_user(server):
    """The uid of the server's first account."""
    with open(server.path("/etc/passwd")) as f:
        return min(uid for line in f if 1000 <= (uid := int(line.split(":")[2])) < 65534)


def file_permissions(server, work):
    directory, _ = layout(work)
    textfile = os.path.join(directory, TEXTFILE_NAME)
    run = server.metrics("--textfile", textfile)
    if run.returncode != 0:
        return [f"the run failed ({run.returncode}): {run.stderr}"]
    st = os.stat(textfile)
    with open(textfile, "rb") as f:
        text = f.read()
    group = grp.getgrnam("prometheus").gr_gid
    uid = end_user(server)
    reach = as_user(uid, uid, "stat", "-c", "%a", textfile)
    user = as_user(uid, uid, "cat", textfile)
    prometheus = as_user("prometheus", "prometheus", "cat", textfile,
                         groups="--init-groups")
    print(f"file-permissions: mode {st.st_mode & 0o7777:o} uid {st.st_uid} gid {st.st_gid}; "
          f"uid {uid} reads it: {user.returncode == 0}; prometheus reads it: "
          f"{prometheus.returncode == 0}")
    problems = []
    if (st.st_mode & 0o7777, st.st_uid, st.st_gid) != (0o640, 0, group):
        problems.append(f"the file is not 0640 root:prometheus ({group})")
    if reach.returncode != 0:
        problems.append(f"uid {uid} cannot reach the file: {reach.stderr!r}")
    if user.returncode == 0 or b"Permission denied" not in user.stderr:
        problems.append(f"uid {uid} reads the file or fails otherwise: {user.stderr!r}")
    if prometheus.returncode != 0 or prometheus.stdout != text:
        problems.append(f"the prometheus user cannot read the file: {prometheus.stderr!r}")
    return problems


def missing_group(server, work):
    directory, _ = layout(work)
    textfile = os.path.join(directory, TEXTFILE_NAME)
    first = server.metrics("--textfile", textfile)
    if first.returncode != 0:
        return [f"the first run failed ({first.returncode}): {first.stderr}"]
    with open(textfile, "rb") as f:
        old = f.read()
    run = server.metrics("--top", "1", "--group", "no-such-group-xyz", "--textfile", textfile)
    with open(textfile, "rb") as f:
        kept = f.read() == old
    names = sorted(os.listdir(directory))
    print(f"missing-group: status {run.returncode}, old file kept: {kept}, "
          f"directory: {names}, stderr: {said(run)}")
    problems = [] if run.returncode == 1 and "\nError: " in "\n" + run.stderr and (
        "no-such-group-xyz" in run.stderr) else [
        "the run did not exit 1 with an \"Error: \" line naming the group"]
    if not kept or names != [TEXTFILE_NAME]:
        problems.append("the old file changed or a temporary file stayed")
    return problems


def refused(run, textfile, why):
    return run.returncode == 1 and failed_with_error(run, textfile) and why in run.stderr


def foreign_directory(server, work):
    directory, _ = layout(work)
    textfile = os.path.join(directory, TEXTFILE_NAME)
    as_attacker("sh", "-c", 'mv "$1" "$1.old" && mkdir -m 0777 "$1"', "sh", directory)
    foreign = server.metrics("--textfile", textfile)
    print(f"foreign-directory: status {foreign.returncode}, written: "
          f"{os.listdir(directory)}, stderr: {said(foreign)}")
    problems = [] if refused(foreign, textfile, "nobody (uid 65534)") else [
        "the attacker's directory was not refused with its owner named"]
    if os.listdir(directory):
        problems.append(f"the run wrote {os.listdir(directory)} into the attacker's directory")
    os.rmdir(directory)
    os.mkdir(directory)
    os.chown(directory, 0, ATTACKER)
    os.chmod(directory, 0o775)
    shared = server.metrics("--textfile", textfile)
    print(f"group-writable: status {shared.returncode}, stderr: {said(shared)}")
    if not refused(shared, textfile, "(mode 0775)") or os.listdir(directory):
        problems.append("a directory that the attacker's group may write was not refused")
    return problems


def posix_acl(*entries):
    """A POSIX ACL as the kernel's extended attribute holds it: version 2,
    then (tag, permissions, id) entries."""
    return struct.pack("<I", 2) + b"".join(struct.pack("<HHI", *e) for e in entries)


def inherited_acl(server, work):
    directory, _ = layout(work)
    textfile = os.path.join(directory, TEXTFILE_NAME)
    undefined = 0xFFFFFFFF
    # user::rwx user:ATTACKER:r-- group::r-x mask::r-x other::r-x
    os.setxattr(directory, "system.posix_acl_default", posix_acl(
        (0x01, 7, undefined), (0x02, 4, ATTACKER), (0x04, 5, undefined), (0x10, 5, undefined),
        (0x20, 5, undefined)))
    run = server.metrics("--textfile", textfile)
    try:
        acl = os.getxattr(textfile, "system.posix_acl_access")
    except OSError:
        acl = None
    reads = as_user(ATTACKER, ATTACKER, "cat", textfile)
    mode = os.stat(textfile).st_mode & 0o7777 if os.path.exists(textfile) else None
    print(f"inherited-acl: status {run.returncode}, mode {mode and oct(mode)}, access ACL "
          f"{'present' if acl else 'none'}, the attacker reads it: {reads.returncode == 0}")
    problems = [] if run.returncode == 0 and mode == 0o640 else [
        f"the run failed or the mode is not 0640: {said(run)}"]
    if acl or reads.returncode == 0:
        problems.append("the file kept the inherited ACL, which lets the attacker read it")
    return problems


def mount_in_cleanup(server, work):
    directory, _ = layout(work)
    textfile = os.path.join(directory, TEXTFILE_NAME)
    elsewhere = os.path.join(work, "elsewhere")
    os.makedirs(os.path.join(elsewhere, "kept"))
    with open(os.path.join(elsewhere, "kept", "file"), "w") as f:
        f.write("kept\n")
    mounted = os.path.join(directory, ".vorlane-top-metrics.1234abcd.tmp")
    os.mkdir(mounted)
    subprocess.run(["mount", "--bind", elsewhere, mounted], check=True)
    try:
        run = server.metrics("--textfile", textfile)
    finally:
        subprocess.run(["umount", mounted])
    kept = os.path.exists(os.path.join(elsewhere, "kept", "file"))
    print(f"mount-in-cleanup: status {run.returncode}, the mounted tree's file kept: {kept}")
    problems = [] if run.returncode == 0 else [f"the run failed: {said(run)}"]
    return problems + ([] if kept else ["the cleanup emptied the mounted tree"])


def append_only(server, work):
    directory, _ = layout(work)
    textfile = os.path.join(directory, TEXTFILE_NAME)
    first = server.metrics("--textfile", textfile)
    with open(textfile, "rb") as f:
        old = f.read()
    fd = os.open(directory, os.O_RDONLY | os.O_DIRECTORY)
    try:
        flags = array.array("i", [0])
        fcntl.ioctl(fd, FS_IOC_GETFLAGS, flags, True)
        flags[0] |= FS_APPEND_FL
        fcntl.ioctl(fd, FS_IOC_SETFLAGS, flags, True)
        run = server.metrics("--textfile", textfile)
        names = sorted(os.listdir(directory))
        flags[0] &= ~FS_APPEND_FL
        fcntl.ioctl(fd, FS_IOC_SETFLAGS, flags, True)
    finally:
        os.close(fd)
    with open(textfile, "rb") as f:
        kept = f.read() == old
    print(f"append-only: status {run.returncode}, old file kept: {kept}, directory: {names}, "
          f"stderr: {said(run)}")
    problems = [] if first.returncode == 0 and refused(run, textfile, "append-only") else [
        "the append-only directory was not refused"]
    if not kept or names != [TEXTFILE_NAME]:
        problems.append("the old file changed or a temporary file stayed")
    return problems


def main():
    attack, tools = sys.argv[1], sys.argv[2:6]
    skip_unless_root()
    in_private_mounts()
    work = tempfile.mkdtemp(prefix="vt-textfile-attack.")
    subprocess.run(["mount", "-t", "tmpfs", "-o", "mode=0755", "tmpfs", work], check=True)
    try:
        server = Server(os.path.join(work, "server"), tools, "--users", "20")
        if attack in ("symlinked-directory", "symlinked-ancestor"):
            problems = symlinked(attack, server, work)
        else:
            problems = {"planted-names": planted_names, "file-permissions": file_permissions,
                        "missing-group": missing_group, "foreign-directory": foreign_directory,
                        "inherited-acl": inherited_acl, "mount-in-cleanup": mount_in_cleanup,
                        "append-only": append_only}[attack](server, work)
    finally:
        subprocess.run(["umount", "--lazy", work])
        shutil.rmtree(work, ignore_errors=True)
    return verdict(problems)


if __name__ == "__main__":
    sys.exit(main())
