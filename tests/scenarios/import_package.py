"""Writes the plug-in's part of a checkout package as the central system
would, with a dBase writer that shares nothing with the plug-in (python3-dbf),
and reads the project's transaction tables back with another (dbfread).

    import_package.py write FOLDER PREFIX KIND
        the transaction list and the free identifiers (dBase III), the
        photo list (dBase III with memo, texts in code page 850), the .tid
        and the photo folder; KIND picks the package's content
    import_package.py list FOLDER PREFIX KIND
        the transaction list of KIND alone, as the central system gives an
        exported package when it checks its objects out again
    import_package.py badphotos FOLDER PREFIX
        a photo list of another shape (PHOTOID and DATEI only)
    import_package.py rows TABLEFILE
        prints the table's rows as dbfread reads them, fields joined by "|"
"""
import os
import sys

import dbf
import dbfread

PACKAGES = {
    # transaction 4711: two objects and two free identifiers, a photo with
    # German letters, a quote in the transaction name and in an identifier
    "erste": {
        "tid": "[Transaktionsdaten]\r\nTransaktion=4711\r\nName=Ruhraue bei Hattingen's\r\n"
        "Owner=Frau Kern\r\n",
        "list": [("DE-4509-301", 4711, 1, 90001, 1), ("NSG-0815", 4711, 2, 90002, 0)],
        "free": [(4711, "DE-4509-310"), (4711, "DE-4509-3'11")],
        "photos": [(501, "Tümpel", "KTFOTO1.JPG", 2575300, 5695200, 45, "Quelle Süd",
                    "Blick über den Tümpel; Straße")],
    },
    # transaction 4712: one object, no photos
    "zweite": {
        "tid": "[Transaktionsdaten]\r\nTransaktion=4712\r\nName=Eifelwiesen\r\nOwner=Herr Busch\r\n",
        "list": [("ND-0042", 4712, 3, 90003, 1)],
        "free": [(4712, "ND-0051")],
        "photos": [],
    },
    # transaction 4713 without its .tid: DE-4509-301 read-only (4711 holds
    # it for writing and keeps it), NSG-0815 for writing (taken over from
    # 4711, where it is read-only)
    "fremd": {
        "tid": None,
        "list": [("DE-4509-301", 4713, 1, 90011, 0), ("NSG-0815", 4713, 2, 90012, 1)],
        "free": [(4713, "DE-4509-310"), (4713, "ND-0060")],
        "photos": [],
    },
    # transaction 4711 a day later: a third object and a third free
    # identifier besides those of "erste"
    "zweite_ausgabe": {
        "tid": "[Transaktionsdaten]\r\nTransaktion=4711\r\nName=Ruhraue bei Hattingen's\r\n"
        "Owner=Frau Kern\r\n",
        "list": [("DE-4509-301", 4711, 1, 90001, 1), ("NSG-0815", 4711, 2, 90002, 0),
                 ("DE-4509-302", 4711, 4, 90004, 1)],
        "free": [(4711, "DE-4509-310"), (4711, "DE-4509-3'11"), (4711, "DE-4509-312")],
        "photos": [(501, "Tümpel", "KTFOTO1.JPG", 2575300, 5695200, 45, "Quelle Süd",
                    "Blick über den Tümpel; Straße")],
    },
    # transaction 4713 takes over DE-4509-310, which the project drew as new
    "nachbar": {
        "tid": "[Transaktionsdaten]\r\nTransaktion=4713\r\nName=Nachbar\r\nOwner=Herr Roth\r\n",
        "list": [("DE-4509-310", 4713, 5, 90020, 1)],
        "free": [],
        "photos": [],
    },
    # photos of 4711 only: one whose picture name a local photo uses
    "fotos": {
        "tid": "[Transaktionsdaten]\r\nTransaktion=4711\r\nName=Ruhraue bei Hattingen's\r\n"
        "Owner=Frau Kern\r\n",
        "list": [],
        "free": [],
        "photos": [(502, "Weiher", "KTFOTO9.JPG", 2575400, 5695300, 90, "Quelle Nord",
                    "Blick über den Weiher")],
    },
    # the round trip's export checked out again: its one object for writing
    "rundreise": {
        "tid": None,
        "list": [("DE-4509-301", 4711, 1, 90001, 1)],
        "free": [],
        "photos": [],
    },
    # the demo's checkout: the two transactions of lib/checkout.kts
    "ruhraue": {
        "tid": "[Transaktionsdaten]\r\nTransaktion=4711\r\nName=Ruhraue bei Hattingen\r\n"
        "Owner=Frau Kern\r\n",
        "list": [("DE-4509-301", 4711, 1, 90001, 1), ("NSG-0815", 4711, 2, 90002, 0)],
        "free": [(4711, "DE-4509-310"), (4711, "DE-4509-311"), (4711, "NSG-0816"),
                 (4711, "ND-0050")],
        "photos": [],
    },
    "eifel": {
        "tid": "[Transaktionsdaten]\r\nTransaktion=4712\r\nName=Eifelwiesen\r\nOwner=Herr Busch\r\n",
        "list": [("ND-0042", 4712, 3, 90003, 1)],
        "free": [(4712, "DE-5505-001"), (4712, "ND-0051")],
        "photos": [],
    },
}


def write_list(folder, prefix, rows):
    table = dbf.Table(os.path.join(folder, prefix + "t.dbf"),
                      "KENNUNG C(50); TID N(11,0); KARTULID N(11,0); VGNR N(11,0); "
                      "SCHREIBEND N(11,0)", dbf_type="db3", codepage="cp1252")
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(row)
    table.close()


def write(folder, prefix, kind):
    content = PACKAGES[kind]
    os.makedirs(folder, exist_ok=True)
    if content["tid"] is not None:
        with open(os.path.join(folder, prefix + ".tid"), "w", newline="",
                  encoding="cp1252") as f:
            f.write(content["tid"])
    write_list(folder, prefix, content["list"])
    table = dbf.Table(os.path.join(folder, prefix + "kl.dbf"), "TID N(11,0); KENNUNG C(50)",
                      dbf_type="db3", codepage="cp1252")
    table.open(dbf.READ_WRITE)
    for row in content["free"]:
        table.append(row)
    table.close()
    if content["photos"]:
        table = dbf.Table(os.path.join(folder, prefix + "pc.dbf"),
                          "PHOTOID N(11,0); KURZNAME C(50); DATEI C(50); RW N(11,0); "
                          "HW N(11,0); RICHTUNG N(11,0); DATUM D; QUELLE C(254); BESCHR M",
                          dbf_type="db3", codepage="cp850")
        table.open(dbf.READ_WRITE)
        photos = os.path.join(folder, prefix + "_Fotos")
        os.makedirs(photos, exist_ok=True)
        for (pid, kurz, datei, rw, hw, richtung, quelle, beschr) in content["photos"]:
            table.append((pid, kurz, datei, rw, hw, richtung, dbf.Date(2024, 5, 3), quelle,
                          beschr))
            with open(os.path.join(photos, datei), "wb") as f:
                f.write(b"JPEG %d" % pid)
        table.close()


def badphotos(folder, prefix):
    table = dbf.Table(os.path.join(folder, prefix + "pc.dbf"), "PHOTOID N(11,0); DATEI C(50)",
                      dbf_type="db3", codepage="cp1252")
    table.open(dbf.READ_WRITE)
    table.append((601, "KTFOTO9.JPG"))
    table.close()


def rows(path):
    for record in dbfread.DBF(path, encoding="cp1252"):
        print("|".join(str(v).strip() for v in record.values()))


if __name__ == "__main__":
    if sys.argv[1] == "write":
        write(*sys.argv[2:5])
    elif sys.argv[1] == "list":
        write_list(sys.argv[2], sys.argv[3], PACKAGES[sys.argv[4]]["list"])
    elif sys.argv[1] == "badphotos":
        badphotos(*sys.argv[2:4])
    elif sys.argv[1] == "rows":
        rows(sys.argv[2])
    else:
        sys.exit(__doc__)
