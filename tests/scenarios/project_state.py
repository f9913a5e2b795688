"""Prints what a mapper has in a project, read with readers of its own
(Python's sqlite3, dbfread, hashlib), so that two states can be compared
line by line whatever the object ids:

  objekt <Kennung> <Klasse> <Typ> <Geometrie>
  <table> <Kennung> <field>=<value>;...    linfos, Objektphotos, Pflanzenliste
  TA_LIST / TA_KL / TA_ID / TA_FP <fields joined by "|">
  Fotos <fields joined by "|">
  bild <name> <sha1>                         every file of KTPhotos
  basis <Kennung> <TID> <Klasse> <field>=<package>/<host>...
                                             the import's record of bases, an
                                             entry a line, fields sorted
  datei <name>                               every other entry of the project
                                             folder but the project database

Lines are sorted: the order of rows is no part of what the tables say.

    project_state.py PROJECT_DIR [--no-files]
"""
import hashlib
import os
import sqlite3
import struct
import sys

import dbfread


def table_file(project, name):
    for entry in os.listdir(project):
        if entry.lower() == name.lower() + ".dbf":
            return os.path.join(project, entry)
    return None


def bases(data):
    """The entries of a record of bases, read as its format says: magic and
    version, field names, per object identifier, TID, class and fields (name
    index, package print, same flag, host print unless same), FNV-1a 64."""
    h = 0xcbf29ce484222325
    for b in data[:-8]:
        h = ((h ^ b) * 0x100000001b3) & 0xffffffffffffffff
    if len(data) < 21 or struct.unpack("<Q", data[-8:])[0] != h \
            or data[:13] != b"VANDRA-BASIS\x01":
        return ["basis unlesbar"]
    at = 13

    def uv():
        nonlocal at
        v = s = 0
        while True:
            b = data[at]
            at += 1
            v |= (b & 0x7f) << s
            s += 7
            if b < 0x80:
                return v

    def zz():
        v = uv()
        return (v >> 1) ^ -(v & 1)

    def text():
        nonlocal at
        n = uv()
        t = data[at:at + n].decode("utf-8")
        at += n
        return t

    def print64():
        nonlocal at
        v = struct.unpack("<Q", data[at:at + 8])[0]
        at += 8
        return "%016x" % v

    names = [text() for _ in range(uv())]
    lines = []
    for _ in range(uv()):
        k, tid, klasse = text(), zz(), zz()
        fields = []
        for _ in range(uv()):
            name = names[uv()]
            package = print64()
            same = data[at]
            at += 1
            host = package if same else print64()
            fields.append(f"{name}={package}/{host}")
        lines.append(f"basis {k} {tid} {klasse} " + " ".join(sorted(fields)))
    return lines


def state(project, with_files=True):
    lines = []
    db = sqlite3.connect("file:" + os.path.join(project, "KTProjekt.db") + "?mode=ro", uri=True)
    kennung = {}
    for (oid, k, klasse, typ, geometrie) in db.execute(
            "select ID, KENNUNG, KLASSE, TYP, GEOMETRIE from KT_OBJEKTE"):
        kennung[oid] = k
        lines.append(f"objekt {k} {klasse} {typ} {geometrie}")
    for table in ("linfos", "Objektphotos", "Pflanzenliste"):
        cursor = db.execute(f"select * from {table}")
        names = [d[0] for d in cursor.description]
        for row in cursor:
            values = dict(zip(names, row))
            owner = kennung.get(values.get("KARTULID"), f"#{values.get('KARTULID')}")
            fields = ";".join(f"{n}={values[n]}" for n in names
                              if n not in ("KARTULID", "PKEY") and values[n] is not None)
            lines.append(f"{table} {owner} {fields}")
    try:
        for row in db.execute("select * from Fotos"):
            lines.append("Fotos " + "|".join("" if v is None else str(v) for v in row))
    except sqlite3.OperationalError:
        pass
    db.close()
    for name in ("TA_LIST", "TA_KL", "TA_ID", "TA_FP"):
        path = table_file(project, name)
        if path is None:
            continue
        for record in dbfread.DBF(path, encoding="cp1252"):
            lines.append(name + " " + "|".join(str(v).strip() for v in record.values()))
    basis = os.path.join(project, "TA_BASIS.dat")
    if os.path.isfile(basis):
        with open(basis, "rb") as f:
            lines += bases(f.read())
    if with_files:
        photos = os.path.join(project, "KTPhotos")
        if os.path.isdir(photos):
            for entry in os.listdir(photos):
                path = os.path.join(photos, entry)
                with open(path, "rb") as f:
                    lines.append(f"bild {entry} {hashlib.sha1(f.read()).hexdigest()}")
        for entry in os.listdir(project):
            if entry not in ("KTProjekt.db", "KTPhotos", "TA_BASIS.dat") and not entry.lower().endswith(".dbf") \
                    and not entry.lower().endswith(".dbt"):
                lines.append(f"datei {entry}")
    return sorted(lines)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    for line in state(sys.argv[1], "--no-files" not in sys.argv):
        print(line)
