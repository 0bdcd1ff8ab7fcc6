#!/usr/bin/env python3
"""Mutation run: changes one line of a safety-critical source file at a time, rebuilds, and
checks that the test programs covering that file fail.

Each mutant is one of a fixed set of single-line changes (see OPERATORS). The files and the
test programs that cover them are listed in scripts/mutation.conf, with the mutants known to
be equivalent. The build lives in build-mutation/ (Ninja, the compiler cache of the other
builds). Every mutated file is put back byte for byte afterwards, also on Ctrl-C or SIGTERM;
a run killed outright is repaired by the next one from the copies in build-mutation/restore/.

    scripts/mutation.py                          # every file of the configuration
    scripts/mutation.py codecs/inflate_reader.cpp --max-mutants 20 --seed 7
    scripts/mutation.py --list                   # the mutants only, nothing built or run
"""

import argparse
import fcntl
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_CONFIG = os.path.join(ROOT, "scripts", "mutation.conf")
DEFAULT_BUILD = os.path.join(ROOT, "build-mutation")

# ---------------------------------------------------------------------------------------------
# Configuration


class Config:
    def __init__(self):
        self.files = {}  # path in the tree -> [(target, gtest filter or None)]
        self.order = []
        self.equivalent = []  # dicts: file, operator, line, reason, used


def read_config(path):
    config = Config()
    section = None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.strip()
            if not line or line.startswith("#"):
                continue
            where = f"{path}:{number}"
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1]
                if section not in ("files", "equivalent"):
                    sys.exit(f"{where}: unknown section [{section}]")
                continue
            if section == "files":
                fields = line.split()
                if len(fields) < 2:
                    sys.exit(f"{where}: a file needs at least one test program")
                programs = []
                for field in fields[1:]:
                    target, _, gtest_filter = field.partition(":")
                    programs.append((target, gtest_filter or None))
                if fields[0] not in config.files:
                    config.order.append(fields[0])
                config.files[fields[0]] = programs
            elif section == "equivalent":
                # The line itself may hold " | " (a bitwise or): it is what lies between the
                # operator and the last field.
                fields = [field.strip() for field in raw.rstrip("\n").split(" | ")]
                if len(fields) < 4 or not all(fields):
                    sys.exit(f"{where}: want FILE | OPERATOR | LINE | WHY")
                config.equivalent.append(
                    {"file": fields[0], "operator": fields[1], "line": " | ".join(fields[2:-1]),
                     "reason": fields[-1], "used": False})
            else:
                sys.exit(f"{where}: text before the first section")
    return config


# ---------------------------------------------------------------------------------------------
# Mutants


class Mutant:
    def __init__(self, path, number, operator, original, mutated):
        self.path = path
        self.number = number  # 1-based line number
        self.operator = operator
        self.original = original  # the line without its newline
        self.mutated = mutated
        self.outcome = None  # killed, survived, timeout, no-build, equivalent
        self.detail = ""
        self.key = original.strip()  # how the equivalent list names it (see set_keys)

    def place(self):
        return f"{self.path}:{self.number}"


def mask_code(lines):
    """Each line with comments, string and character literals blanked out (same length), and
    None for preprocessor lines, so that operators are only found in code."""
    masked = []
    in_block = False
    for line in lines:
        out = []
        i = 0
        in_string = None
        if not in_block and line.lstrip().startswith("#"):
            masked.append(None)
            continue
        while i < len(line):
            c = line[i]
            if in_block:
                if line.startswith("*/", i):
                    in_block = False
                    out.append("  ")
                    i += 2
                else:
                    out.append(" ")
                    i += 1
            elif in_string:
                if c == "\\":
                    out.append("  "[: len(line[i : i + 2])])
                    i += 2
                    continue
                if c == in_string:
                    in_string = None
                    out.append(c)
                else:
                    out.append(" ")
                i += 1
            elif line.startswith("//", i):
                out.append(" " * (len(line) - i))
                break
            elif line.startswith("/*", i):
                in_block = True
                out.append("  ")
                i += 2
            elif c in "\"'":
                # A digit separator (1'000) is not a character literal.
                if c == "'" and i > 0 and line[i - 1].isalnum():
                    out.append(c)
                else:
                    in_string = c
                    out.append(c)
                i += 1
            else:
                out.append(c)
                i += 1
        masked.append("".join(out))
    return masked


# Binary operators are written with a space on each side in this code base (clang-format), so
# that template brackets, shifts, arrows and references never match.
FLIP = {"==": "!=", "!=": "==", "<": ">=", ">=": "<", ">": "<=", "<=": ">"}
BOUND = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}
ANDOR = {"&&": "||", "||": "&&"}
BINARY = re.compile(r"(?<= )(==|!=|<=|>=|<|>|&&|\|\|)(?= )")
IF_LINE = re.compile(r"^(\s*(?:\} else )?if )\((.*)\)( \{| [^{}].*;)?\s*$")
JUMP_LINE = re.compile(r"^\s*(return\b[^;]*|continue|break);\s*$")
RETURN_VALUE = re.compile(r"\breturn (true|false|0|-1|[A-Z]\w*::\w+);")
OPENER = re.compile(r"^\s*(\} else if |if |\} else \{|else)")


def balanced(text):
    depth = 0
    for c in text:
        depth += c == "("
        depth -= c == ")"
        if depth < 0:
            return False
    return depth == 0


def enum_values(masked_lines):
    """Scoped enum values seen in the file, by enum: the 'other status' a return can give."""
    values = {}
    for line in masked_lines:
        for name, value in re.findall(r"\b([A-Z]\w*)::([A-Za-z]\w*)\b", line or ""):
            values.setdefault(name, set()).add(value)
    return values


def guard_body_jump(lines, masked, index):
    """True when line `index` is a return/continue/break directly inside an if's body."""
    indent = len(lines[index]) - len(lines[index].lstrip())
    for j in range(index - 1, -1, -1):
        code = masked[j]
        if code is None or not code.strip():
            continue
        own = len(code) - len(code.lstrip())
        if own < indent:
            return code.rstrip().endswith("{") and bool(OPENER.match(code))
    return False


def mutants_of(path, text):
    lines = text.split("\n")
    masked = mask_code(lines)
    enums = enum_values(masked)
    found = []

    def add(index, operator, mutated):
        if mutated != lines[index]:
            found.append(Mutant(path, index + 1, operator, lines[index], mutated))

    for index, line in enumerate(lines):
        code = masked[index]
        if code is None or not code.strip():
            continue
        for match in BINARY.finditer(code):
            start, end, op = match.start(), match.end(), match.group(1)
            for name, table in (("flip", FLIP), ("bound", BOUND), ("andor", ANDOR)):
                if op in table:
                    add(index, name, line[:start] + table[op] + line[end:])
        guard = IF_LINE.match(code)
        if guard and balanced(guard.group(2)) and guard.group(2).strip() != "false":
            # The whole condition, so that the guard never fires.
            open_at = len(guard.group(1))
            close_at = open_at + 1 + len(guard.group(2))
            add(index, "drop-if", line[: open_at + 1] + "false" + line[close_at:])
        if JUMP_LINE.match(code) and guard_body_jump(lines, masked, index):
            indent = line[: len(line) - len(line.lstrip())]
            add(index, "drop-return", indent + ";  // " + line.strip())
        for match in RETURN_VALUE.finditer(code):
            value = match.group(1)
            others = []
            if value in ("true", "false"):
                others = ["false" if value == "true" else "true"]
            elif value in ("0", "-1"):
                others = ["-1" if value == "0" else "0"]
            else:
                name, member = value.split("::")
                others = [f"{name}::{v}" for v in sorted(enums.get(name, ())) if v != member]
            for other in others:
                start, end = match.span(1)
                add(index, "value", line[:start] + other + line[end:])
    return found


def set_keys(mutants, text):
    """Names each mutant in words that survive edits elsewhere in the file: its line as it
    stands; with " => " and the mutated line when the operator changes that line in more than
    one way; with " #N" when the file holds that line N times (the Nth of them)."""
    stripped = [line.strip() for line in text.split("\n")]
    for m in mutants:
        key = m.original.strip()
        if sum(1 for o in mutants if o.number == m.number and o.operator == m.operator) > 1:
            key += " => " + m.mutated.strip()
        same = [n for n, line in enumerate(stripped, 1) if line == m.original.strip()]
        if len(same) > 1:
            key += f" #{same.index(m.number) + 1}"
        m.key = key


def sample(mutants, limit, seed, path):
    if limit is None or len(mutants) <= limit:
        return mutants
    chosen = random.Random(f"{seed}:{path}").sample(range(len(mutants)), limit)
    return [mutants[i] for i in sorted(chosen)]


# ---------------------------------------------------------------------------------------------
# Putting files back


SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


class SignalsHeld:
    """Ctrl-C and friends wait while a file is being written or put back."""

    def __enter__(self):
        signal.pthread_sigmask(signal.SIG_BLOCK, SIGNALS)

    def __exit__(self, *_):
        signal.pthread_sigmask(signal.SIG_UNBLOCK, SIGNALS)


class Restorer:
    """Writes mutants over source files and puts the originals back. A copy of each original
    stays on disk (build-mutation/restore/) until it is back, so that the next run repairs
    what a run killed outright left behind."""

    def __init__(self, build):
        self.build = build
        self.folder = os.path.join(build, "restore")
        self.saved = {}  # path in the tree -> (original bytes, its stat)

    def _restore(self, path, original, atime_ns, mtime_ns):
        """Writes the original back. A source file gets its old time stamp, so that the other
        build folders see nothing new, and the objects this build compiled from the mutant
        are removed; any other file (a header) is stamped now, so that every build notices."""
        target = os.path.join(ROOT, path)
        with open(target, "wb") as f:
            f.write(original)
        objects = objects_of(self.build, path)
        if objects:
            os.utime(target, ns=(atime_ns, mtime_ns))
            for obj in objects:
                if os.path.exists(obj):
                    os.remove(obj)
        else:
            os.utime(target)

    def _copy(self, path):
        return os.path.join(self.folder, path.replace("/", "%") + ".orig")

    def _record(self, path):
        return os.path.join(self.folder, path.replace("/", "%") + ".json")

    def repair_left_over(self):
        if not os.path.isdir(self.folder):
            return
        for name in sorted(os.listdir(self.folder)):
            if not name.endswith(".json"):
                continue
            with open(os.path.join(self.folder, name), encoding="utf-8") as f:
                record = json.load(f)
            with open(self._copy(record["path"]), "rb") as f:
                original = f.read()
            self._restore(record["path"], original, record["atime_ns"], record["mtime_ns"])
            print(f"mutation: put back {record['path']}, left mutated by an earlier run")
        shutil.rmtree(self.folder)

    def write(self, path, text):
        target = os.path.join(ROOT, path)
        with SignalsHeld():
            if path not in self.saved:
                with open(target, "rb") as f:
                    original = f.read()
                st = os.stat(target)
                os.makedirs(self.folder, exist_ok=True)
                with open(self._copy(path), "wb") as f:
                    f.write(original)
                    f.flush()
                    os.fsync(f.fileno())
                record = {"path": path, "atime_ns": st.st_atime_ns, "mtime_ns": st.st_mtime_ns}
                with open(self._record(path), "w", encoding="utf-8") as f:
                    json.dump(record, f)
                    f.flush()
                    os.fsync(f.fileno())
                self.saved[path] = (original, st)
            with open(target, "w", encoding="utf-8", newline="") as f:
                f.write(text)

    def put_back(self, path):
        """The original bytes and time stamps again, so other build trees stay up to date."""
        if path not in self.saved:
            return
        original, st = self.saved[path]
        with SignalsHeld():
            self._restore(path, original, st.st_atime_ns, st.st_mtime_ns)
            del self.saved[path]
            os.remove(self._record(path))
            os.remove(self._copy(path))
            if not self.saved:
                os.rmdir(self.folder)

    def put_back_all(self):
        for path in list(self.saved):
            self.put_back(path)


class Stop(Exception):
    pass


def stop_on_signal(signum, _frame):
    raise Stop(signal.Signals(signum).name)


# ---------------------------------------------------------------------------------------------
# Building and running


def build_environment():
    env = dict(os.environ)
    # The same compiler cache settings as scripts/build.sh, so that entries are shared.
    env.setdefault("CCACHE_BASEDIR", ROOT)
    if "CCACHE_HASHDIR" not in env:
        env["CCACHE_NOHASHDIR"] = "1"
    return env


def run_quiet(command, env=None, timeout=None):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          env=env, timeout=timeout, errors="replace")


def configure(build, jobs):
    # The normal build's flags (scripts/build.sh) without -Werror: a mutant that draws a
    # warning (an && swapped into an || wants parentheses) is still a program to test.
    command = [os.path.join(ROOT, "scripts", "build.sh"), build, "-DZOK_WERROR=OFF",
               "-DZOK_BUILD_GUI=OFF", "-DZOK_BUILD_TESTS=ON"]
    env = dict(os.environ, ZOK_BUILD_JOBS=str(jobs))
    # Configure only: building every target is not needed, the programs are built below.
    result = run_quiet(command + ["--", "help"], env=env)
    if result.returncode != 0:
        sys.exit(f"mutation: cannot configure {build}:\n{result.stdout}")


def build_targets(build, targets, jobs):
    result = run_quiet(["cmake", "--build", build, "-j", str(jobs), "--target", *targets],
                       env=build_environment())
    return result.returncode == 0, result.stdout


def objects_of(build, path):
    """The object files compiled from path in the build (from compile_commands.json)."""
    try:
        with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as f:
            commands = json.load(f)
    except FileNotFoundError:
        return []
    source = os.path.join(ROOT, path)
    found = []
    for entry in commands:
        if os.path.normpath(os.path.join(entry["directory"], entry["file"])) == source:
            output = entry.get("output")
            if output is None:
                match = re.search(r"-o (\S+)", entry.get("command", ""))
                output = match.group(1) if match else None
            if output:
                found.append(os.path.join(entry["directory"], output))
    return found


def program_path(build, target):
    for folder, _, files in os.walk(build):
        if target in files and os.access(os.path.join(folder, target), os.X_OK):
            return os.path.join(folder, target)
    return None


def run_program(program, gtest_filter, timeout):
    """'pass', 'fail' or 'timeout'; the program and its children are ended at the timeout."""
    command = [program, "--gtest_fail_fast", "--gtest_brief=1"]
    if gtest_filter:
        command.append(f"--gtest_filter={gtest_filter}")
    with subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          start_new_session=True, cwd=os.path.dirname(program)) as process:
        try:
            code = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            return "timeout"
        except BaseException:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            raise
    return "pass" if code == 0 else "fail"


# ---------------------------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(
        description="Mutate safety-critical files one line at a time and check that their "
                    "tests notice.")
    parser.add_argument("files", nargs="*", help="files of the configuration (default: all)")
    parser.add_argument("--config", default=DEFAULT_CONFIG)
    parser.add_argument("--build", default=DEFAULT_BUILD, help="build folder (build-mutation)")
    parser.add_argument("--max-mutants", type=int, metavar="N",
                        help="at most N mutants a file, sampled with --seed")
    parser.add_argument("--seed", default="1", help="seed of the sample (default 1)")
    parser.add_argument("--operators", help="comma-separated subset of: " + ", ".join(OPERATORS))
    parser.add_argument("--timeout-factor", type=float, default=3.0,
                        help="a test program may take this many times its unmutated time "
                             "(plus 10 s) before the mutant counts as timed out")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--list", action="store_true", help="print the mutants and stop")
    args = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)  # progress shows as it comes, also in a log

    config = read_config(args.config)
    files = args.files or config.order
    for path in files:
        if path not in config.files:
            sys.exit(f"mutation: {path} is not in {args.config}")
        if not os.path.isfile(os.path.join(ROOT, path)):
            sys.exit(f"mutation: {path} does not exist (moved? change {args.config})")
    operators = OPERATORS
    if args.operators:
        operators = args.operators.split(",")
        unknown = set(operators) - set(OPERATORS)
        if unknown:
            sys.exit(f"mutation: unknown operators {', '.join(sorted(unknown))}")

    build = os.path.abspath(args.build)
    # One run a source tree at a time, --list included: a second one would read (and restore)
    # the files the first has mutated, whatever build folder it names.
    lock = open(os.path.join("/tmp", "zok-mutation-" +
                             hashlib.sha256(ROOT.encode()).hexdigest()[:16] + ".lock"), "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        sys.exit(f"mutation: another run is mutating {ROOT}; wait until it ends")
    restorer = Restorer(build)
    restorer.repair_left_over()

    plan = {}
    originals = {}
    for path in files:
        with open(os.path.join(ROOT, path), encoding="utf-8", newline="") as f:
            originals[path] = f.read()
        every = mutants_of(path, originals[path])
        set_keys(every, originals[path])
        every = [m for m in every if m.operator in operators]
        for entry in config.equivalent:
            if entry["file"] == path:
                entry["used"] = any(m.operator == entry["operator"] and m.key == entry["line"]
                                    for m in every)
        plan[path] = sample(every, args.max_mutants, args.seed, path)
        for m in plan[path]:
            for entry in config.equivalent:
                if (entry["file"] == path and entry["operator"] == m.operator and
                        entry["line"] == m.key):
                    m.outcome, m.detail = "equivalent", entry["reason"]
        print(f"{path}: {len(plan[path])} mutants" +
              (f" (sampled from {len(every)}, seed {args.seed})"
               if len(plan[path]) < len(every) else ""))
    if args.list:
        for path in files:
            for m in plan[path]:
                mark = " (known equivalent)" if m.outcome == "equivalent" else ""
                print(f"  {m.place()} {m.operator}: {m.mutated.strip()}{mark}")
        return 0

    for signum in SIGNALS:
        signal.signal(signum, stop_on_signal)
    started = time.monotonic()
    status = 0
    try:
        run(args, config, files, plan, originals, build, restorer)
    except Stop as stop:
        print(f"\nmutation: stopped by {stop}")
        status = 130
    finally:
        for signum in SIGNALS:
            signal.signal(signum, signal.SIG_IGN)
        restorer.put_back_all()
        for path in files:
            with open(os.path.join(ROOT, path), encoding="utf-8", newline="") as f:
                if f.read() != originals[path]:
                    print(f"mutation: {path} is not as it was!", file=sys.stderr)
                    status = 1
    report(config, files, plan)
    print(f"mutation: {time.monotonic() - started:.0f} s; every file is as it was")
    return status


def run(args, config, files, plan, originals, build, restorer):
    jobs = args.jobs
    print(f"mutation: configuring {build}")
    configure(build, jobs)
    targets = sorted({t for path in files for t, _ in config.files[path]})
    print(f"mutation: building {' '.join(targets)} unmutated")
    ok, output = build_targets(build, targets, jobs)
    if not ok:
        sys.exit(f"mutation: the unmutated tree does not build:\n{output}")
    programs = {t: program_path(build, t) for t in targets}
    baseline = {}
    for path in files:
        for target, gtest_filter in config.files[path]:
            key = (target, gtest_filter)
            if key in baseline:
                continue
            began = time.monotonic()
            outcome = run_program(programs[target], gtest_filter, timeout=1800)
            baseline[key] = time.monotonic() - began
            if outcome != "pass":
                sys.exit(f"mutation: {target} fails without any mutant; fix that first")
            print(f"mutation: {target}{':' + gtest_filter if gtest_filter else ''} passes "
                  f"unmutated in {baseline[key]:.1f} s")

    total = sum(len(plan[path]) for path in files)
    done = 0
    for path in files:
        covering = config.files[path]
        needed = sorted({t for t, _ in covering})
        for mutant in plan[path]:
            done += 1
            if mutant.outcome == "equivalent":
                print(f"[{done}/{total}] {mutant.place()} {mutant.operator}: known equivalent")
                continue
            lines = originals[path].split("\n")
            lines[mutant.number - 1] = mutant.mutated
            restorer.write(path, "\n".join(lines))
            began = time.monotonic()
            built, _ = build_targets(build, needed, jobs)
            outcome, detail = "survived", ""
            if not built:
                outcome = "no-build"
            else:
                for target, gtest_filter in covering:
                    limit = args.timeout_factor * baseline[(target, gtest_filter)] + 10
                    result = run_program(programs[target], gtest_filter, limit)
                    if result != "pass":
                        outcome = "killed" if result == "fail" else "timeout"
                        detail = f" by {target}"
                        break
            mutant.outcome = outcome
            print(f"[{done}/{total}] {mutant.place()} {mutant.operator}: {outcome}{detail} "
                  f"({time.monotonic() - began:.0f} s)", flush=True)
        restorer.put_back(path)


def report(config, files, plan):
    print("\n== mutation results ==")
    # The score: mutants caught (killed or timed out) among those that could be caught, i.e.
    # that built, ran and are not known equivalent.
    print(f"{'file':36} {'mutants':>7} {'killed':>7} {'survived':>8} {'timeout':>7} "
          f"{'no build':>8} {'equiv.':>6} {'not run':>7} {'score':>6}")
    for path in files:
        counts = {}
        for m in plan[path]:
            counts[m.outcome] = counts.get(m.outcome, 0) + 1
        caught = counts.get('killed', 0) + counts.get('timeout', 0)
        judged = caught + counts.get('survived', 0)
        score = f"{100 * caught / judged:5.1f}%" if judged else "-"
        print(f"{path:36} {len(plan[path]):7} {counts.get('killed', 0):7} "
              f"{counts.get('survived', 0):8} {counts.get('timeout', 0):7} "
              f"{counts.get('no-build', 0):8} {counts.get('equivalent', 0):6} "
              f"{counts.get(None, 0):7} {score:>6}")
    survivors = [m for path in files for m in plan[path] if m.outcome == "survived"]
    if survivors:
        print("\nsurvived (a test is missing, or the mutant is equivalent: then add its line,"
              " with | and why, to the equivalent list):")
        for m in survivors:
            print(f"  {m.place()} {m.operator}: {m.mutated.strip()}\n"
                  f"      {m.path} | {m.operator} | {m.key}")
    equivalent = [m for path in files for m in plan[path] if m.outcome == "equivalent"]
    if equivalent:
        print("\nknown equivalent (not run, not counted as survivors):")
        for m in equivalent:
            print(f"  {m.place()} {m.operator}: {m.mutated.strip()}\n      because {m.detail}")
    stale = [e for e in config.equivalent if e["file"] in files and not e["used"]]
    if stale:
        print("\nequivalent entries that match no mutant any more (remove or update them):")
        for e in stale:
            print(f"  {e['file']} {e['operator']}: {e['line']}")


OPERATORS = ["flip", "bound", "andor", "drop-if", "drop-return", "value"]

if __name__ == "__main__":
    sys.exit(main())
