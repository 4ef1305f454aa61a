#!/usr/bin/env python3
"""Mutation run: plants single-line faults in the libraries' sources, rebuilds
and runs the test programs, and reports which faults the tests kill.

Usage and options: see scripts/mutate.sh (or --help).
"""
import argparse
import fcntl
import hashlib
import os
import random
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

LIBS = ["imaging", "recognition", "reading", "evaluation", "db", "app"]

LOG_CALL = re.compile(r"\bq(?:C(?:Info|Warning|Debug|Critical)|Info|Warning|Debug|Critical)\b")
SKIP_STMT = re.compile(r"\b(?:Q_LOGGING_CATEGORY|Q_DECLARE_LOGGING_CATEGORY|static_assert|Q_UNUSED|Q_ASSERT)\b")
BRACES_ONLY = re.compile(r"[{}();,\s]*")
CONTROL = re.compile(r"^\s*(?:\}\s*)?(?:else\s+)?(?:if|for|while)\b|^\s*(?:\}\s*)?else\s*$")
# An expression statement that is one call (or a chain of calls) on one line.
CALL_STMT = re.compile(r"^[A-Za-z_][\w]*(?:\s*(?:::|\.|->)\s*[A-Za-z_]\w*|\s*\([^;]*\)|\[[^\]]*\])*\s*;$")
FUNC_HEAD = re.compile(r"^[A-Za-z_][\w:<>,*& ]*?[\s*&]([\w:~]+|operator\S+)\s*\(")
BOOL_HEAD = re.compile(r"^(?:(?:static|inline|constexpr|\[\[nodiscard\]\])\s+)*bool\s+[\w:~]+\s*\(")

REL = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}
# Capacity hints: deleting one cannot change what the program does, nor can
# any fault in a statement that is nothing but one.
CAPACITY_CALL = re.compile(r"[.>](?:reserve|squeeze|shrink_to_fit)\(")
CAPACITY_STMT = re.compile(r"^[\w.\->]+[.>](?:reserve|squeeze|shrink_to_fit)\(.*\);$")
# Developer diagnostics (qCDebug/qCWarning to stderr) are not behaviour: their
# deletion is not planted. The station's own log (m_log, report) is.
DIAGNOSTIC_CALL = re.compile(r"^qC(?:Debug|Info|Warning|Critical)\(")


def load_equivalents(path):
    """Faults shown to be equivalent, one per line: path | kind | text of the
    line before the fault | why. They are left out of every sample."""
    known = []
    if path.exists():
        for line in path.read_text(encoding="utf-8").splitlines():
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            parts = [s.strip() for s in line.split(" | ")]
            if len(parts) < 4:
                sys.exit(f"{path}: expected 'path | kind | line text | why': {line}")
            known.append((parts[0], parts[1], parts[2]))
    return known


def is_equivalent(known, rel, kind, before, after):
    """The entry's text is part of the line before the fault or, written
    '=> text', of the line the fault makes (one of several on a line)."""
    return any(rel == p and kind == k and (text[3:] in after if text.startswith("=> ") else text in before)
               for p, k, text in known)


def mask_source(text):
    """Same text with comments blanked and literal contents replaced by '_'
    (quotes kept), so that offsets and line breaks stay where they were."""
    out = list(text)
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            for k in range(i, j):
                out[k] = " "
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            for k in range(i, j):
                if text[k] != "\n":
                    out[k] = " "
            i = j
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            p = text.find("(", i + 2)
            delim = text[i + 2:p]
            end = text.find(")" + delim + '"', p)
            end = n if end < 0 else end + len(delim) + 2
            for k in range(i + 2, end - 1):
                if text[k] != "\n":
                    out[k] = "_"
            i = end
        elif c in "\"'":
            # A digit separator (1'000) is no character literal.
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and text[i + 1].isalnum() \
                    and (i + 2 >= n or text[i + 2] != "'"):
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            for k in range(i + 1, min(j, n)):
                out[k] = "_"
            i = j + 1
        else:
            i += 1
    return "".join(out)


def candidates_in_file(root, rel):
    """Every single-line fault the file offers: (line number, column, kind, old, new)."""
    text = (root / rel).read_bytes().decode("utf-8")
    lines = text.split("\n")
    masked = mask_source(text).split("\n")
    found = []
    in_log = False
    in_bool = False
    prev_code = ""
    for no, (line, m) in enumerate(zip(lines, masked), start=1):
        code = m.strip()
        if not code:
            continue
        if not m[:1].isspace() and "(" in m and not code.startswith(("namespace", "}", "#", "using", "return")):
            if FUNC_HEAD.match(m):
                in_bool = bool(BOOL_HEAD.match(m))
        skip = in_log
        if LOG_CALL.search(m) or SKIP_STMT.search(m):
            skip = True
            in_log = not code.endswith(";")
        elif in_log:
            in_log = not code.endswith(";")
        if skip or code.startswith("#") or BRACES_ONLY.fullmatch(code) or CAPACITY_STMT.match(code):
            prev_code = code
            continue

        def add(col, kind, old, new):
            found.append((no, col, kind, old, new))

        for x in re.finditer(r"(?<=\s)(<=|>=|<|>)(?=\s)", m):
            add(x.start(), "rel", x.group(1), REL[x.group(1)])
        for x in re.finditer(r"(?<=\s)(==|!=)(?=\s)", m):
            add(x.start(), "eq", x.group(1), "!=" if x.group(1) == "==" else "==")
        for x in re.finditer(r"(?<=\s)(&&|\|\|)(?=\s)", m):
            add(x.start(), "logic", x.group(1), "||" if x.group(1) == "&&" else "&&")
        # QString concatenation would only give a compile error.
        if '"' not in m and not re.search(r"QString|QLatin1|QStringLiteral|\btr\(", m):
            for x in re.finditer(r"(?<=\s)([+-]=?)(?=\s)", m):
                op = x.group(1)
                add(x.start(), "arith", op, ("-" if op[0] == "+" else "+") + op[1:])
        for x in re.finditer(r"\s[+-] 1(?![\w.'])", m):
            add(x.start(), "off-by-one", line[x.start():x.end()], "")
        for x in re.finditer(r"\b(true|false)\b", m):
            add(x.start(), "bool", x.group(1), "false" if x.group(1) == "true" else "true")
        for x in re.finditer(r"(?<![\w.'])(\d+)(?![\w.'])", m):
            add(x.start(), "literal", x.group(1), str(int(x.group(1)) + 1))
        for x in re.finditer(r"!(?!=)", m):
            add(x.start(), "not", "!", "")
        r = re.fullmatch(r"(\s*return\s+)(.+?)(\s*;\s*)", m)
        if in_bool and r and r.group(2) not in ("true", "false"):
            add(r.start(2), "return", line[r.start(2):r.end(2)], "!(" + line[r.start(2):r.end(2)] + ")")
        first = re.match(r"[A-Za-z_]\w*", code)
        if (CALL_STMT.match(code) and code.count("(") == code.count(")") and first
                and first.group(0) not in ("return", "delete", "throw", "break", "continue", "goto", "if", "for",
                                            "while", "switch", "do", "else", "case", "co_return")
                and not re.fullmatch(r"[A-Z_0-9]+", first.group(0))
                and (not prev_code or prev_code[-1] in ";{}:" or prev_code.endswith("else")
                     or (prev_code.endswith(")") and CONTROL.match(prev_code)))):
            indent = len(line) - len(line.lstrip())
            if not CAPACITY_CALL.search(m) and not DIAGNOSTIC_CALL.match(code):
                add(indent, "delete", line[indent:], ";")
        prev_code = code
    return lines, found


def apply(line, col, old, new):
    assert line[col:col + len(old)] == old, (line, col, old)
    return line[:col] + new + line[col + len(old):]


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def ninja_objects(build):
    """Source path (relative to the source root) -> object target, for every
    source some target compiles."""
    out = run(["ninja", "-C", str(build), "-t", "targets", "all"]).stdout
    objs = {}
    for line in out.splitlines():
        m = re.match(r"(.*?)/?CMakeFiles/[^/]+\.dir/(.+\.cpp)\.o: CXX_COMPILER", line)
        if m:
            src = (m.group(1) + "/" if m.group(1) else "") + m.group(2)
            objs.setdefault(src, line.split(":")[0])
    return objs


def test_programs(build):
    out = run(["ninja", "-C", str(build), "-t", "targets", "all"]).stdout
    return sorted({m.group(1) for m in re.finditer(r"^tests/(test_\w+): CXX_EXECUTABLE_LINKER", out, re.M)})


def inputs(build, target):
    return set(run(["ninja", "-C", str(build), "-t", "inputs", target]).stdout.split())


def cli_command(build):
    f = build / "tests" / "CTestTestfile.cmake"
    for line in f.read_text().splitlines():
        if line.startswith("add_test([=[cli.CommandLine]=]"):
            args = re.findall(r'"([^"]*)"', line)
            return args
    return None


class Restorer:
    """Keeps the pristine bytes of the file being mutated and puts them back
    whatever way the run ends; a copy on disk covers even a killed run."""

    def __init__(self, build):
        self.dir = build / "mutate-backup"
        self.current = None

    def recover(self):
        meta = self.dir / "file"
        if meta.exists():
            path = Path(meta.read_text())
            path.write_bytes((self.dir / "content").read_bytes())
            print(f"Restored {path} left mutated by an interrupted run.", file=sys.stderr)
            meta.unlink()

    def save(self, path):
        self.dir.mkdir(exist_ok=True)
        self.original = path.read_bytes()
        (self.dir / "content").write_bytes(self.original)
        (self.dir / "file").write_text(str(path))
        self.current = path

    def restore(self):
        if self.current is not None:
            self.current.write_bytes(self.original)
            (self.dir / "file").unlink(missing_ok=True)
            (self.dir / "content").unlink(missing_ok=True)
            self.current = None


def interrupted(signum, frame):
    raise KeyboardInterrupt(f"signal {signum}")


def main():
    ap = argparse.ArgumentParser(description="Mutation run over the libraries' sources.")
    ap.add_argument("--build", help="configured build directory (default: build in the source tree)")
    ap.add_argument("--count", type=int, default=20, help="number of mutants (default 20)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--libs", default=",".join(LIBS), help="comma-separated: " + ",".join(LIBS))
    ap.add_argument("--ui", action="store_true", help="mutate the widget sources (src/<lib>/ui) too")
    ap.add_argument("--list", action="store_true", help="print the planned mutants and stop")
    ap.add_argument("--report", help="also write the report to this file")
    ap.add_argument("--timeout", type=float,
                    help="seconds per test program; skips the clean run (default: 5x its clean run + 30)")
    ap.add_argument("--only", help="run only these planned mutants (numbers as --list shows them: 3,7)")
    ap.add_argument("-j", "--jobs", type=int, default=2, help="ninja jobs (default 2)")
    args = ap.parse_args()

    root = Path(__file__).resolve().parent.parent
    build = Path(args.build).resolve() if args.build else root / "build"
    libs = [l for l in args.libs.split(",") if l]
    for l in libs:
        if l not in LIBS:
            sys.exit(f"unknown library {l}; choose from {','.join(LIBS)}")
    if not (build / "build.ninja").exists():
        sys.exit(f"{build} is not a configured build directory (cmake -G Ninja)")
    cache = (build / "CMakeCache.txt").read_text()
    home = re.search(r"^CMAKE_HOME_DIRECTORY:INTERNAL=(.*)$", cache, re.M)
    if home and Path(home.group(1)).resolve() != root:
        sys.exit(f"{build} builds {home.group(1)}, not {root}")

    # One run per build directory: another would read or restore a mutated source.
    lock = open(build / "mutate.lock", "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        sys.exit(f"Another mutation run is using {build}; its sources may be mutated right now.")
    restorer = Restorer(build)
    restorer.recover()
    objects = ninja_objects(build)
    known = load_equivalents(Path(__file__).resolve().parent / "mutate-equivalent.txt")
    left_out = 0

    # Candidates per library; files no build compiles are left out.
    per_lib = {}
    sizes = {}
    for lib in libs:
        files = sorted((root / "src" / lib).glob("*.cpp"))
        if args.ui:
            files += sorted((root / "src" / lib / "ui").glob("*.cpp"))
        cands = []
        size = 0
        for f in files:
            rel = str(f.relative_to(root))
            if rel not in objects or f.name == "main.cpp":
                continue
            lines, found = candidates_in_file(root, rel)
            size += len(lines)
            kept = []
            for no, col, kind, old, new in found:
                line = lines[no - 1]
                if not is_equivalent(known, rel, kind, line, apply(line, col, old, new)):
                    kept.append((no, col, kind, old, new))
            left_out += len(found) - len(kept)
            cands += [(rel,) + c for c in kept]
        per_lib[lib] = cands
        sizes[lib] = size

    # Spread over the libraries in proportion to their lines (largest remainder).
    total = sum(sizes.values()) or 1
    quota = {l: args.count * sizes[l] / total for l in libs}
    share = {l: int(quota[l]) for l in libs}
    for l in sorted(libs, key=lambda l: quota[l] - share[l], reverse=True)[: args.count - sum(share.values())]:
        share[l] += 1
    rng = random.Random(args.seed)
    plan = []
    for lib in libs:
        by_line = {}
        for c in per_lib[lib]:
            by_line.setdefault((c[0], c[1]), []).append(c)
        keys = sorted(by_line)
        rng.shuffle(keys)
        picked = []
        while len(picked) < share[lib] and any(by_line.values()):
            for k in keys:
                if len(picked) >= share[lib]:
                    break
                if by_line[k]:
                    picked.append(by_line[k].pop(rng.randrange(len(by_line[k]))))
        plan += [(lib,) + p for p in sorted(picked)]

    numbered = list(enumerate(plan, 1))
    if args.only:
        keep = {int(x) for x in args.only.split(",")}
        numbered = [(i, m) for i, m in numbered if i in keep]
    plan = [m for _, m in numbered]
    source_lines = {}

    def mutant_lines(m):
        lib, rel, no, col, kind, old, new = m
        if rel not in source_lines:
            source_lines[rel] = (root / rel).read_bytes().decode("utf-8").split("\n")
        before = source_lines[rel][no - 1]
        return before, apply(before, col, old, new)

    def describe(m):
        lib, rel, no, col, kind, old, new = m
        if kind == "delete":
            return "line deleted"
        return f"{kind} `{old.strip()}` -> `{new.strip()}`" if new else f"{kind} `{old.strip()}` removed"

    if args.list:
        for i, m in numbered:
            before, after = mutant_lines(m)
            print(f"{i:3} {m[1]}:{m[2]}  {describe(m)}\n      - {before.strip()}\n      + {after.strip()}")
        print(f"{len(plan)} mutants; candidates: " + ", ".join(f"{l} {len(per_lib[l])}" for l in libs)
              + f"; {left_out} known equivalent left out")
        return 0

    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, interrupted)
    planted_files = sorted({m[1] for m in plan})
    git_diff = ["git", "-C", str(root), "diff", "--quiet", "--"] + planted_files
    git_clean = run(git_diff).returncode == 0
    out_lines = []

    def say(s=""):
        print(s, flush=True)
        out_lines.append(s)

    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    programs = test_programs(build)
    prog_inputs = {p: inputs(build, p) for p in programs}
    cli = cli_command(build)
    cli_targets = ["kartovo", "kartovo-card", "kartovo-demo"]

    def tests_for(m):
        lib, rel = m[0], m[1]
        obj = objects[rel]
        progs = [p for p in programs if obj in prog_inputs[p]]
        own = [p for p in progs if p == "test_" + lib]
        rest = sorted((p for p in progs if p != "test_" + lib), key=lambda p: baseline.get(p, (0, 0))[0])
        order = own + rest
        if lib == "app" and cli:
            order.append("cli")
        return order

    def run_program(p, timeout):
        if p == "cli":
            cmd = cli
        else:
            cmd = [str(build / "tests" / p), "--gtest_fail_fast", "--gtest_brief=1"]
        t0 = time.monotonic()
        proc = subprocess.Popen(cmd, cwd=build / "tests", env=env, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True, errors="replace", start_new_session=True)
        try:
            out, _ = proc.communicate(timeout=timeout)
            hung = False
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            out, _ = proc.communicate()
            hung = True
        except BaseException:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            raise
        failed = re.findall(r"^\[  FAILED  \] (\S+?)(?:,| \(|$)", out, re.M)
        why = "timeout" if hung else (failed[0] if failed else
                                      (f"exit {proc.returncode}" if proc.returncode else ""))
        return (hung or proc.returncode != 0), why, time.monotonic() - t0

    def build_targets(targets):
        r = run(["ninja", "-C", str(build), "-j", str(args.jobs)] + targets)
        return r.returncode == 0, r.stdout

    def obj_hash(rel):
        return hashlib.sha256((build / objects[rel]).read_bytes()).hexdigest()

    results = []
    try:
        # The clean state: everything builds, every program passes, and how long it takes.
        needed = sorted({p for m in plan for p in tests_for_plain(m, objects, programs, prog_inputs)})
        want_cli = any(m[0] == "app" for m in plan) and cli
        say(f"Mutation run: {len(plan)} mutants, seed {args.seed}, libraries {','.join(libs)}"
            f"{' with ui' if args.ui else ''}, build {build}")
        ok, log = build_targets(needed + (cli_targets if want_cli else []))
        if not ok:
            print(log[-4000:])
            sys.exit("The unmutated sources do not build.")
        baseline = {}
        for p in needed + (["cli"] if want_cli else []):
            if args.timeout:
                baseline[p] = (0, False)
                continue
            failed, why, secs = run_program(p, 1800)
            baseline[p] = (secs, failed)
            say(f"  clean run {p}: {secs:.1f} s{'  FAILS (' + why + '), left out' if failed else ''}")
        hashes = {rel: obj_hash(rel) for rel in {m[1] for m in plan}}

        for i, m in numbered:
            lib, rel, no = m[0], m[1], m[2]
            before, after = mutant_lines(m)
            t0 = time.monotonic()
            path = root / rel
            restorer.save(path)
            status, by = "survived", ""
            try:
                lines = source_lines[rel][:]
                lines[no - 1] = after
                path.write_bytes("\n".join(lines).encode("utf-8"))
                ok, log = build_targets([objects[rel]])
                if not ok:
                    status, by = "stillborn", "compile error"
                elif obj_hash(rel) == hashes[rel]:
                    status, by = "stillborn", "object unchanged"
                else:
                    for p in tests_for(m):
                        if baseline.get(p, (0, True))[1]:
                            continue
                        ok, log = build_targets(cli_targets if p == "cli" else [p])
                        if not ok:
                            status, by = "stillborn", f"link error ({p})"
                            break
                        timeout = args.timeout or 5 * baseline[p][0] + 30
                        failed, why, _ = run_program(p, timeout)
                        if failed:
                            status, by = "killed", f"{p} ({why})"
                            break
            finally:
                restorer.restore()
            secs = time.monotonic() - t0
            results.append((m, status, by, before, after, secs))
            say(f"[{i}/{args.count}] {rel}:{no}  {describe(m)}  {status}"
                f"{' by ' + by if status == 'killed' else (' (' + by + ')' if by else '')}  {secs:.0f} s")
    except KeyboardInterrupt:
        say("Interrupted.")
    finally:
        restorer.restore()
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(sig, signal.SIG_DFL)

    # Summary.
    say("")
    say(f"{'library':12} {'planted':>7} {'stillborn':>9} {'killed':>6} {'survived':>8} {'kill ratio':>10}")
    rows = libs + ["all"]
    for lib in rows:
        rs = [r for r in results if lib == "all" or r[0][0] == lib]
        st = sum(r[1] == "stillborn" for r in rs)
        k = sum(r[1] == "killed" for r in rs)
        s = sum(r[1] == "survived" for r in rs)
        ratio = f"{100 * k / (k + s):.0f} %" if k + s else "-"
        say(f"{lib:12} {len(rs):7} {st:9} {k:6} {s:8} {ratio:>10}")
    killers = {}
    for r in results:
        if r[1] == "killed":
            killers[r[2].split(" ")[0]] = killers.get(r[2].split(" ")[0], 0) + 1
    if killers:
        say("killed by: " + ", ".join(f"{p} {n}" for p, n in sorted(killers.items(), key=lambda x: -x[1])))
    if left_out:
        say(f"left out as known equivalent (scripts/mutate-equivalent.txt): {left_out} candidate faults")
    if results:
        say(f"time per mutant: {sum(r[5] for r in results) / len(results):.0f} s on average")
    survivors = [r for r in results if r[1] == "survived"]
    if survivors:
        say("")
        say("Survivors:")
        for m, status, by, before, after, secs in survivors:
            say(f"--- {m[1]}:{m[2]}  {describe(m)}")
            say(f"-{before}")
            say(f"+{after}")
    # Leave the build directory matching the pristine sources.
    touched = sorted({p for r in results for p in tests_for(r[0]) if p != "cli"})
    if touched:
        build_targets(touched + (cli_targets if any(r[0][0] == "app" for r in results) and cli else []))
    status = 0
    if git_clean and run(git_diff).returncode != 0:
        say("WARNING: a mutated source differs from git after the run!")
        status = 2
    if args.report:
        Path(args.report).write_text("\n".join(out_lines) + "\n", encoding="utf-8")
    return status


def tests_for_plain(m, objects, programs, prog_inputs):
    obj = objects[m[1]]
    return [p for p in programs if obj in prog_inputs[p]]


if __name__ == "__main__":
    sys.exit(main())
