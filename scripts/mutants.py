#!/usr/bin/env python3
"""Mutation runs: do the tests catch the faults a developer would make?

For the files given (or every C++ file changed since a revision, or every
file of a folder) this plants one small, realistic fault at a time: a
comparison flipped, a condition negated or dropped, an integer off by one,
a call left out, a function that returns at once, two arguments swapped.
Each mutant is built and tested in a scratch copy of the tree with a build
folder of its own, so the working tree and build/ are never touched; the
scratch copy is kept between runs, so that its builds are incremental.

A mutant is killed when a test of the folder its file belongs to fails (or
runs out of time), survives when they all pass, and does not count when it
does not build. Mutants that change nothing observable can be listed in
tests/mutants-equivalent.txt, one per line:

    FILE<TAB>ORIGINAL LINE<TAB>MUTATED LINE<TAB>why it cannot be told apart

(the lines stripped of surrounding blanks); they are left out of the rates.

Examples:
    scripts/mutants.py store/IndexKey.cpp --count 10
    scripts/mutants.py --folder exchange --count 40 --seed 1
    scripts/mutants.py --since main~5 --count 20
"""

import argparse
import collections
import difflib
import filecmp
import json
import os
import random
import resource
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
SOURCE_SUFFIXES = (".cpp", ".h")
# The folders whose code is mutated, the test folders that judge them, and
# the test names to leave out there (long trials that other runs cover).
TESTS_OF = {
    "store": ["tests/store"],
    "files": ["tests/files", "tests/reliability"],  # the order of file steps is traced there
    "find": ["tests/find"],
    "exchange": ["tests/exchange"],
    "reports/engine": ["tests/reports/engine"],
    "reports": ["tests/reports"],
    "attachments": ["tests/attachments"],
    "cli": ["tests/cli"],
    "overview": ["tests/overview", "tests/cli"],  # the command line prints its figures
    "common": ["tests/common"],
    "shell": ["tests/shell"],
    "items": ["tests/items"],
    "appearance": ["tests/appearance"],
}
SKIPPED_DIRS = {".git", "build", "build-sanitize", "build-fuzz", "build-mutants"}
EQUIVALENT_FILE = os.path.join(ROOT, "tests", "mutants-equivalent.txt")


# ---------------------------------------------------------------- source text

def masked(line):
    """The line with string and character literals and comments blanked, so
    that rules match code only. Lengths are kept."""
    out = []
    i = 0
    quote = None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\" and i + 1 < len(line):
                out.append("  ")
                i += 2
                continue
            out.append(" " if c != quote else c)
            if c == quote:
                quote = None
            i += 1
            continue
        if c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            out.append(" " * (len(line) - i))
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def code_lines(text):
    """(index, line, masked line) of the lines that hold code: no block
    comments, no preprocessor lines, no blank lines."""
    result = []
    in_block = False
    for n, line in enumerate(text.split("\n")):
        stripped = line.strip()
        if in_block:
            if "*/" in stripped:
                in_block = False
            continue
        if stripped.startswith("/*"):
            in_block = "*/" not in stripped
            continue
        if not stripped or stripped.startswith("#") or stripped.startswith("//"):
            continue
        result.append((n, line, masked(line)))
    return result


def matching_paren(text, open_at):
    depth = 0
    for i in range(open_at, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


# ---------------------------------------------------------------- rules

Mutant = collections.namedtuple("Mutant", "file line original mutated rule")

SWAPS = [(" < ", " <= "), (" <= ", " < "), (" > ", " >= "), (" >= ", " > "), (" == ", " != "),
         (" != ", " == "), (" && ", " || "), (" || ", " && ")]
CALL_STATEMENT = re.compile(r"^\s*(?!return\b|delete\b|throw\b|co_return\b)[A-Za-z_][\w:.\->\[\]]*\s*\(.*\)\s*;\s*$")
DECLARATION_START = re.compile(r"^\s*(const\s+)?[A-Za-z_][\w:<>,\s*&]*\s+[A-Za-z_]\w*\s*[({=]")
INTEGER = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
FUNCTION_START = re.compile(r"^(?!\s)(?!(if|for|while|switch|namespace|class|struct|enum|else|do|catch|try)\b)"
                            r"[^;=]*\)\s*(const\s*)?(noexcept\s*)?\{\s*$")
TWO_ARGUMENTS = re.compile(r"\b([A-Za-z_]\w*)\(([A-Za-z_][\w.]*), ([A-Za-z_][\w.]*)\)")


def mutants_of(path):
    rel = os.path.relpath(path, ROOT)
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    found = []

    def add(n, line, new, rule):
        if new != line:
            found.append(Mutant(rel, n, line, new, rule))

    for n, line, code in code_lines(text):
        for a, b in SWAPS:
            start = 0
            while True:
                at = code.find(a, start)
                if at < 0:
                    break
                add(n, line, line[:at] + b + line[at + len(a):], "'%s' -> '%s'" % (a.strip(), b.strip()))
                start = at + 1
        # Drop a "!", or negate a whole condition.
        for m in re.finditer(r"(?<=[(\s])!(?!=)", code):
            add(n, line, line[:m.start()] + line[m.start() + 1:], "drop '!'")
        m = re.search(r"\b(if|while) \(", code)
        if m:
            open_at = m.end() - 1
            close = matching_paren(code, open_at)
            if close > 0:
                inner = line[open_at + 1:close]
                add(n, line, line[:open_at + 1] + "!(" + inner + ")" + line[close:], "negate the condition")
        for m in INTEGER.finditer(code):
            if len(m.group(1)) > 1 and m.group(1).startswith("0"):
                continue  # octal
            value = int(m.group(1))
            for delta in (1, -1):
                if value + delta >= 0:
                    add(n, line, line[:m.start()] + str(value + delta) + line[m.end():],
                        "%d -> %d" % (value, value + delta))
        if CALL_STATEMENT.match(code) and not DECLARATION_START.match(code) and code.rstrip().endswith(");"):
            indent = line[:len(line) - len(line.lstrip())]
            add(n, line, indent + ";", "remove the call")
        if FUNCTION_START.match(code):
            returns = "return;" if re.match(r"^(static\s+)?(inline\s+)?void\b", code) or "::~" in code or \
                re.match(r"^[A-Za-z_]\w*::[A-Za-z_]\w*\(", code) else "return {};"
            add(n, line, line.rstrip() + " " + returns, "return at once")
        for m in TWO_ARGUMENTS.finditer(code):
            if m.group(2) != m.group(3):
                add(n, line, line[:m.start(2)] + m.group(3) + ", " + m.group(2) + line[m.end(3):],
                    "swap the arguments of %s" % m.group(1))
    return found


def folder_of(rel):
    for folder in sorted(TESTS_OF, key=len, reverse=True):
        if rel.startswith(folder + "/"):
            return folder
    return None


# ---------------------------------------------------------------- the scratch tree

def sync_tree(scratch):
    """Makes scratch hold the working tree's files; files that did not change
    keep their times, so that the build there stays incremental."""
    os.makedirs(scratch, exist_ok=True)
    seen = set()
    for dirpath, dirnames, filenames in os.walk(ROOT):
        rel_dir = os.path.relpath(dirpath, ROOT)
        dirnames[:] = [d for d in dirnames if d not in SKIPPED_DIRS and not (rel_dir == "." and d.startswith("build"))]
        for name in filenames:
            rel = os.path.normpath(os.path.join(rel_dir, name))
            seen.add(rel)
            source, target = os.path.join(ROOT, rel), os.path.join(scratch, rel)
            if os.path.exists(target) and filecmp.cmp(source, target, shallow=False):
                continue
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(source, target)
            shutil.copymode(source, target)
    # The fixtures beside the tree.
    shared = os.path.join(ROOT, "..", "shared")
    scratch_shared = os.path.join(scratch, "..", "shared")
    if os.path.isdir(shared) and not os.path.exists(scratch_shared):
        os.symlink(os.path.abspath(shared), scratch_shared)
    for dirpath, dirnames, filenames in os.walk(scratch):
        rel_dir = os.path.relpath(dirpath, scratch)
        dirnames[:] = [d for d in dirnames if d not in SKIPPED_DIRS and not (rel_dir == "." and d.startswith("build"))]
        for name in filenames:
            rel = os.path.normpath(os.path.join(rel_dir, name))
            if rel not in seen:
                os.unlink(os.path.join(scratch, rel))


# The most a test of a mutant may write to one file. A mutant that loops
# while it writes would otherwise fill the disk before its time is up (one
# filled 80 GB); past the limit the test is stopped and the mutant counts as
# killed.
FILE_SIZE_LIMIT = 2 << 30
# The most memory a process of a mutant's tests may map. One that allocates
# without end (a loop that appends) would otherwise take the machine's
# memory, and the kernel would end whatever process it chose; past the limit
# its allocation fails and the mutant counts as killed.
MEMORY_LIMIT = 8 << 30


def limit_file_size_and_memory():
    resource.setrlimit(resource.RLIMIT_FSIZE, (FILE_SIZE_LIMIT, FILE_SIZE_LIMIT))
    resource.setrlimit(resource.RLIMIT_AS, (MEMORY_LIMIT, MEMORY_LIMIT))


def run(cmd, cwd, timeout=None, env=None, merge=True, limited=False):
    # A session of its own, so that a timeout ends the tests ctest started
    # too: a test left running could hold a lock the next mutant waits for.
    p = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT if merge else subprocess.DEVNULL,
                         env=env, start_new_session=True, preexec_fn=limit_file_size_and_memory if limited else None)
    try:
        out, _ = p.communicate(timeout=timeout)
        return p.returncode, out.decode(errors="replace")
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        out, _ = p.communicate()
        return None, (out or b"").decode(errors="replace")


class Scratch:
    def __init__(self, path, test_timeout):
        self.path = os.path.abspath(path)
        self.tree = os.path.join(self.path, "main")
        self.build = os.path.join(self.tree, "build-mutants")
        self.test_timeout = test_timeout
        # Temporary files of the tests in a folder of the run's own, emptied
        # before each mutant's tests: a test stopped midway leaves its files.
        # It lies in the system's temporary folder, open to all like it, since
        # some tests drop to another user.
        self.tmp = os.path.join(tempfile.gettempdir(), "halvenor-mutants-%s-tmp" % os.path.basename(self.path))
        self.env = dict(os.environ, QT_QPA_PLATFORM="offscreen", TMPDIR=self.tmp)
        self._targets = {}

    def prepare(self):
        sync_tree(self.tree)
        if not os.path.exists(os.path.join(self.build, "build.ninja")):
            self.configure()
        else:
            # Tests added since the last run: the build files learn of them.
            run(["ninja", "-C", self.build, "build.ninja"], self.tree)

    def configure(self):
        code, out = run(["cmake", "-S", self.tree, "-B", self.build, "-G", "Ninja",
                         "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1"], self.tree)
        if code != 0:
            sys.exit("mutants: the scratch tree does not configure:\n" + out[-3000:])

    def repair(self, test_dirs):
        """A mutant that removes files may have emptied the folder its tests
        ran in (a path turned into the working folder): configure again so
        that the next build makes what went."""
        if not os.path.exists(os.path.join(self.build, "build.ninja")) or any(
                not os.path.exists(os.path.join(self.build, d, "CTestTestfile.cmake")) for d in test_dirs):
            self.configure()
            self._targets = {}

    def targets(self, test_dir):
        """The executables the tests of a folder run, to build no more than they need."""
        if test_dir not in self._targets:
            code, out = run(["ctest", "--show-only=json-v1"], os.path.join(self.build, test_dir), env=self.env,
                            merge=False)
            names = set()
            unnamed = code != 0
            if code == 0:
                for test in json.loads(out).get("tests", []):
                    command = test.get("command") or []
                    if command:
                        names.add(os.path.basename(command[0]))
                    else:
                        unnamed = True
            if unnamed:
                # ctest names no command for a program not built yet: take
                # it from the test file that names it.
                listing = os.path.join(self.build, test_dir, "CTestTestfile.cmake")
                if os.path.exists(listing):
                    with open(listing, encoding="utf-8") as f:
                        for program in re.findall(r'^add_test\(\S+ "([^"]+)"', f.read(), re.M):
                            names.add(os.path.basename(program))
            self._targets[test_dir] = sorted(n for n in names if not n.endswith(".sh") and n not in ("bash", "sh"))
            if not self._targets[test_dir]:
                sys.exit("mutants: no tests found in " + test_dir)
        return self._targets[test_dir]

    def build_for(self, test_dirs):
        targets = []
        for d in test_dirs:
            targets += self.targets(d)
        if any(d == "tests/cli" for d in test_dirs):
            targets.append("halvenor")
        code, out = run(["ninja", "-C", self.build] + sorted(set(targets)), self.tree)
        return code == 0, out

    def test(self, test_dirs):
        """True when every test passes, False when one fails, None on a timeout."""
        shutil.rmtree(self.tmp, ignore_errors=True)
        os.makedirs(self.tmp)
        os.chmod(self.tmp, 0o1777)
        for d in test_dirs:
            code, out = run(["ctest", "--stop-on-failure", "-j%d" % (os.cpu_count() or 2), "--timeout",
                             str(self.test_timeout), "-LE", "fuzz"], os.path.join(self.build, d),
                            timeout=self.test_timeout * 2, env=self.env, limited=True)
            if code is None:
                return None, out
            if code != 0:
                return False, out
        return True, ""


# ---------------------------------------------------------------- the run

def load_equivalent():
    entries = set()
    if os.path.exists(EQUIVALENT_FILE):
        with open(EQUIVALENT_FILE, encoding="utf-8") as f:
            for line in f:
                if line.startswith("#") or not line.strip():
                    continue
                parts = line.rstrip("\n").split("\t")
                if len(parts) >= 4:
                    entries.add((parts[0], parts[1].strip(), parts[2].strip()))
    return entries


def changed_since(rev):
    out = subprocess.run(["git", "diff", "--name-only", rev, "--"], cwd=ROOT, stdout=subprocess.PIPE, check=True)
    files = out.stdout.decode().split()
    untracked = subprocess.run(["git", "ls-files", "--others", "--exclude-standard"], cwd=ROOT, stdout=subprocess.PIPE,
                               check=True).stdout.decode().split()
    return files + untracked


def chosen_files(args):
    files = []
    if args.since:
        files += changed_since(args.since)
    for folder in args.folder or []:
        for dirpath, _, filenames in os.walk(os.path.join(ROOT, folder)):
            rel_dir = os.path.relpath(dirpath, ROOT)
            if folder_of(os.path.join(rel_dir, "x")) != folder:
                continue  # a subfolder with tests of its own (reports/engine)
            files += [os.path.join(rel_dir, f) for f in filenames]
    files += [os.path.relpath(os.path.abspath(f), ROOT) for f in args.files]
    keep = []
    for f in files:
        f = os.path.normpath(f)
        if f.endswith(SOURCE_SUFFIXES) and folder_of(f) and os.path.exists(os.path.join(ROOT, f)) and f not in keep:
            keep.append(f)
    return sorted(keep)


def rate(counts):
    judged = counts["killed"] + counts["timed out"] + counts["survived"]
    return (100.0 * (counts["killed"] + counts["timed out"]) / judged) if judged else None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("files", nargs="*", help="source files to mutate")
    parser.add_argument("--since", help="mutate the files changed since this revision")
    parser.add_argument("--folder", action="append", help="mutate the files of a folder (store, reports/engine ...)")
    parser.add_argument("--count", type=int, default=20, help="mutants that build, drawn at random (20)")
    parser.add_argument("--seed", type=int, default=1, help="seed of the draw (1)")
    parser.add_argument("--timeout", type=int, default=300, help="seconds a test may take (300)")
    parser.add_argument("--scratch", default=os.path.join(os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache")),
                                                          "halvenor-mutants"),
                        help="where the scratch tree and its build live (kept between runs)")
    parser.add_argument("--list", action="store_true", help="only list the mutants that would be drawn")
    args = parser.parse_args()

    files = chosen_files(args)
    if not files:
        sys.exit("mutants: no C++ source files of a tested folder were chosen")
    equivalent = load_equivalent()
    candidates = []
    for f in files:
        candidates += [m for m in mutants_of(os.path.join(ROOT, f))
                       if (m.file, m.original.strip(), m.mutated.strip()) not in equivalent]
    rng = random.Random(args.seed)
    rng.shuffle(candidates)
    print("mutants: %d files, %d possible mutants" % (len(files), len(candidates)))
    if args.list:
        for m in candidates[:args.count]:
            print("%s:%d  %s\n    - %s\n    + %s" % (m.file, m.line + 1, m.rule, m.original.strip(), m.mutated.strip()))
        return 0

    scratch = Scratch(args.scratch, args.timeout)
    scratch.prepare()
    folders = sorted({folder_of(f) for f in files})
    test_dirs = sorted({d for f in folders for d in TESTS_OF[f]})
    scratch.repair(test_dirs)
    print("mutants: building the scratch tree and running the tests unchanged ...", flush=True)
    built, out = scratch.build_for(test_dirs)
    if not built:
        sys.exit("mutants: the scratch tree does not build:\n" + out[-3000:])
    for folder in folders:
        passed, out = scratch.test(TESTS_OF[folder])
        if not passed:
            sys.exit("mutants: the tests of %s fail without any mutant:\n%s" % (folder, out[-3000:]))

    results = []
    by_file = collections.defaultdict(collections.Counter)
    by_folder = collections.defaultdict(collections.Counter)
    survivors = []
    tried = 0
    started = time.time()
    for m in candidates:
        if sum(1 for r in results if r[1] != "did not build") >= args.count or tried >= args.count * 3:
            break
        tried += 1
        path = os.path.join(scratch.tree, m.file)
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            original = f.read()
        lines = original.split("\n")
        lines[m.line] = m.mutated
        try:
            with open(path, "w", encoding="utf-8", errors="surrogateescape") as f:
                f.write("\n".join(lines))
            folder = folder_of(m.file)
            built, _ = scratch.build_for(TESTS_OF[folder])
            if not built:
                outcome = "did not build"
            else:
                passed, _ = scratch.test(TESTS_OF[folder])
                outcome = "survived" if passed else ("timed out" if passed is None else "killed")
        finally:
            with open(path, "w", encoding="utf-8", errors="surrogateescape") as f:
                f.write(original)
            scratch.repair(TESTS_OF[folder_of(m.file)])
        results.append((m, outcome))
        by_file[m.file][outcome] += 1
        by_folder[folder_of(m.file)][outcome] += 1
        if outcome == "survived":
            survivors.append(m)
        print("[%d] %-13s %s:%d  %s" % (tried, outcome, m.file, m.line + 1, m.rule), flush=True)
    # The last mutant's file is back as it was: build it so the next run
    # starts from the tree as it is.
    scratch.build_for(test_dirs)

    print("\nby file:")
    for f in sorted(by_file):
        c = by_file[f]
        r = rate(c)
        print("  %-40s killed %2d  timed out %2d  survived %2d  did not build %2d  %s" % (
            f, c["killed"], c["timed out"], c["survived"], c["did not build"], "-" if r is None else "%.0f %%" % r))
    print("by folder:")
    total = collections.Counter()
    for f in sorted(by_folder):
        c = by_folder[f]
        total.update(c)
        r = rate(c)
        print("  %-40s killed %2d  timed out %2d  survived %2d  did not build %2d  %s" % (
            f, c["killed"], c["timed out"], c["survived"], c["did not build"], "-" if r is None else "%.0f %%" % r))
    r = rate(total)
    print("all: %s of %d mutants that built were killed (%.0f minutes)" % (
        "-" if r is None else "%.0f %%" % r, total["killed"] + total["timed out"] + total["survived"],
        (time.time() - started) / 60))
    if survivors:
        print("\nsurvivors:")
        for m in survivors:
            diff = difflib.unified_diff([m.original + "\n"], [m.mutated + "\n"], "a/" + m.file, "b/" + m.file,
                                        lineterm="\n", n=0)
            print("%s:%d  %s" % (m.file, m.line + 1, m.rule))
            sys.stdout.writelines(["    " + d for d in list(diff)[2:]])
    return 0


if __name__ == "__main__":
    sys.exit(main())
