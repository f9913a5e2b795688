"""Reads a check-in log as the central system writes it (Windows-1252, every
line ended by CR LF) and checks its two count lines.

    checkin_log.py LOG SACHDATEN GRAFIK [TEXT...]

The log must end with exactly one line "Sachdatenfehler: SACHDATEN" and one
"Grafikfehler: GRAFIK", no other line may begin with either word, and each
TEXT must occur in some line before them. Prints the log's lines.
"""
import sys


def main():
    path, sach, grafik, texts = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    with open(path, "rb") as f:
        raw = f.read()
    if not raw.endswith(b"\r\n"):
        sys.exit(f"{path}: the last line has no CR LF")
    body = raw[:-2].split(b"\r\n")
    if any(b"\n" in line or b"\r" in line for line in body):
        sys.exit(f"{path}: a line end other than CR LF")
    lines = [line.decode("cp1252") for line in body]
    for line in lines:
        print(line)
    markers = [l for l in lines if l.startswith(("Sachdatenfehler", "Grafikfehler"))]
    if markers != lines[-2:] or len(markers) != 2:
        sys.exit(f"{path}: the count lines are not the last two: {markers}")
    want = [f"Sachdatenfehler: {sach}", f"Grafikfehler: {grafik}"]
    if sorted(markers) != sorted(want):
        sys.exit(f"{path}: counts {markers}, expected {want}")
    for text in texts:
        if not any(text in line for line in lines[:-2]):
            sys.exit(f"{path}: no finding mentions {text!r}")


main()
