"""Kill runs of the import: an import cut off at any moment ends, after one
more project load, wholly before or wholly after.

A project is prepared once through kartul-sim: a checkout of many objects
imported, then a mapper's day on it (objects edited, local photos linked,
plant lists written). Each run starts from a copy of that project, imports
the next issue of the package (more objects, new free identifiers, photos;
the package's version taken for the objects with local work, so that the
import deletes, loads, links and copies all it can; or, with --merge, the
mapper's work and the centre's corrections merged, so that the import also
writes values into objects it keeps and reloads moved ones), and is killed with
SIGKILL at a random moment of its course. Then kartul-sim loads the project
once more, which takes back a cut import, and once again, which must find
nothing left to do. What the project holds (project_state.py: the objects,
their attributes, links and plant lists, the four tables, the catalogue and
the pictures, and the files of the project folder) must then be exactly the
state before the import or exactly the state after a run that was not cut.

A failing run keeps its project folder and names it.

Usage: ImportKills.py --sim <kartul-sim> --bin <folder of mkjpeg> --scenarios <tests/scenarios>
                      [--build NAME] [--runs N] [--objects N] [--seed N]
VANDRA_KILL_RUNS and VANDRA_KILL_SEED override --runs and --seed.
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import dbf

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scenarios"))
import project_state  # noqa: E402  (found beside the scenarios)


def write_package(folder, prefix, tid, rows, free, photos, mkjpeg):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, prefix + ".tid"), "w", newline="", encoding="cp1252") as f:
        f.write(f"[Transaktionsdaten]\r\nTransaktion={tid}\r\nName=Grosse Aue\r\nOwner=Frau Kern\r\n")
    table = dbf.Table(os.path.join(folder, prefix + "t.dbf"),
                      "KENNUNG C(50); TID N(11,0); KARTULID N(11,0); VGNR N(11,0); "
                      "SCHREIBEND N(11,0)", dbf_type="db3", codepage="cp1252")
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(row)
    table.close()
    table = dbf.Table(os.path.join(folder, prefix + "kl.dbf"), "TID N(11,0); KENNUNG C(50)",
                      dbf_type="db3", codepage="cp1252")
    table.open(dbf.READ_WRITE)
    for row in free:
        table.append(row)
    table.close()
    table = dbf.Table(os.path.join(folder, prefix + "pc.dbf"),
                      "PHOTOID N(11,0); KURZNAME C(50); DATEI C(50); RW N(11,0); "
                      "HW N(11,0); RICHTUNG N(11,0); DATUM D; QUELLE C(254); BESCHR M",
                      dbf_type="db3", codepage="cp850")
    table.open(dbf.READ_WRITE)
    pictures = os.path.join(folder, prefix + "_Fotos")
    os.makedirs(pictures, exist_ok=True)
    for (pid, datei) in photos:
        table.append((pid, "Foto", datei, 2575000, 5695000, 90, dbf.Date(2024, 5, 3), "Zentrale",
                      "Blick"))
        subprocess.run([mkjpeg, os.path.join(pictures, datei), "64", "48", str(pid)], check=True)
    table.close()


def kennung(i):
    return f"DE-{i:05d}"


def sim(args, scenario_text, work, kill_after=None):
    """Runs kartul-sim on a scenario; kills it after kill_after seconds.
    Answers the exit status (-9 when killed) and the output."""
    path = os.path.join(work, "lauf.kts")
    with open(path, "w", encoding="utf-8") as f:
        f.write(scenario_text)
    command = [args.sim, "--quiet", path]
    env = dict(os.environ, LC_ALL="C.UTF-8")
    if kill_after is None:
        done = subprocess.run(command, env=env, capture_output=True, text=True, check=False)
        return done.returncode, done.stdout + done.stderr
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    time.sleep(kill_after)
    if process.poll() is None:
        process.send_signal(signal.SIGKILL)
    return process.wait(), ""


def prepare(args, work):
    """The project before the import, and the two packages."""
    mkjpeg = os.path.join(args.bin, "mkjpeg")
    central = os.path.join(work, "zentrale")
    first, second = os.path.join(work, "erste"), os.path.join(work, "zweite")
    n, more = args.objects, max(2, args.objects // 5)
    lines = [f"plugin {args.build}", f"new-project {central}", "bind before-create-object -"]
    for i in range(n + more):
        x = 2500000 + 100 * i
        lines.append(f"create FFH area {x} 5600000 {x + 50} 5600000 {x + 50} 5600040 "
                     f"as {kennung(i)}")
    lines.append(f"exec /bin/mkdir -p {first} {second}")
    lines += [f"select {kennung(i)}" for i in range(n)]
    lines += [f"export-geodata {first}/gross.shp", f"export-xml {first}/gross.xml"]
    # The centre's corrections in the next issue: remarks of objects the
    # mapper renames (written into the kept objects by a merge), and
    # boundaries of others (reloaded, the mapper's names written in).
    for i in range(7, n, 14):
        lines += [f"activate {kennung(i)}", 'set linfos BEMERKUNG "korrigiert"', "post linfos"]
    for i in range(0, n, 21):
        x = 2500000 + 100 * i
        lines.append(f"move {kennung(i)} 0 {x - 5} 5599995")
    lines += ["select all", f"export-geodata {second}/gross.shp",
              f"export-xml {second}/gross.xml", "close"]
    rows = [(kennung(i), 4711, i + 1, 90000 + i, 1 if i % 3 else 0) for i in range(n)]
    write_package(first, "gross", 4711, rows, [(4711, f"DE-9{i:04d}") for i in range(10)],
                  [(500 + i, f"KTFOTO{i}.JPG") for i in range(3)], mkjpeg)
    rows_two = rows + [(kennung(i), 4711, i + 1, 90000 + i, 1) for i in range(n, n + more)]
    write_package(second, "gross", 4711, rows_two, [(4711, f"DE-9{i:04d}") for i in range(20)],
                  [(500 + i, f"KTFOTO{i}.JPG") for i in range(6)], mkjpeg)

    base = os.path.join(work, "vorher")
    lines += ["bind before-create-object BeforeCreateObject", f"new-project {base}",
              f'answer file "{first}/gross.tid"', "run VD1CustomImport",
              "expect hook VD1CustomImport true"]
    # The mapper's day: edits, local photos with their links, plant lists.
    db = os.path.join(base, "KTProjekt.db")
    for i in range(0, n, 7):
        lines += [f"activate {kennung(i)}", f'set linfos NAME "bearbeitet {i}"', "post linfos"]
    for j, i in enumerate(range(1, n, 9)):
        picture = f"KTFoto{j + 1}.jpg"
        lines += [f'exec /usr/bin/sqlite3 "{db}" "insert into Fotos (FotoID, Kurzname, IsNew, '
                  f"PicFileName) values ({-(j + 1)}, 'lokal', 3, '{picture}')\"",
                  f"exec {mkjpeg} {base}/KTPhotos/{picture} 32 24 {j + 1}",
                  f"activate {kennung(i)}", "append Objektphotos",
                  f"set Objektphotos PhotoID {-(j + 1)}", "post Objektphotos",
                  "append Pflanzenliste", f'set Pflanzenliste Art "Art {i}"',
                  "post Pflanzenliste"]
    lines.append("close")
    status, output = sim(args, "\n".join(lines) + "\n", work)
    if status != 0:
        sys.exit("preparing the project failed:\n" + output)
    return base, second


def import_scenario(args, project, package):
    # Merged, the objects the next issue lists read-only are asked about,
    # and the package's version taken, as the question proposes.
    answers = (["answer click BtnZusammenfuehren", "answer form TFormKonflikte",
                "answer click BtnOK"] if args.merge else ["answer click BtnUebernehmen"])
    return "\n".join([
        f"plugin {args.build}", f"open {project}", f'answer file "{package}/gross.tid"',
        "answer form TFormLokaleArbeit"] + answers + [
        "answer message OK", "run VD1CustomImport", "close"]) + "\n"


def load_scenario(args, project, journal):
    lines = [f"plugin {args.build}"]
    if journal:
        lines.append("answer message OK")
    lines += [f"open {project}", "close"]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sim", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--scenarios", required=True)
    parser.add_argument("--build", default="VD1TransAction2010")
    parser.add_argument("--runs", type=int, default=6)
    parser.add_argument("--objects", type=int, default=60)
    parser.add_argument("--seed", type=int, default=4713)
    parser.add_argument("--merge", action="store_true")
    args = parser.parse_args()
    runs = int(os.environ.get("VANDRA_KILL_RUNS") or args.runs)
    seed = int(os.environ.get("VANDRA_KILL_SEED") or args.seed)
    rng = random.Random(seed)
    work = tempfile.mkdtemp(prefix="vandra-import-kill-")
    base, package = prepare(args, work)
    before = project_state.state(base)

    # The whole run, timed: the kills fall within it.
    reference = os.path.join(work, "nachher")
    shutil.copytree(base, reference)
    start = time.monotonic()
    status, output = sim(args, import_scenario(args, reference, package), work)
    whole = time.monotonic() - start
    if status != 0:
        sys.exit("the import without a kill failed:\n" + output)
    after = project_state.state(reference)
    if after == before:
        sys.exit("the import changed nothing: the runs would prove nothing")

    counts = {"before": 0, "after": 0, "recovered": 0}
    failures = []
    for run in range(runs):
        project = os.path.join(work, f"lauf{run}")
        shutil.copytree(base, project)
        kill_after = rng.uniform(0.0, whole * 1.1)
        sim(args, import_scenario(args, project, package), work, kill_after)
        journal = os.path.exists(os.path.join(project, "TA_IMPORT.jnl"))
        status, output = sim(args, load_scenario(args, project, journal), work)
        problems = []
        if status != 0:
            problems.append("the load after the kill failed:\n" + output)
        if os.path.exists(os.path.join(project, "TA_IMPORT.jnl")):
            problems.append("the journal outlived the load")
        status, output = sim(args, load_scenario(args, project, False), work)
        if status != 0:
            problems.append("a second load did not go quietly:\n" + output)
        state = project_state.state(project)
        if state == before:
            counts["before"] += 1
        elif state == after:
            counts["after"] += 1
        else:
            diff_b = sorted(set(state) ^ set(before))[:8]
            diff_a = sorted(set(state) ^ set(after))[:8]
            problems.append(f"neither before nor after:\n  against before: {diff_b}\n"
                            f"  against after: {diff_a}")
        if journal:
            counts["recovered"] += 1
        if problems:
            failures.append(f"run {run} (killed after {kill_after:.3f} s), kept in {project}:\n  " +
                            "\n  ".join(problems))
        else:
            shutil.rmtree(project)
    print(f"import kill runs ({args.build}{', merged' if args.merge else ''}, seed {seed}): {runs} runs of a {whole:.2f} s import; "
          f"{counts['before']} ended before, {counts['after']} after, "
          f"{counts['recovered']} taken back at the load; {len(failures)} failed")
    for failure in failures:
        print(failure)
    if not failures:
        shutil.rmtree(work)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
