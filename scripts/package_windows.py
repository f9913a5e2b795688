"""Puts the checked plug-in DLLs into the release zip (scripts/package-windows).

Usage: package_windows.py <build folder> <objdump>
       package_windows.py selftest

Each DLL is checked as CI checks it (tests/windows/CheckDll.py), but with no
service allowed to be pending. The zip is written beside itself and moved
into place, so a zip in the release folder is always whole.
"""
import contextlib
import hashlib
import io
import os
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "windows"))
import CheckDll  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
BUILDS = ("VD1TransAction2010", "VD1TransAction", "TransactHooks")
ZIP_NAME = "vandra-plugin-windows.zip"
# Every namespace of the platform, so that what a DLL still lacks is listed
# by service before the release is refused for it.
SERVICES = tuple(f"platform::{s}" for s in (
    "env", "text", "ini", "registry", "process", "ui", "print", "xml", "geodata", "module",
    "dbase", "db"))

# Which host each build is for, as INSTALL.txt and PRUEFUNG.txt name it.
HOSTS = {
    "VD1TransAction2010": ("die volle Ausgabe", "KARTUL 5.1",
                           r"HKEY_CURRENT_USER\Software\Bremak\kartul\5.1\VANDRA"),
    "VD1TransAction": ("die frühere Ausgabe", "KARTUL 3.2",
                       r"HKEY_CURRENT_USER\Software\Bremak\kartul\3.2\VANDRA2"),
    "TransactHooks": ("die reduzierte Ausgabe", "KARTUL 3.2",
                      r"HKEY_CURRENT_USER\Software\Bremak\kartul\3.2\VANDRA2"),
}

INSTALL = r"""VANDRA-Transaktionen für KARTUL: Einrichten unter Windows
=========================================================

Diese ZIP-Datei enthält drei Ausgaben des Plug-ins als 32-Bit-DLLs. Nur eine
davon wird eingerichtet, die zu Ihrer KARTUL-Version passende:

  VD1TransAction2010.dll  volle Ausgabe      für KARTUL 5.1
                          Einstellungen unter
                          HKEY_CURRENT_USER\Software\Bremak\kartul\5.1\VANDRA
  VD1TransAction.dll      frühere Ausgabe    für KARTUL 3.2
                          Einstellungen unter
                          HKEY_CURRENT_USER\Software\Bremak\kartul\3.2\VANDRA2
  TransactHooks.dll       reduzierte Ausgabe für KARTUL 3.2 (nur Transaktionen
                          und Status, ohne Export, Import und Fotos)
                          Einstellungen unter
                          HKEY_CURRENT_USER\Software\Bremak\kartul\3.2\VANDRA2

Die Einstellungen des Check-Ins (Nutzer, Datenbank, Pfad von Checkin.exe und
des Editors) liegen bei jeder Ausgabe unter
  HKEY_CURRENT_USER\Vandra\AutoCheckIn
Ob der Check-In nach einem Export angeboten wird, steht in der Datei
applicat.ini im Verfahrensordner von KARTUL, Abschnitt [VANDRA], Wert
AutoCheckIn (größer als 0: angeboten).

Voraussetzungen
---------------
- Windows 7 oder neuer, 32 oder 64 Bit (die DLLs sind 32-Bit-Code wie KARTUL).
- KARTUL mit seiner Bibliothek ktapi32.dll. Sonst braucht eine DLL nur die
  DLLs von Windows selbst; die Laufzeit von C und C++ ist eingebunden.
  Funktionen von KARTUL, die nicht jede Version hat, sucht das Plug-in erst,
  wenn es sie braucht; fehlt eine, nennt eine Meldung sie, und der Vorgang
  wird abgebrochen.

Einrichten
----------
1. KARTUL beenden.
2. Die DLL Ihrer Ausgabe in den Ordner kopieren, in dem KARTUL seine
   Plug-ins lädt (im Zweifel den Programmordner von KARTUL, neben
   ktapi32.dll). Eine DLL einer anderen Ausgabe dort entfernen.
3. KARTUL starten und ein Projekt laden.

Prüfen
------
- Ob die Datei unverändert angekommen ist: in der Eingabeaufforderung
    certutil -hashfile VD1TransAction2010.dll SHA256
  (mit dem Namen Ihrer DLL) und den Wert mit dem in PRUEFUNG.txt
  vergleichen.
- Ob KARTUL das Plug-in geladen hat: ein Objekt aktivieren und den Befehl
  zur Statusanzeige aufrufen. Das Plug-in antwortet mit einer Meldung, in
  einem Projekt ohne Transaktionen etwa "Es konnte keine Transaktionsliste
  gefunden werden!". Die frühere Ausgabe zeigt den Status nur, wenn in
  applicat.ini im Abschnitt [Config] Bundesland=RLP steht; sonst rufen Sie
  dort den Import auf: das Plug-in fragt nach dem Transaktionspaket
  (Abbrechen ändert nichts). Meldet sich nichts, hat KARTUL die DLL nicht
  geladen (falscher Ordner oder falsche Ausgabe).

PRUEFUNG.txt nennt, was an jeder DLL vor der Auslieferung geprüft wurde.
"""

PRUEFUNG_HEAD = """Prüfung der DLLs dieser Auslieferung
====================================

Jede DLL wurde vor der Auslieferung aus ihrer Datei gelesen und geprüft, dann
wurden ihre Symbole entfernt (die Tabellen der Exporte und Importe bleiben
dabei dieselben; auch das wurde geprüft). Die Prüfsumme gilt der
ausgelieferten Datei.
"""


def german_number(n):
    return f"{n:,}".replace(",", ".")


def dll_report(build, size, digest, exports, names_by_dll, host_list):
    """What PRUEFUNG.txt says of one DLL, from its headers as shipped."""
    edition, host, key = HOSTS[build]
    windows = {d: n for d, n in names_by_dll.items() if d != CheckDll.HOST_DLL}
    lines = [
        f"{build}.dll: {edition}, für {host}",
        f"  Größe: {german_number(size)} Bytes",
        f"  SHA-256: {digest}",
        f"  Einstellungen: {key}",
        f"  Exportiert genau die {len(exports)} Hooks ihrer Liste, ohne Namensschmuck, "
        "jeder mit \"ret 0xc\" (stdcall, drei Argumente).",
        f"  Importiert beim Laden von ktapi32.dll genau die {len(host_list)} Funktionen, "
        "die jede KARTUL-Version dieser Ausgabe hat; weitere sucht sie erst, wenn sie sie "
        "braucht.",
        f"  Importiert von Windows {sum(len(set(n)) for n in windows.values())} Funktionen "
        f"aus {', '.join(sorted(windows))}, jede schon in Windows 7 vorhanden.",
    ]
    return "\n".join(lines)


def windows_text(text):
    """A text for Notepad on every Windows: UTF-8 with its byte-order mark,
    which Notepad reads as such since Windows 2000, and CR LF line ends."""
    return b"\xef\xbb\xbf" + text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


def strip_dll(strip, source, target):
    run = subprocess.run([strip, "--strip-all", "-o", target, source],
                         capture_output=True, text=True)
    if run.returncode != 0:
        raise SystemExit(f"{strip} {source} failed:\n{run.stderr}")


def main(argv, strip=strip_dll, headers=CheckDll.read_headers):
    build_dir, objdump = argv[1], argv[2]
    strip_tool = argv[3] if len(argv) > 3 else objdump.replace("objdump", "strip")
    bin_dir = os.path.join(build_dir, "bin")
    problems = []
    for build in BUILDS:
        dll = os.path.join(bin_dir, f"{build}.dll")
        if not os.path.isfile(dll):
            problems.append(f"{dll}: fehlt")
            continue
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            found = CheckDll.check(objdump, dll, os.path.join(ROOT, "builds", f"{build}.map"), SERVICES)
        lines = out.getvalue()
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
    stripped_dir = os.path.join(release, "stripped")
    os.makedirs(stripped_dir, exist_ok=True)
    reports = []
    for build in BUILDS:
        dll = os.path.join(bin_dir, f"{build}.dll")
        stripped = os.path.join(stripped_dir, f"{build}.dll")
        strip(strip_tool, dll, stripped)
        before, after = headers(objdump, dll), headers(objdump, stripped)
        if before != after:
            print(f"package-windows: no release; stripping changed the exports or imports "
                  f"of {build}.dll", file=sys.stderr)
            return 1
        with open(stripped, "rb") as f:
            data = f.read()
        exports, _, names_by_dll = after
        host_list = CheckDll.imports_list(os.path.join(ROOT, "builds", f"{build}.imports"))
        reports.append(dll_report(build, len(data), hashlib.sha256(data).hexdigest(),
                                  exports, names_by_dll, host_list))
    target = os.path.join(release, ZIP_NAME)
    partial = target + ".tmp"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as z:
        for build in BUILDS:
            z.write(os.path.join(stripped_dir, f"{build}.dll"), f"{build}.dll")
        z.writestr("INSTALL.txt", windows_text(INSTALL))
        z.writestr("PRUEFUNG.txt", windows_text(PRUEFUNG_HEAD + "\n" + "\n\n".join(reports) + "\n"))
    os.replace(partial, target)
    print(f"package-windows: {target}")
    return 0


def selftest():
    """The zip as released from DLLs that pass, and none from one that still
    lacks a service or that stripping would change; the checks themselves
    are CheckDll.py's own test."""
    import tempfile
    real_check = CheckDll.check
    failures = []

    def fake_strip(tool, source, target):
        with open(source, "rb") as f, open(target, "wb") as out:
            out.write(f.read().replace(b"+symbols", b""))

    fake_headers_of = {}

    def fake_headers(tool, dll):
        name = os.path.basename(dll)
        return fake_headers_of.get((name, "stripped" in dll), (
            {"BeforeCreateObject": 1, "AfterLoadProject": 2}, ["ktapi32.dll", "kernel32.dll"],
            {"ktapi32.dll": ["ktRedraw"], "kernel32.dll": ["CreateFileW", "CloseHandle"]}))

    def release(root):
        return main(["", root, "objdump", "strip"], strip=fake_strip, headers=fake_headers)

    try:
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, "bin"))
            for build in BUILDS:
                with open(os.path.join(root, "bin", f"{build}.dll"), "wb") as f:
                    f.write(b"MZ" + build.encode() + b"+symbols")
            CheckDll.check = lambda tool, dll, m, services: (
                print(f"{os.path.basename(dll)}: exactly its hooks"), [])[1]
            if release(root) != 0:
                failures.append("passing DLLs were not released")
            target = os.path.join(root, "release", ZIP_NAME)
            with zipfile.ZipFile(target) as z:
                names = sorted(z.namelist())
                if names != sorted([f"{b}.dll" for b in BUILDS] + ["INSTALL.txt", "PRUEFUNG.txt"]):
                    failures.append(f"the zip holds {names}")
                if z.read("TransactHooks.dll") != b"MZTransactHooks":
                    failures.append("the zip does not hold the stripped DLL")
                with open(os.path.join(root, "bin", "TransactHooks.dll"), "rb") as f:
                    if f.read() != b"MZTransactHooks+symbols":
                        failures.append("the DLL in the build folder was stripped")
                for text in ("INSTALL.txt", "PRUEFUNG.txt"):
                    data = z.read(text)
                    if not data.startswith(b"\xef\xbb\xbf"):
                        failures.append(f"{text} has no byte-order mark")
                    if data.replace(b"\r\n", b"").count(b"\n") or data.count(b"\r") != \
                            data.count(b"\r\n"):
                        failures.append(f"{text} has line ends other than CR LF")
                    decoded = data.decode("utf-8-sig")
                    if "für" not in decoded or "README" in decoded:
                        failures.append(f"{text} is not German or points to what the zip lacks")
                install = z.read("INSTALL.txt").decode("utf-8-sig")
                for needed in ("Windows 7 oder neuer", r"kartul\5.1\VANDRA",
                               r"kartul\3.2\VANDRA2", r"HKEY_CURRENT_USER\Vandra\AutoCheckIn",
                               "certutil -hashfile"):
                    if needed not in install:
                        failures.append(f"INSTALL.txt does not say {needed}")
                report = z.read("PRUEFUNG.txt").decode("utf-8-sig")
                import hashlib as h
                digest = h.sha256(b"MZTransactHooks").hexdigest()
                if f"SHA-256: {digest}" not in report or "genau die 2 Hooks" not in report:
                    failures.append("PRUEFUNG.txt does not describe the DLLs it ships")
            os.remove(target)
            fake_headers_of[("VD1TransAction.dll", True)] = ({}, [], {})
            with contextlib.redirect_stderr(io.StringIO()):
                refused = release(root)
            fake_headers_of.clear()
            if refused == 0 or os.path.exists(target) or os.path.exists(target + ".tmp"):
                failures.append("a DLL whose stripping changed its tables was released")
            CheckDll.check = lambda tool, dll, m, services: (
                print(f"{os.path.basename(dll)}: pending on Windows, platform::text: f"), [])[1]
            with contextlib.redirect_stderr(io.StringIO()):
                refused = release(root)
            if refused == 0 or os.path.exists(target) or os.path.exists(target + ".tmp"):
                failures.append("a DLL with pending functions was released")
    finally:
        CheckDll.check = real_check
    for failure in failures:
        print(f"package_windows selftest: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(selftest() if sys.argv[1:] == ["selftest"] else main(sys.argv))
