"""Damaged packages against the import: no refused import changes a file of
the project or an object of the host, nothing crashes, nothing hangs.

The project and the packages are prepared as for the kill runs
(ImportKills.py). Each run copies the next issue of the package and damages
one of its files at random: bytes flipped, the file cut short at a random
length, or the file deleted. kartul-sim then imports it with nobody to
answer but the question about local work (the package's version is taken,
so that an import that goes through changes all it can; every other dialog
is answered the safest way: a form closes with Cancel, a box with OK). When the import hook answers false, what the project holds
(project_state.py) and the bytes of every file of the project folder must
be as before; whatever it answers, the program must end by itself, without
a signal or a sanitizer's report, and leave no journal behind. A package
refused before anything changed must leave every byte of the project as it
was; one whose import failed after it began must leave the project's
content as it was (the rows taken back row by row). A package that lost a
file it shows it has (its list, its geodata, its attribute file, its photo
list beside the pictures) must not be imported at all.

Usage: ImportMutations.py --sim <kartul-sim> --bin <folder of mkjpeg> --scenarios <tests/scenarios>
                          [--build NAME] [--runs N] [--objects N] [--seed N]
VANDRA_MUTATION_RUNS and VANDRA_MUTATION_SEED override --runs and --seed.
"""
import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ImportKills  # noqa: E402
import project_state  # noqa: E402  (put on the path by ImportKills)


# The package's files without which it would come in incomplete.
NEEDED = {"grosst.dbf", "gross.shp", "gross.shx", "gross.dbf", "gross.xml", "grosspc.dbf"}


def file_bytes(project):
    """Every file of the project folder with its checksum."""
    files = {}
    for folder, _, names in os.walk(project):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, project)] = hashlib.sha1(f.read()).hexdigest()
    return files


def package_files(package):
    files = []
    for folder, _, names in os.walk(package):
        files += [os.path.join(folder, name) for name in names]
    return sorted(files)


def mutate(rng, path):
    """Damages the file; answers what was done."""
    size = os.path.getsize(path)
    kind = rng.choice(["flip", "flip", "cut", "delete"])
    name = os.path.basename(path)
    if kind == "delete" or size == 0:
        os.remove(path)
        return f"{name} deleted"
    if kind == "cut":
        length = rng.randrange(0, size)
        with open(path, "r+b") as f:
            f.truncate(length)
        return f"{name} cut to {length} of {size} bytes"
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        places = sorted(rng.randrange(0, size) for _ in range(rng.randint(1, 8)))
        for at in places:
            data[at] ^= 1 << rng.randrange(8)
        f.seek(0)
        f.write(data)
    return f"{name}: bits flipped at {places}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sim", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--scenarios", required=True)
    parser.add_argument("--build", default="VD1TransAction2010")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--objects", type=int, default=30)
    parser.add_argument("--seed", type=int, default=815)
    args = parser.parse_args()
    runs = int(os.environ.get("VANDRA_MUTATION_RUNS") or args.runs)
    seed = int(os.environ.get("VANDRA_MUTATION_SEED") or args.seed)
    rng = random.Random(seed)
    work = tempfile.mkdtemp(prefix="vandra-import-mutation-")
    base, package = ImportKills.prepare(args, work)
    before_state = project_state.state(base)
    before_files = file_bytes(base)

    refused = accepted = undone = 0
    failures = []
    for run in range(runs):
        project = os.path.join(work, f"lauf{run}")
        damaged = os.path.join(work, f"paket{run}")
        shutil.copytree(base, project)
        shutil.copytree(package, damaged)
        what = mutate(rng, rng.choice(package_files(damaged)))
        scenario = "\n".join([
            f"plugin {args.build}", f"open {project}", f'answer file "{damaged}/gross.tid"',
            "answer form TFormLokaleArbeit", "answer click BtnUebernehmen",
            "run VD1CustomImport", "close"]) + "\n"
        path = os.path.join(work, "lauf.kts")
        with open(path, "w", encoding="utf-8") as f:
            f.write(scenario)
        problems = []
        try:
            done = subprocess.run([args.sim, "--quiet", path], capture_output=True, text=True,
                                  timeout=120, env=dict(os.environ, LC_ALL="C.UTF-8"))
            output = done.stdout + done.stderr
            if done.returncode < 0:
                problems.append(f"ended by signal {-done.returncode}")
            if "Sanitizer" in output or "runtime error:" in output:
                problems.append("a sanitizer reported:\n" + output[-3000:])
        except subprocess.TimeoutExpired:
            problems.append("hangs")
            output = ""
        answered = "VD1CustomImport answered false" if "VD1CustomImport answered false" in output \
            else "VD1CustomImport answered true" if "VD1CustomImport answered true" in output \
            else None
        if answered is None and not problems:
            problems.append("the import hook gave no answer:\n" + output[-2000:])
        if answered and answered.endswith("false"):
            refused += 1
            if project_state.state(project) != before_state:
                problems.append("not imported, but the project's content changed")
            # A failure after the first change is taken back row by row: the
            # content is the same, the bytes of a table need not be. A
            # package refused before it must not have touched a byte.
            if "Der Import ist fehlgeschlagen" in output:
                undone += 1
            elif file_bytes(project) != before_files:
                changed = sorted(set(file_bytes(project).items()) ^ set(before_files.items()))
                problems.append(f"refused, but files changed: {changed[:6]}")
        elif answered:
            accepted += 1
            if what.endswith(" deleted") and what.split()[0] in NEEDED:
                problems.append("imported, though the package lost that file")
        if os.path.exists(os.path.join(project, "TA_IMPORT.jnl")):
            problems.append("a journal is left")
        if problems:
            failures.append(f"run {run} ({what}), kept in {project} and {damaged}:\n  " +
                            "\n  ".join(problems))
        else:
            shutil.rmtree(project)
            shutil.rmtree(damaged)
    print(f"import mutation runs ({args.build}, seed {seed}): {runs} damaged packages; "
          f"{refused} not imported ({undone} of them taken back after a failed step), "
          f"{accepted} imported; {len(failures)} failed")
    for failure in failures:
        print(failure)
    if not failures:
        shutil.rmtree(work)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
