"""Kill runs of the hand-over: no partial package is ever accepted, and no
check-in is recorded without its log.

export   kartul-sim exports transaction 4711 of the day in handover_day.kts
         (a package of 210 photos) and is killed with SIGKILL at a random
         moment of the export: into an empty folder, and over the package an
         earlier export left there. After each kill the check-in stand-in's
         probe runs on the folder, and a package it accepts must be one that
         an export wrote whole: the earlier package or the new one, file for
         file. Then the next export into the folder must say that it holds
         an incomplete package exactly when the folder does (its staging
         folder, or package files without the .tid), remove the leftovers
         and leave the new package whole, which the probe accepts.

checkin  the check-in stand-in checks that package in for real and is killed
         at a random moment. A recorded transaction must have a log that
         reports no errors and a whole copy of the package in the store.
         Then the same hand-over is repeated and must succeed: recorded
         once, its log without errors, and nothing left of the cut run (no
         copy being made, no temporary file in the store or the folder).

The packages are compared as their files' bytes (the stand-in's log left
out). A violation keeps the run's folder and names it.

Usage: HandOverKills.py export|checkin --sim <kartul-sim> --checkin <checkin>
                        --scenarios <tests/scenarios> [--runs N] [--seed N]
VANDRA_KILL_RUNS and VANDRA_KILL_SEED override --runs and --seed (a long
run: VANDRA_KILL_RUNS=200).
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

PREFIX = "PAKET"
STAGING = PREFIX + "_Export.tmp"
TID = "4711"
USER, PASSWORD, DATABASE = "karla", "geheim", "nrw"
HERE = os.path.dirname(os.path.abspath(__file__))
TEMPORARY = re.compile(r"\.[A-Za-z0-9]{6}$")


def files_below(folder, skip=()):
    """Every file below the folder as relative path -> bytes."""
    out = {}
    for dirpath, dirnames, filenames in os.walk(folder):
        rel_dir = os.path.relpath(dirpath, folder)
        dirnames[:] = [d for d in dirnames if d not in skip]
        for name in filenames:
            rel = os.path.normpath(os.path.join(rel_dir, name))
            if name in skip:
                continue
            with open(os.path.join(dirpath, name), "rb") as f:
                out[rel] = f.read()
    return out


def package(folder):
    """The package in the folder as the central system would take it."""
    return files_below(folder, skip=(STAGING, PREFIX + ".log"))


def incomplete(folder):
    """What the next export must tell of the folder, by a reader of its own:
    a staging folder, or files only this package writes without its .tid;
    None for a whole package or none."""
    names = os.listdir(folder)
    lower = {n.lower(): n for n in names}
    told = f"Im Ordner {folder} liegt ein unvollständiges Paket \"{PREFIX}\": "
    done = "\r\rDie Reste werden entfernt, das Paket wird neu geschrieben."
    if STAGING.lower() in lower:
        return (told + f"ein Export dorthin wurde abgebrochen (der Ordner {lower[STAGING.lower()]} "
                "ist noch da)." + done)
    if (PREFIX + ".tid").lower() in lower:
        return None
    for own in (PREFIX + "_rp.txt", PREFIX + ".xml", PREFIX + ".shp", PREFIX + "_aktion.dbf",
                (PREFIX + "_aktion")[:8] + ".dbf", PREFIX + "_Fotos"):
        name = lower.get(own.lower())
        if name and os.path.isdir(os.path.join(folder, name)) == own.endswith("_Fotos"):
            return (told + f"die Datei {PREFIX}.tid fehlt, die ein Paket als letzte bekommt "
                    f"({name} ist da)." + done)
    return None


def leftovers(folder):
    """Temporary files and staging folders below the folder."""
    found = []
    for dirpath, dirnames, filenames in os.walk(folder):
        for name in dirnames + filenames:
            if name == STAGING or name.endswith(".kopie") or TEMPORARY.search(name):
                found.append(os.path.relpath(os.path.join(dirpath, name), folder))
    return found


def read_log(path):
    """The log's two counts, or None when there is no log it can be."""
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError:
        return None
    if not raw.endswith(b"\r\n"):
        return None
    lines = raw[:-2].decode("cp1252").split("\r\n")
    if len(lines) < 2 or not lines[-2].startswith("Sachdatenfehler: ") \
            or not lines[-1].startswith("Grafikfehler: "):
        return None
    return lines[-2].split(" ")[-1], lines[-1].split(" ")[-1]


class Work:
    def __init__(self, args):
        self.args = args
        self.root = tempfile.mkdtemp(prefix="vandra-handover-kills-")
        self.env = dict(os.environ, KARTUL_REGISTRY=os.path.join(self.root, "registry.reg"),
                        TMPDIR=self.root, LC_ALL="C.UTF-8")
        self.store = os.path.join(self.root, "store")

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def sim(self, scenario_text, project=None, kill_after=None):
        """Runs kartul-sim on a scenario; kills it after kill_after seconds.
        Answers its exit status (-9 when killed) and its output."""
        scenario = self.path("scenario-%d.kts" % random.getrandbits(32))
        with open(scenario, "w") as f:
            f.write(scenario_text)
        command = [self.args.sim, "--quiet", "--build", "VD1TransAction2010"]
        if project:
            command += ["--project", project]
        command.append(scenario)
        try:
            if kill_after is None:
                done = subprocess.run(command, env=self.env, capture_output=True, text=True,
                                      check=False)
                return done.returncode, done.stdout + done.stderr
            process = subprocess.Popen(command, env=self.env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            time.sleep(kill_after)
            if process.poll() is None:
                process.send_signal(signal.SIGKILL)
            return process.wait(), ""
        finally:
            os.remove(scenario)

    def checkin(self, folder, probe, store=None, kill_after=None):
        command = [self.args.checkin] + (["-l"] if probe else []) + [
            "-s", store or self.store, "-u", USER, "-p", PASSWORD, "-D", DATABASE,
            "-d", folder, "-n", PREFIX]
        if kill_after is None:
            return subprocess.run(command, capture_output=True, check=False).returncode
        process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(kill_after)
        if process.poll() is None:
            process.send_signal(signal.SIGKILL)
        return process.wait()

    def make_store(self, folder):
        os.makedirs(folder)
        with open(os.path.join(folder, "checkin.ini"), "wb") as f:
            f.write(f"[Nutzer]\r\n{USER}={PASSWORD}\r\n[Datenbanken]\r\n{DATABASE}=1\r\n"
                    .encode("cp1252"))

    def setup(self):
        """The template project after the day, the earlier package in alt/."""
        os.makedirs(self.path("alt"))
        self.make_store(self.store)
        template = self.path("template")
        status, output = self.sim(
            f"include {os.path.join(self.args.scenarios, 'lib', 'checkout.kts')}\n"
            f"let ALT \"{self.path('alt')}\"\n"
            f"include {os.path.join(HERE, 'handover_day.kts')}\n"
            "let P ${PROJECT}\nclose\n"
            f"exec /bin/cp -r ${{P}} {template}\n")
        if status != 0:
            raise SystemExit(output + "\nhand-over kills: the day could not be made")
        return template

    def export_scenario(self, folder, told):
        """The export into the folder; `told`: the text the export must show
        about an incomplete package there."""
        if told:
            told = told.replace("\\", "\\\\").replace("\"", "\\\"").replace("\r", "\\r")
        return ("answer message Yes\n"
                "answer form TFormGetTID\n"
                "answer select lbTID \"4711 - Ruhraue bei Hattingen\"\n"
                "answer click BtnOK\n"
                f"answer file \"{folder}/{PREFIX}\"\n"
                + (f"answer message OK \"{told}\"\n" if told else "") +
                "run VD1CustomExport\n"
                "expect hook VD1CustomExport true\n")

    def project(self, template, folder):
        """A fresh copy of the day's project for an export into the folder."""
        project = folder + ".projekt"
        if os.path.exists(project):
            shutil.rmtree(project)
        shutil.copytree(template, project)
        return project

    def export(self, template, folder, told=None, kill_after=None, run_it=True):
        project = self.project(template, folder)
        text = self.export_scenario(folder, told) if run_it else "echo ohne Export\n"
        return self.sim(text, project=project, kill_after=kill_after)

    def timed_export(self, template, folder, run_it=True):
        """The export's status and output, and how long kartul-sim ran."""
        project = self.project(template, folder)
        text = self.export_scenario(folder, None) if run_it else "echo ohne Export\n"
        started = time.monotonic()
        result = self.sim(text, project=project)
        return result, time.monotonic() - started


def timed(call):
    started = time.monotonic()
    result = call()
    return result, time.monotonic() - started


def run_export(args, runs, rng):
    work = Work(args)
    template = work.setup()
    old = package(work.path("alt"))
    if TID.encode() not in old.get(PREFIX + ".tid", b""):
        raise SystemExit("hand-over kills: the earlier package has no .tid of 4711")

    # The packages a whole export writes, and the span the kills fall in:
    # from the end of starting up to a little after the export's end.
    refs, spans = {}, []
    for mode in ("leer", "alt"):
        folder = work.path("ref-" + mode)
        if mode == "alt":
            shutil.copytree(work.path("alt"), folder)
        else:
            os.makedirs(folder)
        (status, output), span = work.timed_export(template, folder)
        if status != 0:
            raise SystemExit(output + f"\nhand-over kills: the export ({mode}) does not pass")
        refs[mode] = package(folder)
        spans.append(span)
        if work.checkin(folder, probe=True) != 0:
            raise SystemExit(f"hand-over kills: the probe refuses the whole package ({mode})")
    pictures = [p for p in refs["leer"] if p.startswith(PREFIX + "_Fotos" + os.sep)]
    if len(pictures) != 210 or refs["leer"] == old:
        raise SystemExit(f"hand-over kills: the new package is not the one expected "
                         f"({len(pictures)} pictures)")
    _, start = work.timed_export(template, work.path("ref-start"), run_it=False)
    end = max(spans)

    counts = {"killed": 0, "finished": 0, "accepted old": 0, "accepted new": 0, "refused": 0,
              "told incomplete": 0}
    violations = []
    for run in range(1, runs + 1):
        mode = "leer" if run % 2 else "alt"
        folder = work.path(f"run{run}", "aus")
        os.makedirs(os.path.dirname(folder))
        if mode == "alt":
            shutil.copytree(work.path("alt"), folder)
        else:
            os.makedirs(folder)
        # Every other kill falls into the export's last quarter, where the
        # package is moved into its folder.
        delay = rng.uniform(start * 0.9, end * 1.05) if run % 4 < 2 else \
            rng.uniform(start + (end - start) * 0.75, end)
        status, _ = work.export(template, folder, kill_after=delay)
        counts["killed" if status == -signal.SIGKILL else "finished"] += 1
        if status not in (0, -signal.SIGKILL):
            violations.append(f"run {run}: kartul-sim ended with status {status} before the kill")
        problems = []
        found = package(folder)
        if work.checkin(folder, probe=True) == 0:
            if found == refs[mode]:
                counts["accepted new"] += 1
            elif mode == "alt" and found == old:
                counts["accepted old"] += 1
            else:
                problems.append(f"the probe accepted a package that no export wrote whole "
                                f"({len(found)} files)")
        else:
            counts["refused"] += 1
        # The next export says so exactly when the folder holds an
        # incomplete package, clears it and writes the new one whole.
        told = incomplete(folder)
        counts["told incomplete"] += told is not None
        status, output = work.export(template, folder, told=told)
        if status != 0:
            problems.append(f"the next export does not pass:\n{output}")
        elif package(folder) != refs[mode]:
            problems.append("the next export did not leave the new package whole")
        elif leftovers(folder):
            problems.append(f"left over after the next export: {leftovers(folder)}")
        elif work.checkin(folder, probe=True) != 0:
            problems.append("the probe refuses the package the next export wrote")
        if problems:
            violations += [f"run {run} ({mode}, killed after {delay:.3f} s, {folder}): {p}"
                           for p in problems]
        else:
            shutil.rmtree(os.path.dirname(folder))
    print(f"hand-over kills (export): seed {args.seed}, {runs} runs, kills between "
          f"{start * 0.9:.3f} and {end * 1.05:.3f} s: " +
          ", ".join(f"{v} {k}" for k, v in counts.items()) + f", {len(violations)} violations")
    return work, violations


def records(store):
    try:
        with open(os.path.join(store, "eingecheckt", DATABASE, "transaktionen.txt"),
                  encoding="utf-8") as f:
            return [line.split("\t")[0] for line in f.read().splitlines()]
    except OSError:
        return []


def run_checkin(args, runs, rng):
    work = Work(args)
    template = work.setup()
    source = work.path("paket")
    os.makedirs(source)
    status, output = work.export(template, source)
    if status != 0:
        raise SystemExit(output + "\nhand-over kills: the package could not be exported")
    whole = package(source)

    def fresh(name):
        folder = work.path(name, "aus")
        shutil.copytree(source, folder)
        store = work.path(name, "store")
        work.make_store(store)
        return folder, store

    folder, store = fresh("ref")
    code, span = timed(lambda: work.checkin(folder, probe=False, store=store))
    if code != 0 or records(store) != [TID]:
        raise SystemExit(f"hand-over kills: the check-in does not pass ({code})")

    counts = {"killed": 0, "finished": 0, "recorded": 0, "log without record": 0}
    violations = []
    for run in range(1, runs + 1):
        folder, store = fresh(f"run{run}")
        # Every other kill falls into the run's end, where the log is
        # written and the package recorded.
        delay = rng.uniform(0, span * 1.1) if run % 2 else rng.uniform(span * 0.8, span * 1.02)
        code = work.checkin(folder, probe=False, store=store, kill_after=delay)
        counts["killed" if code == -signal.SIGKILL else "finished"] += 1
        problems = []
        recorded = records(store)
        log = read_log(os.path.join(folder, PREFIX + ".log"))
        copy = os.path.join(store, "eingecheckt", DATABASE, TID)
        if recorded:
            counts["recorded"] += 1
            if recorded != [TID]:
                problems.append(f"records {recorded}")
            if log != ("0", "0"):
                problems.append(f"recorded, but the log says {log}")
            if files_below(copy) != whole:
                problems.append("recorded, but the store's copy is not the package")
        elif log == ("0", "0"):
            counts["log without record"] += 1
        # The hand-over repeated goes through.
        code = work.checkin(folder, probe=False, store=store)
        log = read_log(os.path.join(folder, PREFIX + ".log"))
        if code != 0 or log != ("0", "0"):
            problems.append(f"the repeated check-in ended with {code}, its log says {log}")
        if records(store) != [TID]:
            problems.append(f"after the repeated check-in the records are {records(store)}")
        if files_below(copy) != whole:
            problems.append("after the repeated check-in the store's copy is not the package")
        left = leftovers(store) + leftovers(folder)
        if left:
            problems.append(f"left over after the repeated check-in: {left}")
        if problems:
            violations += [f"run {run} (killed after {delay:.3f} s, {os.path.dirname(folder)}): "
                           f"{p}" for p in problems]
        else:
            shutil.rmtree(os.path.dirname(folder))
    print(f"hand-over kills (checkin): seed {args.seed}, {runs} runs over {span:.3f} s: " +
          ", ".join(f"{v} {k}" for k, v in counts.items()) + f", {len(violations)} violations")
    return work, violations


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=("export", "checkin"))
    parser.add_argument("--sim", required=True)
    parser.add_argument("--checkin", required=True)
    parser.add_argument("--scenarios", required=True)
    parser.add_argument("--runs", type=int, default=6)
    parser.add_argument("--seed", type=int, default=4711)
    args = parser.parse_args()
    args.scenarios = os.path.abspath(args.scenarios)
    runs = int(os.environ.get("VANDRA_KILL_RUNS") or args.runs)
    args.seed = int(os.environ.get("VANDRA_KILL_SEED") or args.seed)
    rng = random.Random(args.seed)
    work, violations = (run_export if args.mode == "export" else run_checkin)(args, runs, rng)
    for v in violations:
        print("  VIOLATION " + v)
    if not violations:
        shutil.rmtree(work.root)
    return 1 if violations else 0


if __name__ == "__main__":
    sys.exit(main())
