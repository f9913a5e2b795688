"""checkin against an exported package and against damaged copies of it.

Usage: checkin_packages.py <bin folder> <package folder> <prefix> [--clean]

With --clean the package is only checked as it is: probe and real run
find nothing, and the store records it.

Each case copies the package (and a store) into a folder of its own,
damages the copy in one way, runs checkin on it and reads the log back with
a reader of its own: Windows-1252, every line ended by CR LF, exactly one
"Sachdatenfehler: N" and one "Grafikfehler: N" line at the end. The counts
and the finding lines each case expects are checked, and no file written
by any run, nor anything it printed, holds the password.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

PASSWORD = "Ge heim-7ü"
USER = "anna"
DATABASE = "VANDRA NRW"
problems = []


def fail(case, what):
    problems.append(f"{case}: {what}")


def read_log(path):
    """The log's lines and its two counts, held to the log's rules."""
    with open(path, "rb") as f:
        raw = f.read()
    if not raw.endswith(b"\r\n"):
        raise ValueError("the log does not end with CR LF")
    parts = raw.split(b"\r\n")[:-1]
    for p in parts:
        if b"\r" in p or b"\n" in p:
            raise ValueError(f"a lone CR or LF in {p!r}")
    lines = [p.decode("cp1252") for p in parts]
    sach = [l for l in lines if l.startswith("Sachdatenfehler")]
    grafik = [l for l in lines if l.startswith("Grafikfehler")]
    if len(sach) != 1 or len(grafik) != 1:
        raise ValueError(f"marker lines: {sach} {grafik}")
    if lines[-2:] != [sach[0], grafik[0]]:
        raise ValueError(f"the marker lines are not the last two: {lines[-2:]}")

    def count(line):
        word = line[line.rfind(" ") + 1:]
        return int(word) if word.isdigit() else word
    return lines[:-2], count(sach[0]), count(grafik[0])


class Case:
    def __init__(self, root, name, package, prefix, store_ini):
        self.name = name
        self.dir = os.path.join(root, name)
        self.folder = os.path.join(self.dir, "Paket mit Leerzeichen")
        self.store = os.path.join(self.dir, "server")
        self.prefix = prefix
        shutil.copytree(package, self.folder)
        os.makedirs(self.store)
        with open(os.path.join(self.store, "checkin.ini"), "w", encoding="cp1252") as f:
            f.write(store_ini)

    def path(self, name):
        return os.path.join(self.folder, name)

    def run(self, checkin, probe=True, args=None, user=USER, password=PASSWORD, database=DATABASE):
        if args is None:
            args = (["-l"] if probe else []) + [
                "-s", self.store, "-u", user, "-p", password, "-D", database,
                "-d", self.folder, "-n", self.prefix]
        run = subprocess.run([checkin] + args, capture_output=True)
        for stream in (run.stdout, run.stderr):
            if PASSWORD.encode("utf-8") in stream:
                fail(self.name, "the password was printed")
        return run

    def log(self):
        return self.path(self.prefix + ".log")

    def expect(self, run, code, sach, grafik, lines=(), probe=True):
        if run.returncode != code:
            fail(self.name, f"exit code {run.returncode}, expected {code}; {run.stderr!r}")
        try:
            body, s, g = read_log(self.log())
        except (OSError, ValueError, UnicodeDecodeError) as e:
            fail(self.name, f"log: {e}")
            return []
        if (s, g) != (sach, grafik):
            fail(self.name, f"counts {s}/{g}, expected {sach}/{grafik}: {body}")
        for wanted in lines:
            if not any(l.startswith(wanted) for l in body):
                fail(self.name, f"no line beginning {wanted!r} in {body}")
        if not probe:
            return body
        if os.path.exists(os.path.join(self.store, "eingecheckt")) and (sach or grafik):
            fail(self.name, "a run with findings recorded something")
        return body


def replace_bytes(path, old, new):
    with open(path, "rb") as f:
        data = f.read()
    if old not in data:
        raise SystemExit(f"{path} holds no {old!r}: the package is not the one expected")
    with open(path, "wb") as f:
        f.write(data.replace(old, new, 1))


def main(argv):
    bindir, package, prefix = argv[1], argv[2], argv[3]
    checkin = os.path.join(bindir, "checkin")
    if not os.path.exists(os.path.join(bindir, "Checkin.exe")):
        fail("build", "Checkin.exe is not installed beside checkin")
    ini = (f"[Nutzer]\r\n{USER}={PASSWORD}\r\nbernd=anders\r\n"
           f"[Datenbanken]\r\n{DATABASE}=1\r\n").encode("cp1252").decode("latin-1")
    root = tempfile.mkdtemp(prefix="checkin-packages-")
    cases = []

    def case(name, extra_ini=""):
        # The ini goes out as cp1252: the test writes bytes as latin-1 text.
        c = Case(root, name, package, prefix, "")
        with open(os.path.join(c.store, "checkin.ini"), "wb") as f:
            f.write((ini + extra_ini).encode("latin-1"))
        cases.append(c)
        return c

    # The package as exported: the probe finds nothing and records nothing;
    # the real run records it; the same transaction again is refused.
    with open(os.path.join(package, prefix + ".tid"), "rb") as f:
        tid = re.search(rb"Transaktion=(\d+)", f.read()).group(1).decode()
    c = case("clean")
    c.expect(c.run(checkin), 0, 0, 0, [f"Transaktion: {tid}"])
    if os.path.exists(os.path.join(c.store, "eingecheckt")):
        fail(c.name, "the probe recorded something")
    c.expect(c.run(checkin, probe=False), 0, 0, 0, probe=False)
    record = os.path.join(c.store, "eingecheckt", "VANDRA%20NRW", "transaktionen.txt")
    try:
        with open(record, encoding="utf-8") as f:
            fields = f.read().splitlines()[0].split("\t")
        if fields[0] != tid or fields[1] != prefix or fields[3] != USER:
            fail(c.name, f"record {fields}")
    except (OSError, IndexError) as e:
        fail(c.name, f"record: {e}")
    kept = os.path.join(c.store, "eingecheckt", "VANDRA%20NRW", tid)
    for dirpath, _, files in os.walk(package):
        for name in files:
            rel = os.path.relpath(os.path.join(dirpath, name), package)
            if not os.path.isfile(os.path.join(kept, rel)):
                fail(c.name, f"the store keeps no {rel}")
    # The same package again (a hand-over repeated after a cut run) is
    # taken as checked in, and recorded no second time; a package changed
    # since is refused.
    c.expect(c.run(checkin, probe=False), 0, 0, 0,
             [f"Transaktion {tid} ist mit diesem Paket bereits"], probe=False)
    c.expect(c.run(checkin), 0, 0, 0, [f"Transaktion {tid} ist mit diesem Paket bereits"])
    with open(c.path(prefix + ".tid"), "ab") as f:
        f.write(b"Name=anders\r\n")
    c.expect(c.run(checkin, probe=False), 1, 1, 0,
             [f"Transaktion {tid} wurde bereits eingecheckt"], probe=False)
    with open(record, encoding="utf-8") as f:
        if len(f.read().splitlines()) != 1:
            fail(c.name, "the second run recorded again")

    if len(argv) > 4 and argv[4] == "--clean":
        return finish(root, cases)

    # A folder given with a trailing delimiter is the same folder.
    c = case("trailing_delimiter")
    run = c.run(checkin, args=["-s", c.store, "-u", USER, "-p", PASSWORD, "-D", DATABASE,
                               "-d", c.folder + "/", "-n", prefix])
    c.expect(run, 0, 0, 0, probe=False)
    if not os.path.isfile(os.path.join(c.store, "eingecheckt", "VANDRA%20NRW", tid,
                                       prefix + "_Fotos", "KTFoto1.jpg")):
        fail(c.name, "the photos are not kept in their folder")

    # The action table under the short name the full build creates it with.
    c = case("short_action_table")
    os.rename(c.path(prefix + "_aktion.dbf"), c.path((prefix + "_aktion")[:8] + ".dbf"))
    c.expect(c.run(checkin), 0, 0, 0)

    c = case("missing_photo")
    os.remove(c.path(os.path.join(prefix + "_Fotos", "KTFoto1.jpg")))
    c.expect(c.run(checkin, probe=False), 1, 1, 0, ["Foto -1: Datei KTFoto1.jpg fehlt"])

    unannounced = "ist in der Aktionstabelle aber nicht als neu oder geändert gemeldet"
    c = case("missing_in_xml")
    replace_bytes(c.path(prefix + ".xml"), b'Kennung="NSG-0816"', b'Kennung="NSG-0899"')
    c.expect(c.run(checkin), 1, 2, 0, [
        "Objekt NSG-0816: neu oder geändert gemeldet, fehlt aber in der XML-Datei",
        f"Objekt NSG-0899: steht in der XML-Datei {prefix}.xml, {unannounced}"])

    c = case("missing_in_geodata")
    replace_bytes(c.path(prefix + ".dbf"), b"NSG-0816", b"NSG-0899")
    c.expect(c.run(checkin), 1, 0, 2, [
        "Objekt NSG-0816: neu oder geändert gemeldet, fehlt aber in den Geodaten",
        f"Objekt NSG-0899: steht in den Geodaten {prefix}.shp, {unannounced}"])

    c = case("missing_in_line_layer")
    replace_bytes(c.path(prefix + "_lin.dbf"), b"DE-4509-304", b"DE-4509-399")
    c.expect(c.run(checkin), 1, 0, 2, ["Objekt DE-4509-304: neu oder geändert gemeldet, fehlt aber in den Geodaten"])

    # Files that do not agree with each other, as a cut export or two
    # exports into one folder leave them.
    c = case("change_list_of_another_export")
    replace_bytes(c.path(prefix + "_rp.txt"), b"NSG-0816", b"NSG-0899")
    c.expect(c.run(checkin), 1, 2, 0, [
        f"Objekt NSG-0899: in der Änderungsliste {prefix}_rp.txt neu, in der Aktionstabelle aber nicht mit N",
        f"Objekt NSG-0816: in der Aktionstabelle mit N, fehlt aber in der Änderungsliste {prefix}_rp.txt"])

    c = case("deletion_without_its_row")
    replace_bytes(c.path(prefix + "_aktion.dbf"), b"DE-4509-302" + b" " * 30 + b"D",
                  b"DE-4509-302" + b" " * 30 + b"I")
    c.expect(c.run(checkin), 1, 1, 0, [f"Tabelle {prefix}_aktion.dbf: 1 Zeilen mit D"])

    c = case("object_not_announced")
    replace_bytes(c.path(prefix + ".xml"), b"</KartulDaten>",
                  b'  <Objekt Kennung="ND-0042" Klasse="1" Typ="3" KARTULID="3"/>\n</KartulDaten>')
    c.expect(c.run(checkin), 1, 1, 0, [f"Objekt ND-0042: steht in der XML-Datei {prefix}.xml, {unannounced}"])

    c = case("deleted_still_present")
    replace_bytes(c.path(prefix + ".xml"), b"</KartulDaten>",
                  b'  <Objekt Kennung="DE-4509-302" Klasse="1" Typ="3" KARTULID="4"/>\n</KartulDaten>')
    replace_bytes(c.path(prefix + ".dbf"), b"DE-4509-310", b"DE-4509-302")
    c.expect(c.run(checkin), 1, 1, 2, [
        "Objekt DE-4509-302: als gelöscht gemeldet, steht aber noch in der XML-Datei",
        f"Objekt DE-4509-302: als gelöscht gemeldet, steht aber noch in den Geodaten {prefix}.shp",
        "Objekt DE-4509-310: neu oder geändert gemeldet, fehlt aber in den Geodaten"])

    c = case("bad_action_code")
    replace_bytes(c.path(prefix + "_aktion.dbf"), b"DE-4509-301" + b" " * 30 + b"U",
                  b"DE-4509-301" + b" " * 30 + b"X")
    c.expect(c.run(checkin), 1, 1, 0, ['Objekt DE-4509-301: unbekannter Aktionscode "X"'])

    c = case("damaged_xml")
    replace_bytes(c.path(prefix + ".xml"), b"</KartulDaten>", b"</KartulDat")
    c.expect(c.run(checkin), 1, 1, 0, [f"Datei {prefix}.xml: kein gültiges XML"])

    c = case("garbage_tid")
    with open(c.path(prefix + ".tid"), "wb") as f:
        f.write(b"[Transaktionsdaten]\r\nTransaktion=47x1\r\n")
    c.expect(c.run(checkin, probe=False), 1, 1, 0,
             [f"Datei {prefix}.tid: Transaktion=47x1 ist keine Transaktionsnummer"])
    if os.path.exists(os.path.join(c.store, "eingecheckt")):
        fail(c.name, "a package without a transaction was recorded")

    c = case("binary_tid")
    with open(c.path(prefix + ".tid"), "wb") as f:
        f.write(bytes(range(256)) * 4)
    c.expect(c.run(checkin), 1, 1, 0, [f"Datei {prefix}.tid: "])

    c = case("missing_tid")
    os.remove(c.path(prefix + ".tid"))
    c.expect(c.run(checkin), 1, 1, 0, [f"Datei {prefix}.tid: fehlt"])

    c = case("truncated_photo_table")
    with open(c.path(prefix + "pc.dbf"), "r+b") as f:
        f.truncate(os.path.getsize(c.path(prefix + "pc.dbf")) - 40)
    c.expect(c.run(checkin), 1, 1, 0, [f"Tabelle {prefix}pc.dbf: nicht lesbar: "])

    c = case("truncated_memo")
    with open(c.path(prefix + "pc.dbt"), "r+b") as f:
        f.truncate(512)
    c.expect(c.run(checkin), 1, 1, 0, [f"Tabelle {prefix}pc.dbf: nicht lesbar: "])

    c = case("truncated_geodata_table")
    with open(c.path(prefix + ".dbf"), "r+b") as f:
        f.truncate(os.path.getsize(c.path(prefix + ".dbf")) - 30)
    c.expect(c.run(checkin), 1, 0, 1, [f"Geodaten {prefix}.dbf: nicht lesbar: "])

    # A layer that cannot be read hides missing objects, not a deleted one
    # that another layer still holds.
    c = case("truncated_layer_and_deleted")
    with open(c.path(prefix + "_lin.dbf"), "r+b") as f:
        f.truncate(os.path.getsize(c.path(prefix + "_lin.dbf")) - 30)
    replace_bytes(c.path(prefix + ".dbf"), b"DE-4509-310", b"DE-4509-302")
    c.expect(c.run(checkin), 1, 0, 2, [
        f"Geodaten {prefix}_lin.dbf: nicht lesbar: ",
        "Objekt DE-4509-302: als gelöscht gemeldet, steht aber noch in den Geodaten"])

    c = case("wrong_password")
    c.expect(c.run(checkin, password="geheim"), 1, 1, 0, ['Anmeldung: Nutzer "anna" unbekannt oder Passwort falsch'])
    c.expect(c.run(checkin, user="bernd"), 1, 1, 0, ["Anmeldung: "])

    c = case("unknown_database")
    c.expect(c.run(checkin, database="VANDRA BRB"), 1, 1, 0, ['Anmeldung: Datenbank "VANDRA BRB"'])

    # A value cannot forge a line of its own.
    c = case("forged_line")
    body = c.expect(c.run(checkin, user="x\r\nSachdatenfehler: 0\r\nGrafikfehler: 0"), 1, 1, 0)
    if not any("Sachdatenfehler: 0" in l for l in body):
        fail(c.name, f"the user name is not in the log: {body}")

    c = case("no_store")
    shutil.rmtree(c.store)
    c.expect(c.run(checkin), 1, 1, 0, ["Server "])

    c = case("usage")
    run = c.run(checkin, args=["-l", "-s", c.store, "-u", USER, "-p", PASSWORD,
                               "-d", c.folder, "-n", prefix])
    c.expect(run, 2, 1, 0, ["Aufruf: Schalter -D fehlt"])
    if b"-D" not in run.stderr:
        fail(c.name, f"stderr {run.stderr!r}")
    run = c.run(checkin, args=["-s", c.store, "-u", USER, "-p", "mein", PASSWORD, "-D", DATABASE,
                               "-d", c.folder, "-n", prefix])
    c.expect(run, 2, 1, 0, ["Aufruf: unerwartetes Argument Nr. 7"])

    # An empty value is an empty argument: an empty password is a password.
    c = case("empty_password", "[Nutzer]\r\n")
    with open(os.path.join(c.store, "checkin.ini"), "wb") as f:
        f.write(f"[Nutzer]\r\nleer=\r\n[Datenbanken]\r\n{DATABASE}=1\r\n".encode("cp1252"))
    c.expect(c.run(checkin, user="leer", password=""), 0, 0, 0)
    c.expect(c.run(checkin, user="leer", password=" "), 1, 1, 0, ["Anmeldung: "])

    # The test behaviours.
    c = case("keinlog", "[Test]\r\nVerhalten=keinlog\r\n")
    run = c.run(checkin)
    if os.path.exists(c.log()) or run.returncode != 0:
        fail(c.name, f"a log was written or exit {run.returncode}")
    run = c.run(checkin, probe=False)
    if os.path.exists(c.log()) or os.path.exists(os.path.join(c.store, "eingecheckt", "VANDRA%20NRW", "transaktionen.txt")):
        fail(c.name, "a run without a log wrote a log or recorded")
    # A crash after the log, before the record: nothing recorded, and the
    # hand-over repeated goes through.
    c = case("absturznachlog", "[Test]\r\nVerhalten=absturznachlog\r\n")
    run = c.run(checkin, probe=False)
    if run.returncode >= 0:
        fail(c.name, f"exit {run.returncode}")
    c.expect(run, run.returncode, 0, 0, probe=False)
    if os.path.exists(os.path.join(c.store, "eingecheckt", "VANDRA%20NRW", "transaktionen.txt")):
        fail(c.name, "a run that crashed before its record recorded")
    with open(os.path.join(c.store, "checkin.ini"), "wb") as f:
        f.write(ini.encode("latin-1"))
    c.expect(c.run(checkin, probe=False), 0, 0, 0, [f"Transaktion {tid} eingecheckt"], probe=False)
    c = case("absturz", "[Test]\r\nVerhalten=absturz\r\n")
    run = c.run(checkin, probe=False)
    if os.path.exists(c.log()) or run.returncode >= 0:
        fail(c.name, f"exit {run.returncode}, log {os.path.exists(c.log())}")
    if os.path.exists(os.path.join(c.store, "eingecheckt")):
        fail(c.name, "a crashed run recorded something")
    c = case("warten", "[Test]\r\nVerhalten=warten\r\nSekunden=1\r\n")
    c.expect(c.run(checkin), 0, 0, 0)
    c = case("leerzeichen", "[Test]\r\nVerhalten=leerzeichen\r\n")
    run = c.run(checkin)
    with open(c.log(), "rb") as f:
        if b"\r\nSachdatenfehler: 0 \r\nGrafikfehler: 0\r\n" not in f.read():
            fail(c.name, "no blank after the count")
    c.expect(run, 0, "", 0)

    return finish(root, cases)


def finish(root, cases):
    # No file any run wrote holds the password.
    secret = [PASSWORD.encode("utf-8"), PASSWORD.encode("cp1252")]
    for c in cases:
        for dirpath, _, files in os.walk(c.dir):
            for name in files:
                path = os.path.join(dirpath, name)
                if name == "checkin.ini" and dirpath == c.store:
                    continue
                with open(path, "rb") as f:
                    data = f.read()
                if any(s in data for s in secret):
                    fail(c.name, f"{path} holds the password")

    for p in problems:
        print(p, file=sys.stderr)
    if problems:
        print(f"{len(problems)} problem(s); the copies are kept in {root}", file=sys.stderr)
        return 1
    shutil.rmtree(root)
    print(f"{len(cases)} packages checked")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
