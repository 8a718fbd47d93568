#!/usr/bin/env python3
"""Crash states of a real update, each started with the real launcher.

One update of the test launcher (old build installed, a newer one offered by the loopback
server) runs under strace, which records its file-system calls. The calls on the data directory
are replayed on a model of a POSIX file system: after every prefix of them, the states that a
crash may leave are built: what the calls did; with the data written since the file's last
fsync lost, or half of it kept; and with the renames and removals since the directory's last
fsync undone. Each distinct state is written into a fresh data directory, checked (app.jar is
one of the two complete builds and app.ver is empty or names the version app.jar holds), and
started with the real launcher against the server: the application must run, and the start
must leave the new build and its version.

usage: crash_states_test.py LAUNCHER TLS_SERVER PKI_DIR APP_DIR JDK_HOME [MAX_STATES]
"""
import hashlib
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

DATA = "appdata/Quarlen Zuzidivoravev Vivurezuv/Quarlen Vistal/2.0.2"
OLD_VERSION = b"1.0.0"
NEW_VERSION = b"2.0.0-rc2147483647.b1"
PORT = 18441


def with_comment(jar, comment):
    """The jar with `comment` as its archive comment (the signature covers the entries only)."""
    end = jar.rfind(b"PK\x05\x06")
    head = jar[:end + 20]
    return head + len(comment).to_bytes(2, "little") + comment


class Install:
    def __init__(self, root, launcher, app_dir, jdk):
        self.root = root
        os.makedirs(os.path.join(root, "lib"))
        os.makedirs(os.path.join(root, "img"))
        os.makedirs(os.path.join(root, "wherefrom"))
        os.symlink(jdk, os.path.join(root, "jre"))
        shutil.copy(os.path.join(app_dir, "include.jar"), os.path.join(root, "lib/include.jar"))
        jar = open(os.path.join(app_dir, "app.jar"), "rb").read()
        self.old = with_comment(jar, b"old")
        self.new = with_comment(jar, b"new")
        open(os.path.join(root, "lib/bl.jar"), "wb").write(with_comment(jar, b"fallback"))
        open(os.path.join(root, "behaviour"), "w").write("test.WhereFrom\nwherefrom\n")
        self.launcher = os.path.join(root, "vistal-test")
        shutil.copy(launcher, self.launcher)
        self.data = os.path.join(root, DATA)

    def reset(self, files):
        shutil.rmtree(os.path.join(self.root, "appdata"), ignore_errors=True)
        os.makedirs(self.data)
        for name, content in files.items():
            open(os.path.join(self.data, name), "wb").write(content)

    def files(self):
        out = {}
        for name in sorted(os.listdir(self.data)):
            out[name] = open(os.path.join(self.data, name), "rb").read()
        return out

    def run(self, prefix=()):
        reports = os.path.join(self.root, "wherefrom")
        for name in os.listdir(reports):
            os.remove(os.path.join(reports, name))
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        r = subprocess.run(list(prefix) + [self.launcher], cwd=self.root, env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        texts = [open(os.path.join(reports, n)).read() for n in os.listdir(reports)]
        return r, texts


def comment_of(report):
    m = re.search(r"^comment=(.*)$", report, re.M)
    return m.group(1).strip() if m else None


# --- the recording and its model ---------------------------------------------------------------

LINE = re.compile(r"^(\d+)\s+(\w+)\((.*)\)\s+=\s+(-?\d+)")
FD_PATH = re.compile(r"^-?\d+<(.*)>$")


def split_args(text):
    """strace's argument list, split at the top-level commas."""
    out, depth, quoted, cur, i = [], 0, False, "", 0
    while i < len(text):
        c = text[i]
        if quoted:
            cur += c
            if c == "\\":
                cur += text[i + 1]
                i += 1
            elif c == '"':
                quoted = False
        elif c == '"':
            quoted, cur = True, cur + c
        elif c in "[{<(":
            depth, cur = depth + 1, cur + c
        elif c in "]}>)":
            depth, cur = depth - 1, cur + c
        elif c == "," and depth == 0:
            out.append(cur.strip())
            cur = ""
        else:
            cur += c
        i += 1
    if cur.strip():
        out.append(cur.strip())
    return out


def unquote(s):
    return s[1:-1].encode().decode("unicode_escape") if s.startswith('"') else s


def at_path(dirfd, name, cwd):
    m = FD_PATH.match(dirfd)
    path = os.path.join(m.group(1) if m else cwd, name)
    return os.path.join(os.path.realpath(os.path.dirname(path)), os.path.basename(path))


UNFINISHED = re.compile(r"^(\d+)\s+(.*) <unfinished \.\.\.>$")
RESUMED = re.compile(r"^(\d+)\s+<\.\.\. \w+ resumed>(.*)$")


def whole_calls(trace):
    """strace's lines, a call that another thread interrupted joined up again, at its return."""
    pending = {}
    for line in open(trace, errors="replace"):
        line = line.strip()
        m = UNFINISHED.match(line)
        if m:
            pending[m.group(1)] = m.group(1) + " " + m.group(2)
            continue
        m = RESUMED.match(line)
        if m:
            line = pending.pop(m.group(1), "") + m.group(2)
        yield line


def operations(trace, data, cwd):
    """The calls on the data directory's entries, in order, as model operations."""
    ops = []
    for line in whole_calls(trace):
        m = LINE.match(line)
        if not m or int(m.group(4)) < 0:
            continue
        call, args, result = m.group(2), split_args(m.group(3)), int(m.group(4))
        if call in ("open", "openat", "creat"):
            dirfd, name = ("AT_FDCWD", args[0]) if call != "openat" else (args[0], args[1])
            path = at_path(dirfd, unquote(name), cwd)
            flags = args[1] if call == "open" else (args[2] if call == "openat" else "O_CREAT")
            if os.path.dirname(path) == data and "O_CREAT" in flags:
                ops.append(("create", os.path.basename(path), "O_TRUNC" in flags))
            continue
        fd = FD_PATH.match(args[0]) if args else None
        target = fd.group(1) if fd else None
        if call in ("write", "pwrite64", "writev") and target and os.path.dirname(target) == data:
            ops.append(("write", os.path.basename(target), result))
        elif call in ("fsync", "fdatasync") and target == data:
            ops.append(("dirsync",))
        elif call in ("fsync", "fdatasync") and target and os.path.dirname(target) == data:
            ops.append(("sync", os.path.basename(target)))
        elif call == "ftruncate" and target and os.path.dirname(target) == data:
            ops.append(("truncate", os.path.basename(target)))
        elif call in ("rename", "renameat", "renameat2"):
            if call == "rename":
                src, dst = at_path("", unquote(args[0]), cwd), at_path("", unquote(args[1]), cwd)
            else:
                src = at_path(args[0], unquote(args[1]), cwd)
                dst = at_path(args[2], unquote(args[3]), cwd)
            if os.path.dirname(dst) == data:
                ops.append(("rename", os.path.basename(src), os.path.basename(dst)))
        elif call in ("unlink", "unlinkat"):
            path = at_path("", unquote(args[0]), cwd) if call == "unlink" else at_path(
                args[0], unquote(args[1]), cwd)
            if os.path.dirname(path) == data:
                ops.append(("unlink", os.path.basename(path)))
    return ops


class Model:
    """Names, and per file the bytes written and the bytes known to be on the disk."""

    def __init__(self, before):
        self.next = 0
        self.names, self.written, self.durable, self.content = {}, {}, {}, {}
        for name, data in before.items():
            f = self.new_file(data)
            self.names[name] = f
            self.written[f] = self.durable[f] = len(data)
        self.synced_names = dict(self.names)

    def new_file(self, content=b""):
        self.next += 1
        self.content[self.next] = content
        self.written[self.next] = self.durable[self.next] = 0
        return self.next

    def apply(self, op):
        kind = op[0]
        if kind == "create" and (op[1] not in self.names or op[2]):
            if op[1] in self.names:
                self.written[self.names[op[1]]] = 0
            else:
                self.names[op[1]] = self.new_file()
        elif kind == "write" and op[1] in self.names:
            self.written[self.names[op[1]]] += op[2]
        elif kind == "truncate" and op[1] in self.names:
            self.written[self.names[op[1]]] = 0
        elif kind == "sync" and op[1] in self.names:
            f = self.names[op[1]]
            self.durable[f] = self.written[f]
        elif kind == "dirsync":
            self.synced_names = dict(self.names)
        elif kind == "rename" and op[1] in self.names:
            self.names[op[2]] = self.names.pop(op[1])
        elif kind == "unlink":
            self.names.pop(op[1], None)

    def states(self):
        """The states a crash now may leave: {name: bytes}."""
        for names in (self.names, self.synced_names):
            for cut in ("written", "durable", "half"):
                state = {}
                for name, f in names.items():
                    written, durable = self.written[f], self.durable[f]
                    n = {"written": written, "durable": durable,
                         "half": durable + (written - durable) // 2}[cut]
                    data = self.content[f]
                    state[name] = data[:n] + b"\0" * max(0, n - len(data))
                yield state


def main():
    launcher, tls_server, pki, app_dir, jdk = sys.argv[1:6]
    max_states = int(sys.argv[6]) if len(sys.argv) > 6 else 400
    work = tempfile.mkdtemp(prefix="vistal-crash-")
    server = None
    try:
        install = Install(os.path.join(work, "install"), launcher, app_dir, jdk)
        served = os.path.join(work, "served")
        os.makedirs(served)
        open(os.path.join(served, "app.jar"), "wb").write(install.new)
        server = subprocess.Popen([tls_server, "--cert", pki + "/server.pem", "--key",
                                   pki + "/server.key", "--port", str(PORT), "--port-file",
                                   os.path.join(work, "port"), "--root", served, "--version",
                                   "2.0.0;/app.jar"])
        for _ in range(600):
            if os.path.exists(os.path.join(work, "port")) or server.poll() is not None:
                break
            time.sleep(0.1)
        if not os.path.exists(os.path.join(work, "port")):
            print("the test server did not start (port %d busy?)" % PORT)
            return 1

        before = {"app.jar": install.old, "app.ver": OLD_VERSION}
        install.reset(before)
        trace = os.path.join(work, "trace")
        r, reports = install.run(["strace", "-f", "-qq", "-y", "-s", "0", "-o", trace, "-e",
                                  "trace=open,openat,creat,write,pwrite64,writev,fsync,"
                                  "fdatasync,ftruncate,rename,renameat,renameat2,unlink,"
                                  "unlinkat"])
        after = install.files()
        if r.returncode != 0 or after.get("app.jar") != install.new:
            print("the recorded update did not complete:", r.returncode, r.stderr.decode()[-2000:])
            return 1

        ops = operations(trace, os.path.realpath(install.data), os.path.realpath(install.root))
        for op in ops:
            print(" ".join(str(x) for x in op))
        model = Model(before)
        # The content each new file had at its end: found by its last name in the final state.
        states, seen = [], set()
        prefixes = [[]] + [ops[:i + 1] for i in range(len(ops))]
        replay = Model(before)
        finals = {}
        for op in ops:
            replay.apply(op)
        for name, f in replay.names.items():
            finals[f] = after.get(name, b"")
        for i, prefix in enumerate(prefixes):
            model = Model(before)
            for op in prefix:
                model.apply(op)
            for f, content in finals.items():
                if f not in model.content or not model.content[f]:
                    model.content[f] = content
            for state in model.states():
                key = hashlib.sha256(repr(sorted(state.items())).encode()).hexdigest()
                if key not in seen:
                    seen.add(key)
                    states.append((i, state))
        states = states[:max_states]

        failures = 0
        for i, state in states:
            what = "after %d of %d calls: %s" % (i, len(ops), {
                n: ("old" if c == install.old else "new" if c == install.new else
                    c.decode(errors="replace") if n.startswith("app.ver") else "%d bytes" % len(c))
                for n, c in state.items()})
            jar, ver = state.get("app.jar"), state.get("app.ver", b"")
            problems = []
            if jar not in (install.old, install.new):
                problems.append("app.jar is not a complete build")
            if ver and ver != (NEW_VERSION if jar == install.new else OLD_VERSION):
                problems.append("app.ver names another version than app.jar holds")
            install.reset(state)
            r, reports = install.run()
            if r.returncode != 0 or len(reports) != 1:
                problems.append("no application ran (exit %d)" % r.returncode)
            end = install.files()
            if end.get("app.jar") != install.new or end.get("app.ver") != NEW_VERSION:
                problems.append("the start did not end in the new build and its version")
            if problems:
                failures += 1
                print("FAIL", what, "; ".join(problems))
                print(r.stderr.decode(errors="replace")[-1000:])
        print("crash states: %d calls on the data directory recorded, %d states tried, %d failed"
              % (len(ops), len(states), failures))
        return 1 if failures else 0
    finally:
        if server:
            server.send_signal(signal.SIGTERM)
            server.wait(30)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
