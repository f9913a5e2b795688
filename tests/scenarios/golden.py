"""Compares what a scenario produced with a stored expected file.

    golden.py messages TRANSCRIPT EXPECTED  the message boxes of a transcript
    golden.py report REPORT EXPECTED        a saved check report (Windows-1252)

The report's date line follows the day and the user's locale; both sides
have it replaced by "Datum: <heute>" before they are compared.
"""
import difflib
import re
import sys


def message_lines(path):
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n") for line in f if line.startswith("message ")]


def report_lines(path):
    with open(path, "rb") as f:
        text = f.read().decode("cp1252")
    if "\n" in text.replace("\r\n", ""):
        sys.exit(f"{path}: a line does not end with CR LF")
    return [re.sub(r"^Datum: .*$", "Datum: <heute>", line) for line in text.split("\r\n")]


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("messages", "report"):
        sys.exit(__doc__)
    kind, produced, expected = sys.argv[1:]
    read = message_lines if kind == "messages" else report_lines
    got = read(produced)
    if kind == "messages":
        with open(expected, encoding="utf-8") as f:
            want = [line.rstrip("\n") for line in f]
    else:
        want = read(expected)
    if got != want:
        sys.stdout.writelines(
            line + "\n" for line in difflib.unified_diff(want, got, expected, produced, lineterm=""))
        sys.exit(1)


main()
