"""Puts the checked plug-in DLLs into the release zip (scripts/package-windows).

Usage: package_windows.py <build folder> <objdump>
       package_windows.py selftest

Each DLL is checked as CI checks it (tests/windows/CheckDll.py), but with no
service allowed to be pending. The zip is written beside itself and moved
into place, so a zip in the release folder is always whole.
"""
import contextlib
import io
import os
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "windows"))
import CheckDll  # noqa: E402

BUILDS = ("VD1TransAction2010", "VD1TransAction", "TransactHooks")
ZIP_NAME = "vandra-plugin-windows.zip"
# Every namespace of the platform, so that what a DLL still lacks is listed
# by service before the release is refused for it.
SERVICES = tuple(f"platform::{s}" for s in (
    "env", "text", "ini", "registry", "process", "ui", "print", "xml", "geodata", "module",
    "dbase", "db"))

INSTALL = """VANDRA-Transaktionen für KARTUL: Einrichten unter Windows
=========================================================

Der Ordner enthält die drei Ausgaben des Plug-ins als 32-Bit-DLLs:

  VD1TransAction2010.dll   die volle Ausgabe (Texte in UTF-16)
  VD1TransAction.dll       die frühere Ausgabe
  TransactHooks.dll        die reduzierte Ausgabe

Jede DLL läuft unter Windows 7 oder neuer und braucht außer den DLLs von
Windows nur ktapi32.dll, die Bibliothek von KARTUL; die Laufzeit von C und
C++ ist eingebunden. Funktionen von KARTUL, die nicht jede Version hat,
sucht das Plug-in erst, wenn es sie braucht; fehlt eine, nennt eine Meldung
sie, und der Vorgang wird abgebrochen.

Einrichten:
1. KARTUL beenden.
2. Die DLL der Ausgabe, die Ihre Dienststelle verwendet, in den Ordner der
   Plug-ins von KARTUL kopieren (neben ktapi32.dll oder dorthin, wo KARTUL
   seine Plug-ins sucht). Nur eine der drei DLLs einrichten.
3. KARTUL starten und das Projekt laden; das Plug-in meldet sich mit den
   Befehlen der Transaktionen.

Die Einstellungen (Check-In-Programm, Zugang) liegen in der Registrierung
unter dem Schlüssel, den die Ausgabe verwendet (siehe README des Projekts,
Abschnitt "Windows"). PRUEFUNG.txt nennt, was an jeder DLL geprüft wurde.
"""


def main(argv):
    build_dir, objdump = argv[1], argv[2]
    bin_dir = os.path.join(build_dir, "bin")
    report, problems = [], []
    for build in BUILDS:
        dll = os.path.join(bin_dir, f"{build}.dll")
        if not os.path.isfile(dll):
            problems.append(f"{dll}: fehlt")
            continue
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            found = CheckDll.check(objdump, dll, os.path.join("builds", f"{build}.map"), SERVICES)
        lines = out.getvalue()
        report.append(f"{build}.dll\n{lines}")
        problems += found
        if CheckDll.PENDING_DLL in lines or "pending on Windows" in lines:
            sys.stderr.write(lines)
            problems.append(f"{build}.dll: imports functions without a Windows implementation "
                            f"from {CheckDll.PENDING_DLL} (listed above); it cannot load")
    if problems:
        print("package-windows: no release; the DLLs do not pass their checks:", file=sys.stderr)
        for problem in problems:
            print(f"  {problem}", file=sys.stderr)
        return 1
    release = os.path.join(build_dir, "release")
    os.makedirs(release, exist_ok=True)
    target = os.path.join(release, ZIP_NAME)
    partial = target + ".tmp"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as z:
        for build in BUILDS:
            z.write(os.path.join(bin_dir, f"{build}.dll"), f"{build}.dll")
        z.writestr("INSTALL.txt", INSTALL.replace("\n", "\r\n"))
        z.writestr("PRUEFUNG.txt", "\r\n".join("\n".join(report).splitlines()) + "\r\n")
    os.replace(partial, target)
    print(f"package-windows: {target}")
    return 0


def selftest():
    """The zip as released from DLLs that pass, and none from one that still
    lacks a service; the checks themselves are CheckDll.py's own test."""
    import tempfile
    real_check = CheckDll.check
    failures = []
    try:
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, "bin"))
            for build in BUILDS:
                with open(os.path.join(root, "bin", f"{build}.dll"), "wb") as f:
                    f.write(b"MZ" + build.encode())
            CheckDll.check = lambda tool, dll, m, services: (
                print(f"{os.path.basename(dll)}: exactly its hooks"), [])[1]
            if main(["", root, "objdump"]) != 0:
                failures.append("passing DLLs were not released")
            target = os.path.join(root, "release", ZIP_NAME)
            with zipfile.ZipFile(target) as z:
                names = sorted(z.namelist())
                if names != sorted([f"{b}.dll" for b in BUILDS] + ["INSTALL.txt", "PRUEFUNG.txt"]):
                    failures.append(f"the zip holds {names}")
                if z.read("TransactHooks.dll") != b"MZTransactHooks":
                    failures.append("a DLL changed on its way into the zip")
                if b"\r\n" not in z.read("INSTALL.txt") or b"\n\n" in z.read("INSTALL.txt"):
                    failures.append("INSTALL.txt has no Windows line ends")
                if "TransactHooks.dll: exactly its hooks" not in z.read("PRUEFUNG.txt").decode():
                    failures.append("PRUEFUNG.txt lacks the checks")
            os.remove(target)
            CheckDll.check = lambda tool, dll, m, services: (
                print(f"{os.path.basename(dll)}: pending on Windows, platform::text: f"), [])[1]
            with contextlib.redirect_stderr(io.StringIO()):
                refused = main(["", root, "objdump"])
            if refused == 0 or os.path.exists(target) or os.path.exists(target + ".tmp"):
                failures.append("a DLL with pending functions was released")
    finally:
        CheckDll.check = real_check
    for failure in failures:
        print(f"package_windows selftest: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(selftest() if sys.argv[1:] == ["selftest"] else main(sys.argv))
