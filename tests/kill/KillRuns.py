"""Kill runs: the transaction lists survive a mapper's session cut off at any moment.

kartul-sim with the full build VD1TransAction2010 works on a checked-out
transaction (../scenarios/lib/checkout.kts) through rounds of cycle.kts:
objects created, deleted, switched and assigned. Each run starts from a copy
of the same checked-out project and is killed with SIGKILL at a random moment
of its course. Afterwards the three tables are read by an independent dBase
reader (Python's dbfread) and must hold:

  whole      dbfread reads each table to its end mark and finds as many
             records as the header counts, every value readable;
  repaired   a table the kill left in the middle of a rewrite (the header's
             flag) is whole again once the driver has read it (dbsql);
  no loss    every identifier of the checkout is held by a row or in a pool;
  unique     no two rows of TA_LIST hold one identifier.

One state breaks "as many records as the header counts" by design: the
driver appends records behind the end mark, opens the gate (the first new
record's flag over the end mark) and writes the header's count last. A kill
between the last two writes leaves whole records before the end mark that
the header does not count yet; readers that read to the end mark (dbfread,
the driver) take them, readers that go by the count do not, and the next
write of the driver counts them. Any order of two writes at two places of
the file has such a moment. Such a run is counted apart, not as a
violation, when the uncounted records are whole, the identifiers hold in
both readings, and the driver's next write (on a copy) makes the count
right.

A run that is not killed in time must pass as a scenario. A violation keeps
the run's project folder and names it.

Usage: KillRuns.py --sim <kartul-sim> --dbsql <dbsql> --scenarios <tests/scenarios>
                   [--runs N] [--cycles N] [--seed N]
       KillRuns.py --dbsql <dbsql> --selftest
VANDRA_KILL_RUNS and VANDRA_KILL_SEED override --runs and --seed (a long run:
VANDRA_KILL_RUNS=300). --selftest plants each fault the checks exist for in
tables of its own and expects it found.
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

import dbfread

# What lib/checkout.kts checks out: the rows' identifiers and the pools'.
CHECKOUT = {
    "DE-4509-301", "NSG-0815", "ND-0042",
    "DE-4509-310", "DE-4509-311", "NSG-0816", "ND-0050", "DE-5505-001", "ND-0051",
}
TABLES = ("TA_LIST", "TA_KL", "TA_ID")


class Table:
    """A dBase file as dbfread reads it: the live records to the end mark,
    those of them the header counts, and what is wrong with the file."""

    def __init__(self, path):
        self.name = os.path.basename(path)
        self.records, self.counted_records, self.problems = [], [], []
        self.uncounted = 0  # whole records before the end mark the header does not count
        with open(path, "rb") as f:
            raw = f.read()
        self.unfinished = len(raw) > 14 and raw[14] != 0
        try:
            table = dbfread.DBF(path, encoding="cp1252", char_decode_errors="strict", load=True)
        except Exception as e:  # any failure to read is what this test looks for
            self.problems.append(f"{self.name}: dbfread cannot read it: {e!r}")
            return
        self.records = table.records
        self.counted_records = table.records
        counted = table.header.numrecords
        found = len(table.records) + len(table.deleted)
        end = table.header.headerlen + found * table.header.recordlen
        if len(raw) < end:
            self.problems.append(f"{self.name}: {len(raw)} bytes cannot hold {found} records")
        elif found > counted:
            self.uncounted = found - counted
            # What a reader going by the count sees: the file cut after it.
            cut = path + ".counted"
            with open(cut, "wb") as f:
                f.write(raw[:table.header.headerlen + counted * table.header.recordlen] + b"\x1a")
            self.counted_records = dbfread.DBF(cut, encoding="cp1252", load=True).records
            os.remove(cut)
        elif found < counted:
            self.problems.append(f"{self.name}: the header counts {counted} records, "
                                 f"dbfread found {found}")


def connection(project):
    return f"Data Source={project};Extended Properties=DBASE III;"


def check_lists(rows, pool, reading):
    problems = []
    kennungen = [r["KENNUNG"] for r in rows]
    for k in sorted({k for k in kennungen if kennungen.count(k) > 1}):
        problems.append(f"two rows hold {k}{reading}")
    held = set(kennungen) | {r["KENNUNG"] for r in pool}
    for k in sorted(CHECKOUT - held):
        problems.append(f"{k} is in neither list (no row, no pool){reading}")
    return problems


def next_write_counts(project, dbsql, name):
    """Whether the driver's next write, on a copy of the project, makes the
    header count what stands before the end mark."""
    copy = project.rstrip("/") + ".next-write"
    shutil.copytree(project, copy)
    subprocess.run([dbsql, connection(copy), f"insert into {name} (TID) values (0)"],
                   stdout=subprocess.DEVNULL, check=False)
    table = Table(os.path.join(copy, name + ".dbf"))
    shutil.rmtree(copy)
    return not table.problems and table.uncounted == 0


def check_project(project, dbsql):
    """Violations found in the project's tables; whether a rewrite was left
    for the next reader; whether an append was cut before its count; and
    the tables' content (TA_LIST and TA_KL as sorted lines)."""
    tables, problems, repaired, cut_append = {}, [], False, False
    for name in TABLES:
        path = os.path.join(project, name + ".dbf")
        table = Table(path)
        if table.unfinished:
            # The driver's next reader puts back what the kill left half
            # rewritten; the records are judged after it.
            repaired = True
            subprocess.run([dbsql, connection(project), f"select count(*) from {name}"],
                           stdout=subprocess.DEVNULL, check=False)
            table = Table(path)
            if table.unfinished:
                table.problems.append(f"{name}.dbf: still marked as half rewritten after a read")
        if table.uncounted:
            cut_append = True
            if not next_write_counts(project, dbsql, name):
                table.problems.append(f"{name}.dbf: {table.uncounted} records the header does "
                                      f"not count, and the next write does not count them")
        tables[name] = table
        problems += table.problems
    rows, pool = tables["TA_LIST"], tables["TA_KL"]
    problems += check_lists(rows.records, pool.records, "")
    if cut_append:
        problems += check_lists(rows.counted_records, pool.counted_records,
                                " (reading as far as the header counts)")
    content = sorted(" ".join(str(v) for v in r.values()) for t in (rows, pool)
                     for r in t.records)
    return problems, repaired, cut_append, content


def run_sim(sim, project, scenario, env, kill_after=None):
    """Runs kartul-sim on the project; kills it after kill_after seconds.
    Answers its exit status (-9 when killed) and its output."""
    command = [sim, "--quiet", "--build", "VD1TransAction2010", "--project", project, scenario]
    if kill_after is None:
        done = subprocess.run(command, env=env, capture_output=True, text=True, check=False)
        return done.returncode, done.stdout + done.stderr
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    time.sleep(kill_after)
    if process.poll() is None:
        process.send_signal(signal.SIGKILL)
    return process.wait(), ""


def selftest(dbsql):
    """The checks on planted faults: each must be named, a whole checkout not."""
    work = tempfile.mkdtemp(prefix="vandra-kill-selftest-")
    checkout = os.path.join(work, "checkout")
    os.mkdir(checkout)

    def sql(project, statement):
        subprocess.run([dbsql, connection(project), statement], check=True,
                       stdout=subprocess.DEVNULL)

    sql(checkout, "create Table TA_LIST (TID integer, KARTULID integer,VGNR integer,"
                  "SCHREIBEND integer,KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))")
    sql(checkout, "create Table TA_KL (TID integer, KENNUNG char(50))")
    sql(checkout, "create Table TA_ID (TID integer, NAME char(75),OWNER char(75))")
    for k, status in (("DE-4509-301", 1), ("NSG-0815", 0), ("ND-0042", 1)):
        sql(checkout, "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)"
                      f" values (4711,1,1,{status},'{k}','IGNORED','{k}')")
    for k in sorted(CHECKOUT - {"DE-4509-301", "NSG-0815", "ND-0042"}):
        sql(checkout, f"insert into TA_KL (TID,KENNUNG) values (4711,'{k}')")

    def planted(name, plant):
        project = os.path.join(work, name)
        shutil.copytree(checkout, project)
        plant(project)
        return check_project(project, dbsql)

    def set_count(path, delta):
        with open(path, "r+b") as f:
            f.seek(4)
            count = int.from_bytes(f.read(4), "little")
            f.seek(4)
            f.write((count + delta).to_bytes(4, "little"))

    def cut_last_record(project):
        path = os.path.join(project, "TA_KL.dbf")
        size = os.path.getsize(path)
        with open(path, "r+b") as f:
            f.truncate(size - 30)

    def uncounted_last(project):
        # The only pool entry of ND-0051, appended but not yet counted.
        sql(project, "delete from TA_KL where KENNUNG = 'ND-0051'")
        sql(project, "insert into TA_KL (TID,KENNUNG) values (4712,'ND-0051')")
        set_count(os.path.join(project, "TA_KL.dbf"), -1)

    cases = [
        ("whole", lambda p: None, None),
        ("lost", lambda p: sql(p, "delete from TA_KL where KENNUNG = 'ND-0050'"),
         "ND-0050 is in neither list"),
        ("twice", lambda p: sql(p, "insert into TA_LIST (TID,KENNUNG) values (4712,'ND-0042')"),
         "two rows hold ND-0042"),
        ("torn", cut_last_record, "bytes cannot hold"),
        ("counted ahead", lambda p: set_count(os.path.join(p, "TA_LIST.dbf"), 1),
         "the header counts 4 records, dbfread found 3"),
        ("uncounted", uncounted_last,
         "ND-0051 is in neither list (no row, no pool) (reading as far as the header counts)"),
    ]
    failures = []
    for name, plant, expected in cases:
        problems = planted(name.replace(" ", "-"), plant)[0]
        if expected is None and problems:
            failures.append(f"{name}: found {problems}")
        if expected is not None and not any(expected in p for p in problems):
            failures.append(f"{name}: {expected!r} not found in {problems}")
    for f in failures:
        print("  SELFTEST " + f)
    print(f"kill checks: {len(cases)} planted cases, {len(failures)} missed")
    if not failures:
        shutil.rmtree(work)
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sim")
    parser.add_argument("--dbsql", required=True)
    parser.add_argument("--scenarios")
    parser.add_argument("--selftest", action="store_true")
    parser.add_argument("--runs", type=int, default=40)
    parser.add_argument("--cycles", type=int, default=20)
    parser.add_argument("--seed", type=int, default=4711)
    args = parser.parse_args()
    if args.selftest:
        return selftest(args.dbsql)
    if not args.sim or not args.scenarios:
        parser.error("--sim and --scenarios are needed for the kill runs")
    args.scenarios = os.path.abspath(args.scenarios)
    runs = int(os.environ.get("VANDRA_KILL_RUNS") or args.runs)
    seed = int(os.environ.get("VANDRA_KILL_SEED") or args.seed)
    rng = random.Random(seed)

    work = tempfile.mkdtemp(prefix="vandra-kill-")
    env = dict(os.environ, KARTUL_REGISTRY=os.path.join(work, "registry.reg"), TMPDIR=work,
               LC_ALL="C.UTF-8")
    template = os.path.join(work, "checkout")
    setup = os.path.join(work, "setup.kts")
    with open(setup, "w") as f:
        f.write("plugin VD1TransAction2010\n"
                f"include {os.path.join(args.scenarios, 'lib', 'checkout.kts')}\n"
                "let P ${PROJECT}\nclose\n"
                f"exec /bin/cp -r ${{P}} {template}\n")
    done = subprocess.run([args.sim, "--quiet", setup], env=env, capture_output=True, text=True,
                          check=False)
    if done.returncode != 0:
        print(done.stdout + done.stderr)
        print("kill runs: the checkout could not be made")
        return 1
    scenario = os.path.join(work, "work.kts")
    cycle = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cycle.kts")
    with open(scenario, "w") as f:
        f.write(f"include {cycle}\n" * args.cycles)

    # One run to its end: the work must pass, and it sets the span in which
    # the kills fall.
    project = os.path.join(work, "whole")
    shutil.copytree(template, project)
    started = time.monotonic()
    status, output = run_sim(args.sim, project, scenario, env)
    span = time.monotonic() - started
    problems, _, _, _ = check_project(project, args.dbsql)
    if status != 0 or problems:
        print(output)
        print("kill runs: the work does not pass without a kill:", *problems, sep="\n  ")
        return 1
    shutil.rmtree(project)

    untouched = check_project(template, args.dbsql)[3]
    killed = finished = repairs = cut_appends = at_work = 0
    violations = []
    for run in range(1, runs + 1):
        project = os.path.join(work, f"run{run}")
        shutil.copytree(template, project)
        status, _ = run_sim(args.sim, project, scenario, env, rng.uniform(0, span))
        if status == -signal.SIGKILL:
            killed += 1
        elif status == 0:
            finished += 1
        else:
            violations.append(f"run {run}: kartul-sim ended with status {status} before the kill")
        problems, repaired, cut_append, content = check_project(project, args.dbsql)
        repairs += repaired
        cut_appends += cut_append
        at_work += status == -signal.SIGKILL and content != untouched
        if problems:
            violations += [f"run {run} ({project}): {p}" for p in problems]
        else:
            shutil.rmtree(project)

    print(f"kill runs: seed {seed}, {runs} runs of {args.cycles} rounds over {span:.2f} s: "
          f"{killed} killed ({at_work} after the tables had changed), {finished} finished "
          f"first, {repairs} left a rewrite for the next reader, {cut_appends} an append "
          f"before its count, {len(violations)} violations")
    for v in violations:
        print("  VIOLATION " + v)
    if not violations:
        shutil.rmtree(work)
    return 1 if violations else 0


if __name__ == "__main__":
    sys.exit(main())
