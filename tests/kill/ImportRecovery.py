"""The import's recovery against real processes: other programs beside a
running import, a project folder copied while it runs, kills during the
import, during its own undo and during the recovery at the next load, an
undo that cannot finish followed by a day of work, and a journal copied in
from another project.

The project and the next edition of the package are prepared as for the kill
runs (ImportKills.py), and three objects outside the package are added to
the project (AUS-0001 to AUS-0003). The reference states are made by runs
nobody disturbs: the project before the import, after it, and after the
other programs' work done before or after it. What a project holds is read
by project_state.py, whose readers are not the plug-in's; the files of a
folder are compared by their bytes.

others      A second kartul-sim at a random moment of an import:
            - one that loads the project and closes it: it never takes the
              import back; it tells nothing, or that another program is
              importing (naming the package); the import goes through;
            - one that imports another package (new objects of another
              transaction): the later one is refused as busy, or the two run
              one after the other; the project holds one whole state;
            - one that edits objects outside the package and makes new ones:
              all it wrote survives, and the import's part is whole.
copy        The project folder copied (shutil.copytree) at a random moment of
            an import. The copy is loaded before the original or after it:
            it ends wholly before or wholly after the import, and its load
            changes no byte of the original (nor opens a file there, where
            strace is installed). A copy is no snapshot: one whose listing
            came before the import's journal may still hold files the import
            changed, with nothing to tell; such copies are counted, not
            failed.
kills       An import killed at random (until a kill leaves a journal), then
            the load that takes it back killed at random, then another load:
            wholly before or after. And an import that fails late (the host
            refuses the package's attribute file) killed at random, until a
            kill falls in its own undo, then a load: wholly before.
unfinished  An import killed after it replaced objects, its snapshot of them
            removed: the load cannot bring them back and the mapper leaves
            the journal for later. A day of work follows (rows, objects and a
            picture of the package and outside it); the next load keeps every
            bit of it and names the package's part as kept. The mapper then
            sets the journal aside: nothing changes, the journal lies as
            TA_IMPORT.jnl.beiseite. And a journal copied from another project
            (with and without the import's folder) is set aside as .fremd,
            changing nothing else there or in its own project.

A failing run keeps its folder and names it.

Usage: ImportRecovery.py CASE... --sim <kartul-sim> --bin <folder of mkjpeg>
                         --scenarios <tests/scenarios> [--build NAME] [--runs N]
                         [--objects N] [--seed N]
CASE is others, copy, kills, unfinished or all. VANDRA_KILL_RUNS and
VANDRA_KILL_SEED override --runs and --seed (a long run: VANDRA_KILL_RUNS=200).
"""
import argparse
import hashlib
import os
import random
import re
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

import dbfread

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ImportKills  # noqa: E402
import project_state  # noqa: E402  (put on the path by ImportKills)

JOURNAL = "TA_IMPORT.jnl"
FOLDER = "TA_IMPORT.tmp"
BUSY = "Ein anderes Programm importiert gerade "
# The host's database keeps its write-ahead log beside it while a
# connection is open; whether it is there after a run says which process
# closed last, not what the project holds.
HOST_LOG = {"datei KTProjekt.db-wal", "datei KTProjekt.db-shm"}
OUTSIDE = ["AUS-0001", "AUS-0002", "AUS-0003"]
CASES = ["others", "copy", "kills", "unfinished"]


# ---- Programs -----------------------------------------------------------------------

class Sim:
    """One kartul-sim on a scenario of its own, with its dialog transcript and
    its output in files beside the scenario."""

    def __init__(self, ctx, folder, name, lines, trace=None):
        self.ctx = ctx
        self.base = os.path.join(folder, name)
        with open(self.base + ".kts", "w", encoding="utf-8") as f:
            f.write("\n".join([f"plugin {ctx.args.build}"] + lines) + "\n")
        for suffix in (".txt", ".out", ".strace"):
            if os.path.exists(self.base + suffix):
                os.remove(self.base + suffix)
        self.trace = trace
        self.process = None
        self.status = None
        self.seconds = None

    def start(self):
        command = [self.ctx.args.sim, "--quiet", "--transcript", self.base + ".txt",
                   self.base + ".kts"]
        if self.trace:
            # -y: a call on a folder's descriptor names the folder too.
            command = [self.trace, "-f", "-qq", "-y", "-s", "4096", "-e",
                       "trace=%file,%desc", "-o", self.base + ".strace"] + command
        env = dict(os.environ, LC_ALL="C.UTF-8")
        if self.trace:
            # The leak checker of a sanitizer build cannot run under ptrace;
            # the untraced runs still check for leaks.
            env["ASAN_OPTIONS"] = ":".join(
                [o for o in env.get("ASAN_OPTIONS", "").split(":") if o and
                 not o.startswith("detect_leaks=")] + ["detect_leaks=0"])
        self.out = open(self.base + ".out", "w", encoding="utf-8")
        self.started = time.monotonic()
        self.process = subprocess.Popen(command, stdout=self.out, stderr=subprocess.STDOUT,
                                        env=env)
        return self

    def wait(self, timeout=120):
        try:
            self.status = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.send_signal(signal.SIGKILL)
            self.process.wait()
            self.status = "hangs"
        self.seconds = time.monotonic() - self.started
        self.out.close()
        return self.status

    def run(self):
        return self.start().wait()

    def kill_after(self, seconds):
        """Kills the program after `seconds` (counted from its start) unless it
        ended before; answers whether it was killed."""
        self.start()
        try:
            self.status = self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            self.process.send_signal(signal.SIGKILL)
            self.status = self.process.wait()
        self.out.close()
        return self.status == -signal.SIGKILL

    def output(self):
        return read_text(self.base + ".out")

    def transcript(self):
        return read_text(self.base + ".txt")

    def messages(self):
        """The message boxes shown, their text as the transcript keeps it
        (a line break as \\r)."""
        return [line.split(": ", 1)[1] for line in self.transcript().splitlines()
                if line.startswith("message ") and ": " in line]

    def unexpected(self):
        return [line for line in self.transcript().splitlines() if line.startswith("UNEXPECTED")]

    def answered(self):
        """What the import hook answered: True, False, or None."""
        found = re.findall(r"VD1CustomImport answered (true|false)", self.output())
        return None if not found else found[-1] == "true"

    def opened_below(self, folder):
        """The paths below `folder` the traced program named in a call, or
        reached through a descriptor."""
        if not self.trace or not os.path.exists(self.base + ".strace"):
            return []
        inside = os.path.realpath(folder)
        trace = read_text(self.base + ".strace")
        paths = set()
        for named in re.findall(r'"((?:[^"\\]|\\.)*)"', trace) + re.findall(r"<(/[^<>]*)>", trace):
            path = os.path.realpath(named) if named.startswith("/") else None
            if path and (path == inside or path.startswith(inside + os.sep)):
                paths.add(named)
        return sorted(paths)

    def tail(self):
        return "\n    " + "\n    ".join((self.output() + self.transcript()).splitlines()[-25:])


def read_text(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""


def import_lines(project, package, local_work=True, succeeds=False, pause=None):
    """An import; with `pause`, the project is open that many seconds before
    it begins."""
    lines = [f"open {project}"]
    if pause is not None:
        lines.append(f"exec /bin/sleep {pause:.3f}")
    lines.append(f'answer file "{package}/gross.tid"')
    if local_work:
        lines += ["answer form TFormLokaleArbeit", "answer click BtnUebernehmen"]
    lines += ["answer message OK", "run VD1CustomImport"]
    if succeeds:
        lines.append("expect hook VD1CustomImport true")
    return lines + ["close"]


def load_lines(project, *answers):
    return [f"answer {a}" for a in answers] + [f"open {project}", "close"]


# ---- What a project holds ---------------------------------------------------------------

def content(project, created=()):
    """project_state's lines without the host's write-ahead log. The row the
    plug-in writes in TA_LIST for an object made in the project carries the
    object's id, which depends on what else was made meanwhile: for the
    identifiers in `created` the id is checked against the object and
    written as the identifier's."""
    lines = [line for line in project_state.state(project) if line not in HOST_LOG]
    if not created:
        return lines
    db = sqlite3.connect("file:" + os.path.join(project, "KTProjekt.db") + "?mode=ro", uri=True)
    ids = {k: str(i) for (i, k) in db.execute("select ID, KENNUNG from KT_OBJEKTE")}
    db.close()
    out = []
    for line in lines:
        if line.startswith("TA_LIST "):
            fields = line[len("TA_LIST "):].split("|")
            if len(fields) > 4 and fields[4] in created:
                good = fields[1] == ids.get(fields[4])
                fields[1] = f"id({fields[4]})" if good else f"not the id of {fields[4]}"
                line = "TA_LIST " + "|".join(fields)
        out.append(line)
    return sorted(out)


def without_journal(lines):
    return [line for line in lines if not line.startswith("datei TA_IMPORT.")]


def tree(folder):
    """Every entry below the folder: a file with the checksum of its bytes, a
    folder as such. The host database's shared-memory index holds no data,
    and its write-ahead log, when empty, none either: which process closed
    the database last decides whether they are there."""
    entries = {}
    for path, folders, names in os.walk(folder):
        for name in folders:
            entries[os.path.relpath(os.path.join(path, name), folder)] = "folder"
        for name in names:
            full = os.path.join(path, name)
            if name == "KTProjekt.db-shm" or (name == "KTProjekt.db-wal" and
                                               os.path.getsize(full) == 0):
                continue
            with open(full, "rb") as f:
                entries[os.path.relpath(full, folder)] = hashlib.sha1(f.read()).hexdigest()
    return entries


def tree_difference(was, now):
    names = sorted(set(was) | set(now))
    return [f"{n}: {was.get(n, 'missing')} -> {now.get(n, 'missing')}" for n in names
            if was.get(n) != now.get(n)]


def difference(state, reference, limit=8):
    return sorted(set(state) ^ set(reference))[:limit]


def journal_records(project):
    records = []
    for line in read_text(os.path.join(project, JOURNAL)).splitlines():
        records.append(line.split("\t"))
    return records


def object_ids(project):
    db = sqlite3.connect("file:" + os.path.join(project, "KTProjekt.db") + "?mode=ro", uri=True)
    ids = {k: i for (i, k) in db.execute("select ID, KENNUNG from KT_OBJEKTE")}
    db.close()
    return ids


# ---- Preparation --------------------------------------------------------------------------

class Context:
    def __init__(self, args, work, rng):
        self.args = args
        self.work = work
        self.rng = rng
        self.failures = []
        self.reports = []
        self.strace = shutil.which("strace")
        # A machine may forbid tracing (no ptrace in a container): then the
        # bytes of the original alone tell.
        if self.strace and subprocess.run(
                [self.strace, "-f", "-qq", "-o", os.devnull, "/bin/true"],
                capture_output=True).returncode != 0:
            self.strace = None
        self.kills = 0

    def folder(self, name):
        path = os.path.join(self.work, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def project_copy(self, folder, name="projekt", source=None):
        path = os.path.join(folder, name)
        shutil.copytree(source or self.base, path)
        return path

    def expect(self, sim, what):
        """Runs a program that must go through without a dialog nobody
        expected; answers its problems."""
        status = sim.run()
        if status != 0 or sim.unexpected():
            return [f"{what} ended with {status}:{sim.tail()}"]
        return []

    def quiet_load(self, folder, project, what="one more load"):
        """A load that must find nothing to do and say nothing."""
        sim = Sim(self, folder, "laden", load_lines(project))
        problems = self.expect(sim, what)
        if sim.messages():
            problems.append(f"{what} told the mapper: {sim.messages()}")
        for name in (JOURNAL, FOLDER):
            if os.path.exists(os.path.join(project, name)):
                problems.append(f"{name} is still there after {what}")
        return problems

    def record(self, case, run, folder, problems, detail=""):
        if problems:
            self.failures.append(f"{case} run {run}{detail}, kept in {folder}:\n  " +
                                 "\n  ".join(problems))
            return False
        shutil.rmtree(folder)
        return True


def prepare(ctx):
    """The project before the import (with objects outside the package), the
    package, and the states before and after an import nobody disturbs."""
    base, package = ImportKills.prepare(ctx.args, ctx.work)
    lines = [f"open {base}", "bind before-create-object -"]
    for i, k in enumerate(OUTSIDE):
        x = 2400000 + 100 * i
        lines += [f"create NSG area {x} 5600000 {x + 50} 5600000 {x + 50} 5600040 as {k}",
                  f"activate {k}", f'set linfos NAME "außerhalb {i}"', "post linfos"]
    lines.append("close")
    prep = ctx.folder("vorbereitung")
    problems = ctx.expect(Sim(ctx, prep, "aussen", lines), "adding the objects outside")
    if problems:
        sys.exit("\n".join(problems))
    ctx.base, ctx.package = base, package
    ctx.before = content(base)

    # The import nobody disturbs, three times: the middle time is the
    # course the random moments fall in.
    times = []
    for i in range(3):
        reference = os.path.join(ctx.work, f"nachher{i}")
        shutil.copytree(base, reference)
        sim = Sim(ctx, prep, "import", import_lines(reference, package, succeeds=True))
        problems = ctx.expect(sim, "the import nobody disturbs")
        if problems:
            sys.exit("\n".join(problems))
        times.append(sim.seconds)
        if i and content(reference) != ctx.after:
            sys.exit("two imports nobody disturbs differ: "
                     f"{difference(content(reference), ctx.after)}")
        ctx.after = content(reference)
    ctx.whole = sorted(times)[1]
    if ctx.after == ctx.before:
        sys.exit("the import changed nothing: the runs would prove nothing")
    # A load with nothing to do, timed likewise: a second program's course.
    times = []
    for _ in range(3):
        sim = Sim(ctx, prep, "laden", load_lines(reference))
        problems = ctx.expect(sim, "a load of the imported project")
        if problems:
            sys.exit("\n".join(problems))
        times.append(sim.seconds)
    ctx.load = sorted(times)[1]
    ctx.importing = max(0.02, ctx.whole - ctx.load)
    shutil.rmtree(prep)


def sequential(ctx, name, steps, created=()):
    """A reference: the steps (scenario lines taking the project's path) run
    one after the other on a copy of the project before the import."""
    folder = ctx.folder("ref-" + name)
    project = ctx.project_copy(folder)
    for i, step in enumerate(steps):
        problems = ctx.expect(Sim(ctx, folder, f"schritt{i}", step(project)),
                              f"step {i} of the reference {name}")
        if problems:
            sys.exit("\n".join(problems))
    state = content(project, created)
    shutil.rmtree(folder)
    return state


def at_random_moment(ctx, first, second, lead):
    """Starts `first`, and `second` at a random moment of its course (or up
    to `lead` seconds before it); waits for both."""
    delay = ctx.rng.uniform(-lead, ctx.whole)
    if delay < 0:
        second.start()
        time.sleep(-delay)
        first.start()
    else:
        first.start()
        time.sleep(delay)
        second.start()
    first.wait()
    second.wait()
    return delay


def both_open(first, second):
    """Starts two programs that open the project at once and pause (as
    pauses() says) before their work."""
    first.start()
    second.start()
    first.wait()
    second.wait()


def pauses(ctx, lead):
    """The pause of the first program and of the second, which begins its
    work at a random moment of the first one's import (or up to `lead`
    seconds before it)."""
    pause = 2 * ctx.load + lead
    delay = ctx.rng.uniform(-lead, ctx.importing)
    return pause, pause + delay, delay


# ---- Other programs beside the import ---------------------------------------------------

def write_other_package(ctx):
    """A package of another transaction: objects, free identifiers and
    photos the project does not have, so that it and the package under test
    import in either order with the same dialogs."""
    folder = os.path.join(ctx.work, "andere")
    central = os.path.join(ctx.work, "zentrale-andere")
    n = 12
    lines = [f"new-project {central}", "bind before-create-object -"]
    for i in range(n):
        x = 2700000 + 100 * i
        lines.append(f"create FFH area {x} 5600000 {x + 50} 5600000 {x + 50} 5600040 "
                     f"as NEU-{i:05d}")
    lines += [f"exec /bin/mkdir -p {folder}", "select all", f"export-geodata {folder}/gross.shp",
              f"export-xml {folder}/gross.xml", "close"]
    prep = ctx.folder("vorbereitung-andere")
    problems = ctx.expect(Sim(ctx, prep, "zentrale", lines), "the other package's geodata")
    if problems:
        sys.exit("\n".join(problems))
    shutil.rmtree(prep)
    rows = [(f"NEU-{i:05d}", 4712, i + 1, 80000 + i, 1) for i in range(n)]
    ImportKills.write_package(folder, "gross", 4712, rows,
                              [(4712, f"NEU-9{i:04d}") for i in range(5)],
                              [(600 + i, f"NEUFOTO{i}.JPG") for i in range(3)],
                              os.path.join(ctx.args.bin, "mkjpeg"))
    return folder


def check_busy(sim, package, at_import):
    """The messages of a program beside an import: none, or that another
    program imports (the package named, where it is)."""
    problems, told = [], None
    for text in sim.messages():
        if not text.startswith(BUSY):
            problems.append(f"it told the mapper: {text}")
            continue
        named = text[len(BUSY):]
        if named.startswith("das Transaktionspaket "):
            if not named.startswith(f"das Transaktionspaket {package}/gross in dieses Projekt."):
                problems.append(f"the busy message names another package: {text}")
            told = "named"
        elif named.startswith("ein Transaktionspaket in dieses Projekt."):
            told = told or "unnamed"
        else:
            problems.append(f"the busy message is garbled: {text}")
        tail = ("Solange es importiert, wird kein weiteres Paket importiert." if at_import else
                "bleibt unberührt; das Projekt ist erst vollständig, wenn dieser Import endet.")
        if not text.endswith(tail):
            problems.append(f"the busy message does not end as it should: {text}")
    return problems, told


def case_second_load(ctx, runs):
    told = {"named": 0, "unnamed": 0, None: 0}
    for run in range(runs):
        folder = ctx.folder(f"laden{run}")
        project = ctx.project_copy(folder)
        importer = Sim(ctx, folder, "import", import_lines(project, ctx.package, succeeds=True))
        # Every message the second program may show is this one box.
        second = Sim(ctx, folder, "zweites", load_lines(project, "message OK"))
        delay = at_random_moment(ctx, importer, second, ctx.load)
        problems = []
        if importer.status != 0 or importer.unexpected():
            problems.append(f"the import ended with {importer.status}:{importer.tail()}")
        if second.status != 0:
            problems.append(f"the second program ended with {second.status}:{second.tail()}")
        busy, how = check_busy(second, ctx.package, False)
        problems += busy
        told[how] += 1
        problems += ctx.quiet_load(folder, project)
        state = content(project)
        if state != ctx.after:
            problems.append(f"not the state after the import: {difference(state, ctx.after)}")
        ctx.record("second load", run, folder, problems, f" (second program at {delay:+.3f} s)")
    ctx.reports.append(f"a second program loading the project: {runs} runs; told of the import "
                       f"naming the package {told['named']}, without {told['unnamed']}, "
                       f"nothing {told[None]}")


def case_second_import(ctx, runs):
    other = write_other_package(ctx)
    mine = lambda p, pause=None: import_lines(p, ctx.package, pause=pause)  # noqa: E731
    theirs = lambda p, pause=None: import_lines(p, other, False, pause=pause)  # noqa: E731
    references = {
        (True, False): ctx.after,
        (False, True): sequential(ctx, "andere", [theirs]),
        (True, True): sequential(ctx, "beide", [mine, theirs]),
    }
    if sequential(ctx, "beide-umgekehrt", [theirs, mine]) != references[(True, True)]:
        sys.exit("the two packages do not give one state in either order: the runs would be "
                 "ambiguous")
    outcomes = {}
    for run in range(runs):
        folder = ctx.folder(f"import{run}")
        project = ctx.project_copy(folder)
        # Both have the project open before either imports: the other's
        # load then finds nothing, its import the first one's.
        pause, later, delay = pauses(ctx, ctx.importing)
        first = Sim(ctx, folder, "import", mine(project, pause))
        second = Sim(ctx, folder, "anderer", theirs(project, later))
        both_open(first, second)
        problems = []
        answers = (first.answered(), second.answered())
        for sim, what in ((first, "the import"), (second, "the other import")):
            if sim.status not in (0, 1) or sim.answered() is None:
                problems.append(f"{what} ended with {sim.status}:{sim.tail()}")
            elif sim.answered():
                if sim.status != 0 or sim.unexpected():
                    problems.append(f"{what} went through, but:{sim.tail()}")
            else:
                # Refused at once: the box comes where the file dialog was
                # expected, so it is the one unexpected dialog.
                busy, how = check_busy(sim, other if sim is first else ctx.package, True)
                problems += busy
                if how is None or len(sim.unexpected()) != 1:
                    problems.append(f"{what} was refused, but not as busy:{sim.tail()}")
        if answers not in references:
            problems.append(f"the imports answered {answers}")
        else:
            outcomes[answers] = outcomes.get(answers, 0) + 1
            problems += ctx.quiet_load(folder, project)
            state = content(project)
            if state != references[answers]:
                problems.append(f"not the state of {answers}: "
                                f"{difference(state, references[answers])}")
        ctx.record("second import", run, folder, problems, f" (other import at {delay:+.3f} s)")
    ctx.reports.append(
        f"two imports at once: {runs} runs; the other refused {outcomes.get((True, False), 0)}, "
        f"the first refused {outcomes.get((False, True), 0)}, both one after the other "
        f"{outcomes.get((True, True), 0)}")


def editor_lines(ctx, project, pause=None):
    """A mapper's work in a second program on objects outside the package:
    a new object with its attributes, an attribute of an existing one, and
    a local photo linked to another."""
    mkjpeg = os.path.join(ctx.args.bin, "mkjpeg")
    db = os.path.join(project, "KTProjekt.db")
    return [
        "answer message OK", f"open {project}"] + (
        [] if pause is None else [f"exec /bin/sleep {pause:.3f}"]) + [
        "bind before-create-object -",
        "create NSG area 2450000 5600000 2450050 5600000 2450050 5600040 as AUS-1001",
        "activate AUS-1001", 'set linfos NAME "neu im zweiten Programm"', "post linfos",
        "activate AUS-0001", 'set linfos NAME "geändert im zweiten Programm"', "post linfos",
        f'exec /usr/bin/sqlite3 -cmd ".timeout 10000" "{db}" "insert into Fotos (FotoID, '
        "Kurzname, IsNew, PicFileName) values (-900, 'zweites', 3, 'KTFoto900.jpg')\"",
        f"exec {mkjpeg} {project}/KTPhotos/KTFoto900.jpg 24 16 900",
        "activate AUS-0002", "append Objektphotos", "set Objektphotos PhotoID -900",
        "post Objektphotos", "close"]


def case_second_editor(ctx, runs):
    created = {"AUS-1001"}
    mine = lambda p: import_lines(p, ctx.package)  # noqa: E731
    edits = lambda p: editor_lines(ctx, p)  # noqa: E731
    after_edits = sequential(ctx, "import-dann-arbeit", [mine, edits], created)
    edits_first = sequential(ctx, "arbeit-dann-import", [edits, mine], created)
    for line in ("objekt AUS-1001 ", "linfos AUS-1001 KENNUNG=AUS-1001;NAME=neu im zweiten",
                 "linfos AUS-0001 KENNUNG=AUS-0001;NAME=geändert im zweiten",
                 "Fotos -900|zweites|", "Objektphotos AUS-0002 PhotoID=-900",
                 "bild KTFoto900.jpg ", "TA_LIST 0|id(AUS-1001)|"):
        if not any(w.startswith(line) for w in after_edits):
            sys.exit(f"the second program's work did not leave {line!r}: the runs would prove "
                     "nothing")
    references = [after_edits] if edits_first == after_edits else [after_edits, edits_first]
    for run in range(runs):
        folder = ctx.folder(f"arbeit{run}")
        project = ctx.project_copy(folder)
        if run % 2 == 0:
            # The second program loads the project at a random moment and
            # works at once.
            importer = Sim(ctx, folder, "import",
                           import_lines(project, ctx.package, succeeds=True))
            editor = Sim(ctx, folder, "zweites", edits(project))
            delay = at_random_moment(ctx, importer, editor, ctx.load)
        else:
            # It had the project open before and works at a random moment.
            pause, later, delay = pauses(ctx, ctx.load)
            importer = Sim(ctx, folder, "import",
                           import_lines(project, ctx.package, succeeds=True, pause=pause))
            editor = Sim(ctx, folder, "zweites", editor_lines(ctx, project, later))
            both_open(importer, editor)
        problems = []
        if importer.status != 0 or importer.unexpected():
            problems.append(f"the import ended with {importer.status}:{importer.tail()}")
        if editor.status != 0 or editor.unexpected():
            problems.append(f"the second program ended with {editor.status}:{editor.tail()}")
        problems += check_busy(editor, ctx.package, False)[0]
        problems += ctx.quiet_load(folder, project)
        state = content(project, created)
        if state not in references:
            problems.append(f"neither the import with the work after it nor before it: "
                            f"{difference(state, after_edits)}")
        ctx.record("second editor", run, folder, problems, f" (second program at {delay:+.3f} s)")
    ctx.reports.append(f"a second program editing outside the package: {runs} runs" +
                       ("" if len(references) == 1 else " (its work and the import commute not)"))


def case_others(ctx, runs):
    case_second_load(ctx, runs)
    case_second_import(ctx, runs)
    case_second_editor(ctx, runs)


# ---- A copy of the folder ---------------------------------------------------------------------

def case_copy(ctx, runs):
    counts = {"before": 0, "after": 0, "torn": 0}
    journals = 0
    for run in range(runs):
        folder = ctx.folder(f"kopie{run}")
        project = ctx.project_copy(folder)
        copy = os.path.join(folder, "kopie")
        importer = Sim(ctx, folder, "import", import_lines(project, ctx.package, succeeds=True))
        moment = ctx.rng.uniform(0.0, ctx.whole)
        importer.start()
        time.sleep(moment)
        try:
            shutil.copytree(project, copy)
        except shutil.Error:
            # A file went while it was copied; the copy lacks it, as one made
            # by any file manager would.
            pass
        importer.wait()
        problems = []
        if importer.status != 0 or importer.unexpected():
            problems.append(f"the import ended with {importer.status}:{importer.tail()}")
        has_journal = os.path.exists(os.path.join(copy, JOURNAL))
        journals += has_journal
        # Nothing of the import to act on: the copy's listing of the folder
        # came before the import's journal and folder, or the copy caught the
        # journal before it recorded that changes begin (while other files
        # were copied after the import had changed them).
        recorded = False
        if has_journal:
            with open(os.path.join(copy, JOURNAL), encoding="utf-8", errors="replace") as f:
                recorded = "schritt\tschnappschuss\n" in f.read()
        unmarked = not recorded
        copy_first = run % 2 == 0
        if not copy_first:
            problems += ctx.quiet_load(folder, project, "the original's load")
        original = tree(project)
        loader = Sim(ctx, folder, "kopie-laden",
                     load_lines(copy, *(["message OK"] if has_journal else [])), ctx.strace)
        problems += ctx.expect(loader, "the copy's load")
        changed = tree_difference(original, tree(project))
        if changed:
            problems.append(f"loading the copy changed the original: {changed[:8]}")
        reached = loader.opened_below(project)
        if reached:
            problems.append(f"loading the copy reached into the original: {reached[:8]}")
        if ctx.strace and not loader.opened_below(copy):
            problems.append("the trace of the copy's load shows no file of the copy either")
        for text in loader.messages():
            if not text.startswith("Der Import des Transaktionspakets ") or \
                    "wurde unterbrochen." not in text:
                problems.append(f"the copy's load told the mapper: {text}")
        problems += ctx.quiet_load(folder, copy, "a second load of the copy")
        if copy_first:
            problems += ctx.quiet_load(folder, project, "the original's load")
        state = content(copy)
        if state == ctx.before:
            counts["before"] += 1
        elif state == ctx.after:
            counts["after"] += 1
        elif unmarked:
            # A copy that is no snapshot: files copied after the import began
            # changing them, and no journal among them that says so. No load
            # can tell it from a project as the mapper left it.
            counts["torn"] += 1
        else:
            problems.append(f"the copy is neither before nor after:\n    against before: "
                            f"{difference(state, ctx.before)}\n    against after: "
                            f"{difference(state, ctx.after)}")
        state = content(project)
        if state != ctx.after:
            problems.append(f"the original is not after the import: "
                            f"{difference(state, ctx.after)}")
        ctx.record("copy", run, folder, problems,
                   f" (copied at {moment:.3f} s, {'copy' if copy_first else 'original'} loaded "
                   "first)")
    ctx.reports.append(f"a copy of the folder during the import: {runs} runs; the copy ended "
                       f"before {counts['before']}, after {counts['after']} ({journals} with a "
                       f"journal); {counts['torn']} copies held part of the import but no "
                       f"journal that says changes began; "
                       f"{'with' if ctx.strace else 'without'} strace")


# ---- Kills during the recovery and during the import's undo --------------------------------

def killed_import(ctx, folder, project, package, window, local_work=True):
    sim = Sim(ctx, folder, "import", import_lines(project, package, local_work))
    moment = ctx.rng.uniform(0.0, window)
    sim.kill_after(moment)
    return moment


def taken_back(ctx, folder, project, reference_states):
    """The load after a kill and the quiet one after it; answers the
    problems and the state it came to."""
    has_journal = os.path.exists(os.path.join(project, JOURNAL))
    sim = Sim(ctx, folder, "nach-dem-abbruch",
              load_lines(project, *(["message OK"] if has_journal else [])))
    problems = ctx.expect(sim, "the load after the kill")
    for text in sim.messages():
        if "wurde unterbrochen. Das Projekt ist wieder wie vor dem Import" not in text:
            problems.append(f"the load told the mapper: {text}")
    problems += ctx.quiet_load(folder, project, "a second load")
    state = content(project)
    came_to = None
    for name, reference in reference_states.items():
        if state == reference:
            came_to = name
    if came_to is None:
        problems.append("neither " + " nor ".join(reference_states) + ":\n    " + "\n    ".join(
            f"against {n}: {difference(state, r)}" for n, r in reference_states.items()))
    return problems, came_to


def measure_recovery(ctx):
    """How long a load takes that takes an import back: a window for the kills."""
    longest = ctx.load
    folder = ctx.folder("messung")
    for attempt in range(20):
        project = ctx.project_copy(folder, f"p{attempt}")
        Sim(ctx, folder, "import", import_lines(project, ctx.package)).kill_after(
            ctx.whole * (0.4 + 0.03 * attempt))
        if not any(r[:2] == ["schritt", "schnappschuss"] for r in journal_records(project)):
            continue
        sim = Sim(ctx, folder, "laden", load_lines(project, "message OK"))
        sim.run()
        longest = max(longest, sim.seconds)
        if longest > ctx.load:
            break
    shutil.rmtree(folder)
    return longest


def case_recovery_kills(ctx, runs):
    window = measure_recovery(ctx)
    counts = {"before": 0, "after": 0, "journal": 0, "cut": 0, "failed": 0}
    references = {"before": ctx.before, "after": ctx.after}
    for run in range(runs):
        folder = ctx.folder(f"wiederherstellung{run}")
        # Killed at random until a kill leaves a journal, which the load
        # then takes back (or finishes) and is itself killed.
        for attempt in range(10):
            if attempt:
                shutil.rmtree(project)
            project = ctx.project_copy(folder)
            first = killed_import(ctx, folder, project, ctx.package, ctx.whole * 1.1)
            has_journal = os.path.exists(os.path.join(project, JOURNAL))
            if has_journal:
                break
        counts["journal"] += has_journal
        load = Sim(ctx, folder, "laden-abgebrochen",
                   load_lines(project, *(["message OK"] if has_journal else [])))
        second = ctx.rng.uniform(0.0, window * 1.1)
        killed = load.kill_after(second)
        if killed and has_journal and os.path.exists(os.path.join(project, JOURNAL)):
            counts["cut"] += 1
        problems, came_to = taken_back(ctx, folder, project, references)
        if came_to:
            counts[came_to] += 1
        if not ctx.record("recovery kill", run, folder, problems,
                          f" (import killed at {first:.3f} s, its load at {second:.3f} s)"):
            counts["failed"] += 1
    ctx.reports.append(
        f"kills during the recovery: {runs} runs of a {ctx.whole:.2f} s import and a "
        f"{window:.2f} s load; {counts['journal']} left a journal, {counts['cut']} of them cut "
        f"again during the load; {counts['before']} ended before, {counts['after']} after, "
        f"{counts['failed']} failed")


def refused_package(ctx):
    """The package under test whose attribute file names another table: the
    host loads the geodata, then refuses the attributes, and the import takes
    itself back."""
    folder = os.path.join(ctx.work, "abgelehnt")
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(ctx.package, folder)
    xml = os.path.join(folder, "gross.xml")
    with open(xml, encoding="utf-8") as f:
        text = f.read()
    if 'Tabelle="linfos"' not in text:
        sys.exit("the package's attribute file names no table")
    with open(xml, "w", encoding="utf-8") as f:
        f.write(text.replace('Tabelle="linfos"', 'Tabelle="andere"', 1))
    return folder


def case_undo_kills(ctx, runs):
    package = refused_package(ctx)
    folder = ctx.folder("undo-messung")
    project = ctx.project_copy(folder)
    sim = Sim(ctx, folder, "import", import_lines(project, package))
    problems = ctx.expect(sim, "the refused import")
    if sim.answered() is not False or not any(
            m.startswith("Der Import ist fehlgeschlagen:\\rDie Attributdaten konnten nicht")
            for m in sim.messages()):
        problems.append(f"the host's refusal did not fail the import:{sim.tail()}")
    if content(project) != ctx.before:
        problems.append(f"the failed import was not taken back: "
                        f"{difference(content(project), ctx.before)}")
    if problems:
        sys.exit("\n".join(problems))
    window = sim.seconds
    shutil.rmtree(folder)
    journals = undoing = failed = 0
    for run in range(runs):
        folder = ctx.folder(f"undo{run}")
        # Killed at random until a kill falls in the import's own undo (its
        # journal names the undo's beginning), or ten did not.
        for attempt in range(10):
            if attempt:
                shutil.rmtree(project)
            project = ctx.project_copy(folder)
            moment = killed_import(ctx, folder, project, package, window * 1.1)
            if ["beginn"] in journal_records(project):
                break
        journals += os.path.exists(os.path.join(project, JOURNAL))
        undoing += ["beginn"] in journal_records(project)
        problems, _ = taken_back(ctx, folder, project, {"before": ctx.before})
        if not ctx.record("undo kill", run, folder, problems, f" (killed at {moment:.3f} s)"):
            failed += 1
    ctx.reports.append(f"kills during a failed import's undo: {runs} runs of a {window:.2f} s "
                       f"import; {journals} left a journal, {undoing} of them cut in the "
                       f"undo; {runs - failed} ended before, "
                       f"{failed} failed")


def case_kills(ctx, runs):
    case_recovery_kills(ctx, runs)
    case_undo_kills(ctx, runs)


# ---- An undo that cannot finish, a day of work, journals set aside -------------------------

def cut_after_replacing(ctx, folder):
    """An import killed after it replaced objects of the project (deleted
    them and loaded the package's) and before it replaced all: the project,
    the journal's records, the identifiers replaced and those whose objects
    are still the project's own; nothing when no kill hit that stretch (the
    more objects, the longer it is)."""
    project = os.path.join(folder, "projekt")
    for _ in range(80):
        ctx.kills += 1
        shutil.rmtree(project, ignore_errors=True)
        shutil.copytree(ctx.base, project)
        Sim(ctx, folder, "import", import_lines(project, ctx.package)).kill_after(
            ctx.rng.uniform(0.25, 0.85) * ctx.whole)
        records = journal_records(project)
        steps = [r[1] for r in records if r[0] == "schritt"]
        snapshot = os.path.join(project, FOLDER)
        if steps != ["schnappschuss"] or not os.path.isdir(snapshot) or not any(
                name.startswith("objekte") for name in os.listdir(snapshot)):
            continue
        ids = object_ids(project)
        deleted = [(r[1], int(r[2])) for r in records if r[0] == "geloescht"]
        replaced = [k for (k, i) in deleted if ids.get(k) != i]
        untouched = [k for (k, i) in deleted if ids.get(k) == i]
        if replaced and len(untouched) >= 8:
            return project, records, replaced, untouched
    return None


def form_text(sim):
    """What the journal's form said (its label and list), as one text."""
    lines, inside = [], False
    for line in sim.transcript().splitlines():
        if line.startswith("form "):
            inside = line.startswith("form TFormImportJournal")
        if inside:
            lines.append(line)
    return "\n".join(lines)


def leave_for_later(ctx, folder, project, name):
    """A load whose undo cannot finish; the mapper leaves the journal."""
    sim = Sim(ctx, folder, re.sub(r"\W+", "-", name),
              load_lines(project, "form TFormImportJournal", "click BtnSpaeter"))
    problems = ctx.expect(sim, name)
    text = form_text(sim)
    if "halb importiert" not in text:
        problems.append(f"{name} did not show the journal's form for an undo that cannot "
                        f"finish:{sim.tail()}")
    if sim.messages():
        problems.append(f"{name} told the mapper: {sim.messages()}")
    records = journal_records(project)
    if not records or records[-1] != ["abschluss"]:
        problems.append(f"after {name} the journal does not end with its undo's record: "
                        f"{records[-1:] if records else 'no journal'}")
    return problems, text


def day_of_work(ctx, project, records, untouched, redraw_all):
    """Scenario lines of a day of work on a project whose import stands half
    taken back: objects of the package edited (two the import had not
    reached, and one it replaced and could not bring back, or all of those,
    drawn anew), a local photo linked, a picture the import had replaced
    taken again, and work outside the package. Answers the lines, the items
    of the import that must be named as kept, the objects lost and those
    drawn anew, and lines the project must hold after the work."""
    ids = object_ids(project)
    lost = [r[1] for r in records if r[0] == "geloescht" and r[1] not in ids]
    # Objects checked out for writing whose rows carry no mark yet: an edit
    # marks the row, and the undo sees the identifier changed.
    editable = {str(row["KENNUNG"]).strip() for row in dbfread.DBF(
        project_state.table_file(project, "TA_LIST"), encoding="cp1252")
        if str(row["CHANGED"]).strip() == "IGNORED" and row["SCHREIBEND"] == 1}
    untouched = [k for k in untouched if k in editable]
    pictures = [r[1] for r in records if r[0] == "bild" and r[2] != "\\N" and
                os.path.exists(os.path.join(project, r[1]))]
    mkjpeg = os.path.join(ctx.args.bin, "mkjpeg")
    db = os.path.join(project, "KTProjekt.db")
    edited = untouched[:2]
    lines = [
        "answer form TFormImportJournal", "answer click BtnSpaeter", f"open {project}",
        f"activate {edited[0]}", 'set linfos NAME "nach dem Abbruch"', "post linfos",
        f"move {edited[1]} 1 2999000 5999000",
        f'exec /usr/bin/sqlite3 "{db}" "insert into Fotos (FotoID, Kurzname, IsNew, '
        "PicFileName) values (-800, 'später', 3, 'KTFoto800.jpg')\"",
        f"exec {mkjpeg} {project}/KTPhotos/KTFoto800.jpg 24 16 800",
        f"activate {edited[0]}", "append Objektphotos", "set Objektphotos PhotoID -800",
        "post Objektphotos",
        f"activate {OUTSIDE[2]}", 'set linfos NAME "auch später"', "post linfos",
        "bind before-create-object -",
        "create NSG area 2460000 5600000 2460050 5600000 2460050 5600040 as AUS-2001",
        "activate AUS-2001", 'set linfos NAME "später gezeichnet"', "post linfos"]
    kept = [f"Kennung {k}" for k in edited]
    holds = [f"linfos {edited[0]} KENNUNG={edited[0]};NAME=nach dem Abbruch",
             f"Objektphotos {edited[0]} PhotoID=-800", "bild KTFoto800.jpg ",
             f"linfos {OUTSIDE[2]} KENNUNG={OUTSIDE[2]};NAME=auch später",
             "linfos AUS-2001 KENNUNG=AUS-2001;NAME=später gezeichnet",
             "objekt AUS-2001 ", "Fotos -800|später|"]
    # The identifiers still have their rows: the plug-in says so and leaves
    # the objects out of the transaction.
    redrawn = lost if redraw_all else lost[:1] if len(lost) > 1 else []
    for i, k in enumerate(redrawn):
        x = 2470000 + 100 * i
        lines += ["answer message OK",
                  f"create FFH area {x} 5600000 {x + 50} 5600000 {x + 50} 5600040 as {k}",
                  f"activate {k}", 'set linfos NAME "neu gezeichnet"', "post linfos"]
        kept.append(f"Kennung {k}")
        holds += [f"objekt {k} ", f"linfos {k} KENNUNG={k};NAME=neu gezeichnet"]
    if pictures:
        lines.append(f"exec {mkjpeg} {project}/{pictures[0]} 40 30 801")
        kept.append(f"Bild {pictures[0]}")
    lines.append("close")
    moved = f"objekt {edited[1]} "
    return lines, kept, lost, redrawn, holds + [moved], moved


def set_aside(ctx, folder, project, created):
    """The mapper sets the journal aside: nothing but its name changes."""
    was = tree(project)
    state = content(project, created)
    if not os.path.exists(os.path.join(project, JOURNAL)):
        return ["the journal is gone before the mapper could set it aside"]
    with open(os.path.join(project, JOURNAL), "rb") as f:
        journal = f.read()
    sim = Sim(ctx, folder, "beiseite", load_lines(project, "form TFormImportJournal",
                                                   "click BtnBeiseite", "message Yes"))
    problems = ctx.expect(sim, "the load that sets the journal aside")
    aside = os.path.join(project, JOURNAL + ".beiseite")
    if not os.path.exists(aside) or os.path.exists(os.path.join(project, JOURNAL)):
        problems.append(f"the journal was not set aside:{sim.tail()}")
        return problems
    with open(aside, "rb") as f:
        if not f.read().startswith(journal):
            problems.append("the journal set aside is not the journal that was there")
    # The undo of this load may append its records before the mapper
    # decides; the journal's bytes are compared above.
    now = tree(project)
    for name in (JOURNAL, JOURNAL + ".beiseite"):
        was.pop(name, None)
        now.pop(name, None)
    for name in list(was):
        if name == FOLDER or name.startswith(FOLDER + os.sep):
            was[FOLDER + ".beiseite" + name[len(FOLDER):]] = was.pop(name)
    changed = tree_difference(was, now)
    if changed:
        problems.append(f"setting the journal aside changed files: {changed[:8]}")
    now = without_journal(content(project, created))
    state = without_journal(state)
    if now != state:
        problems.append(f"setting the journal aside changed the project: "
                        f"{difference(now, state)}")
    was = tree(project)
    problems += ctx.quiet_load(folder, project, "the load after setting it aside")
    changed = tree_difference(was, tree(project))
    if changed:
        problems.append(f"the load after setting it aside changed files: {changed[:8]}")
    return problems


def foreign_journal(ctx, folder, source, with_folder):
    """A journal of the source project copied into another project: set
    aside there as .fremd, nothing else changes, here or in the source."""
    variant = "mit-ordner" if with_folder else "ohne-ordner"
    target = ctx.project_copy(folder, "fremd-" + variant)
    identity = os.path.join(target, "TA_PROJEKT.id")
    with open(identity, encoding="utf-8") as f:
        lines = f.read().splitlines()
    lines[1] = "%032x" % ctx.rng.getrandbits(128)
    with open(identity, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    shutil.copy2(os.path.join(source, JOURNAL), os.path.join(target, JOURNAL))
    if with_folder:
        shutil.copytree(os.path.join(source, FOLDER), os.path.join(target, FOLDER))
    source_was, was = tree(source), tree(target)
    sim = Sim(ctx, folder, "fremd-" + variant, load_lines(target, "message OK"))
    problems = ctx.expect(sim, f"the load of a project with a foreign journal ({variant})")
    told = f"liegt nun als {target}/{JOURNAL}.fremd vor. Dieses Projekt wurde nicht verändert."
    if not any("gehört zu einem anderen Projekt" in m and m.endswith(told)
               for m in sim.messages()):
        problems.append(f"the foreign journal was not told as set aside ({variant}):"
                        f"{sim.tail()}")
    expected = {}
    for name, print_ in was.items():
        if name == JOURNAL:
            name += ".fremd"
        elif name == FOLDER or name.startswith(FOLDER + os.sep):
            name = FOLDER + ".fremd" + name[len(FOLDER):]
        expected[name] = print_
    changed = tree_difference(expected, tree(target))
    if changed:
        problems.append(f"the load with a foreign journal ({variant}) changed files: "
                        f"{changed[:8]}")
    changed = tree_difference(source_was, tree(source))
    if changed:
        problems.append(f"the load with a foreign journal ({variant}) changed its own project: "
                        f"{changed[:8]}")
    was = tree(target)
    problems += ctx.quiet_load(folder, target, f"the load after the foreign journal ({variant})")
    changed = tree_difference(was, tree(target))
    if changed:
        problems.append(f"the load after the foreign journal ({variant}) changed files: "
                        f"{changed[:8]}")
    return problems


def shown(items):
    """The items as a message lists them line by line: sorted, at most 20,
    then their number."""
    items = sorted(items)
    return items[:20] + ([f"... ({len(items)} insgesamt)"] if len(items) > 20 else [])


def finished_after_work(ctx, folder, project):
    """The load after a day of work that left nothing the undo cannot put
    back: it finishes, keeps the work and names it. Answers the problems
    and the items named."""
    sim = Sim(ctx, folder, "fertig", load_lines(project, "message OK"))
    problems = ctx.expect(sim, "the load that finishes the undo")
    lead = ("wurde unterbrochen. Der Import ist zurückgenommen, bis auf Folgendes, das seit dem "
            "Import geändert wurde und so bleibt, wie es ist:\\r")
    texts = [m for m in sim.messages() if lead in m]
    if len(texts) != 1 or len(sim.messages()) != 1:
        problems.append(f"the load that finishes the undo told: {sim.messages()}")
        return problems, []
    return problems, texts[0].split(lead, 1)[1].split("\\r")


def case_unfinished(ctx, runs):
    named = finished = 0
    for run in range(runs):
        folder = ctx.folder(f"unfertig{run}")
        found = cut_after_replacing(ctx, folder)
        if not found:
            ctx.record("unfinished undo", run, folder, ["no kill came after the import replaced "
                                                        "objects"])
            continue
        project, records, replaced, untouched = found
        source = os.path.join(folder, "quelle")
        shutil.copytree(project, source)
        problems = foreign_journal(ctx, folder, source, True)
        problems += foreign_journal(ctx, folder, source, False)

        snapshot = os.path.join(project, FOLDER)
        for name in os.listdir(snapshot):
            if name.startswith("objekte"):
                os.remove(os.path.join(snapshot, name))
        more, text = leave_for_later(ctx, folder, project, "the load without the snapshot")
        problems += more
        ids = object_ids(project)
        lost = [k for k in replaced if k not in ids]
        if not lost:
            problems.append("the load without the snapshot brought every object back")
        elif len(lost) > 20:
            if f"({len(lost)} insgesamt)" not in text:
                problems.append(f"the {len(lost)} lost objects are not counted: {text}")
        elif any(k not in text for k in lost):
            problems.append(f"the lost objects {lost} are not named: {text}")
        half = content(project)
        more, _ = leave_for_later(ctx, folder, project, "a second load without the snapshot")
        problems += more
        if content(project) != half:
            problems.append(f"a second load changed the half state: "
                            f"{difference(content(project), half)}")

        # Every other run the mapper draws anew every object that was lost:
        # then nothing is left that the next load cannot put back.
        redraw_all = run % 2 == 1
        lines, kept, lost, redrawn, holds, moved = day_of_work(ctx, project, records, untouched,
                                                               redraw_all)
        problems += ctx.expect(Sim(ctx, folder, "arbeitstag", lines), "the day of work")
        created = {"AUS-2001"} | set(redrawn)
        worked = content(project, created)
        for line in holds:
            if not any(w.startswith(line) for w in worked):
                problems.append(f"the day of work did not leave {line!r}")
        if not any(w.startswith(moved) and "2999000 5999000" in w for w in worked):
            problems.append(f"the day of work did not move {moved}")
        if redraw_all:
            more, listed = finished_after_work(ctx, folder, project)
        else:
            more, text = leave_for_later(ctx, folder, project, "the load after the day of work")
            listed = re.findall(r"Seit dem Import geändert und so belassen: (.*?)\.\\r", text)
            listed = listed[0].split(", ") if listed else [text]
        problems += more
        state = content(project, created)
        if redraw_all:
            # The journal and the import's folder went with the undo.
            state, worked = without_journal(state), without_journal(worked)
        if state != worked:
            problems.append(f"the load after the day of work changed it:\n    "
                            f"{difference(state, worked)}")
        if listed != shown(kept):
            problems.append(f"the load after the day of work does not name as kept exactly "
                            f"{sorted(kept)}: {listed}")
        named += len(kept)
        if redraw_all:
            finished += 1
            problems += ctx.quiet_load(folder, project, "the load after the undo finished")
        else:
            problems += set_aside(ctx, folder, project, created)
        ctx.record("unfinished undo", run, folder, problems,
                   f" ({len(replaced)} objects replaced, {len(lost)} lost)")
    ctx.reports.append(f"an undo that cannot finish, a day of work, foreign journals: {runs} "
                       f"runs ({ctx.kills} kills to cut the import while it replaced objects), "
                       f"{named} items named as kept; {finished} finished after the work, "
                       f"{runs - finished} set aside")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cases", nargs="+", choices=CASES + ["all"])
    parser.add_argument("--sim", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--scenarios", required=True)
    parser.add_argument("--build", default="VD1TransAction2010")
    parser.add_argument("--runs", type=int, default=4)
    parser.add_argument("--objects", type=int, default=60)
    parser.add_argument("--seed", type=int, default=5200)
    args = parser.parse_args()
    runs = int(os.environ.get("VANDRA_KILL_RUNS") or args.runs)
    seed = int(os.environ.get("VANDRA_KILL_SEED") or args.seed)
    cases = CASES if "all" in args.cases else [c for c in CASES if c in args.cases]
    ctx = Context(args, tempfile.mkdtemp(prefix="vandra-import-recovery-"), random.Random(seed))
    start = time.monotonic()
    prepare(ctx)
    for case in cases:
        globals()["case_" + case](ctx, runs)
    print(f"import recovery ({args.build}, seed {seed}, {' '.join(cases)}): "
          f"{time.monotonic() - start:.1f} s; {len(ctx.failures)} failed")
    for report in ctx.reports:
        print("  " + report)
    for failure in ctx.failures:
        print(failure)
    if not ctx.failures:
        shutil.rmtree(ctx.work)
    return 1 if ctx.failures else 0


if __name__ == "__main__":
    sys.exit(main())
