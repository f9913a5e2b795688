"""Reads an exported package with readers of its own and compares it with a
stored expected dump.

    package.py FOLDER PREFIX EXPECTED   compare the package with the dump
    package.py FOLDER PREFIX            print the dump

Each file is read by a reader that shares nothing with the plug-in: the change
list as Windows-1252 bytes with CR LF, the .tid with configparser, the XML
with xmllint, the geodata with shapelib's shpdump and dbfdump, the action and
photo tables (and the photo table's memo) with dbfread, the photo folder by
listing it.
"""
import configparser
import difflib
import os
import re
import subprocess
import sys

import dbfread


def change_list(path):
    with open(path, "rb") as f:
        data = f.read()
    if not data.endswith(b"\r\n") or b"\n" in data.replace(b"\r\n", b""):
        sys.exit(f"{path}: a line does not end with CR LF")
    return data.decode("cp1252").split("\r\n")[:-1]


def tid(path):
    ini = configparser.ConfigParser(interpolation=None)
    ini.optionxform = str
    with open(path, encoding="cp1252") as f:
        ini.read_file(f)
    return [f"[{s}] {k}={v}" for s in ini.sections() for k, v in ini.items(s)]


def xml(path):
    subprocess.run(["xmllint", "--noout", path], check=True)
    # Status 10: the file has no object.
    run = subprocess.run(["xmllint", "--xpath", "//Objekt/@Kennung", path], capture_output=True,
                         text=True)
    if run.returncode not in (0, 10):
        sys.exit(f"{path}: xmllint ended with status {run.returncode}")
    out = run.stdout
    return sorted(re.findall(r'Kennung="([^"]*)"', out))


def geodata(folder, prefix):
    lines = []
    for suffix in ("", "_lin", "_pkt", "_mpt"):
        base = os.path.join(folder, prefix + suffix)
        if not os.path.exists(base + ".shp"):
            continue
        shp = subprocess.run(["shpdump", base + ".shp"], check=True, capture_output=True,
                             text=True, encoding="latin-1").stdout
        kind = re.search(r"Shapefile Type: (\w+)", shp).group(1)
        count = re.search(r"# of Shapes: (\d+)", shp).group(1)
        dbf = subprocess.run(["dbfdump", "-m", base + ".dbf"], check=True, capture_output=True,
                             text=True, encoding="cp1252").stdout
        names = sorted(re.findall(r"KENNUNG\s*:\s*(\S.*?)\s*$", dbf, re.M))
        lines.append(f"{prefix + suffix}.shp {kind} {count}: {' '.join(names)}".rstrip())
    return lines


def table(path):
    t = dbfread.DBF(path, encoding="cp1252", char_decode_errors="strict")
    rows = ["|".join(f"{f.name} {f.type}{f.length}" for f in t.fields)]
    for r in t:
        rows.append("|".join("" if v is None else str(v) for v in r.values()))
    return rows


def dump(folder, prefix):
    p = os.path.join(folder, prefix)
    out = ["== _rp.txt"] + change_list(p + "_rp.txt")
    out += ["== .tid"] + tid(p + ".tid")
    out += ["== .xml"] + xml(p + ".xml")
    out += ["== geodata"] + geodata(folder, prefix)
    out += ["== _aktion.dbf"] + table(p + "_aktion.dbf")
    out += ["== pc.dbf"] + table(p + "pc.dbf")
    photos = p + "_Fotos"
    out += ["== _Fotos"]
    for name in sorted(os.listdir(photos)):
        with open(os.path.join(photos, name), "rb") as f:
            out.append(f"{name}: {f.read().decode('latin-1')}")
    return out


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    got = dump(sys.argv[1], sys.argv[2])
    if len(sys.argv) == 3:
        print("\n".join(got))
        return
    with open(sys.argv[3], encoding="utf-8") as f:
        want = f.read().splitlines()
    if got != want:
        sys.stdout.writelines(line + "\n" for line in difflib.unified_diff(
            want, got, sys.argv[3], sys.argv[1] + sys.argv[2], lineterm=""))
        sys.exit(1)


main()
