"""Reads a status map (SVG) with an XML reader and tells what it shows.

A map that is not well-formed XML, or not SVG, fails here as it would in a
browser. What the map shows is taken from its drawing alone: an object's
colour is the fill of its area or point and the stroke of its line, its
change mark the dashed outline in the mark colour; the legend gives the
colour of each status word.

Usage: map_check.py dump FILE
         one line per fact, fields separated by tabs (tab, line feed and
         backslash in texts as \\t, \\n, \\\\):
           size W H | title TEXT | heading TEXT | empty TEXT
           legend KEY FILL LABEL
           object KENNUNG STATUS COLOUR MARKED(0/1) SHAPE X Y TOOLTIP
             (X Y: the first vertex on the page)
           note TEXT
       map_check.py expect FILE CHECK...
         every CHECK must hold, else the first that does not is told and the
         exit status is 1:
           KENNUNG=STATUS[+]   drawn in the legend's colour of the status
                               word, with a change mark when + follows
           title=TEXT          the map's title
           note=TEXT           a note contains the text
           objects=N           N objects drawn
"""
import sys
import xml.etree.ElementTree as ET

SVG = "{http://www.w3.org/2000/svg}"
MARK = "#ff7f0e"


def read(path):
    root = ET.parse(path).getroot()
    if root.tag != SVG + "svg":
        raise SystemExit(f"{path}: the root element is {root.tag}, not svg")
    facts = {"size": (root.get("width"), root.get("height")), "legend": {}, "objects": [],
             "notes": [], "title": "", "heading": "", "empty": ""}
    t = root.find(SVG + "title")
    facts["title"] = t.text if t is not None and t.text else ""
    for text in root.iter(SVG + "text"):
        if text.get("id") == "titel":
            facts["heading"] = text.text or ""
        elif text.get("id") == "leer":
            facts["empty"] = text.text or ""
        elif text.get("class") == "hinweis":
            # A long note runs over several lines, one tspan each.
            lines = [t.text or "" for t in text.iter(SVG + "tspan")]
            facts["notes"].append(" ".join(lines) if lines else text.text or "")
    for g in root.iter(SVG + "g"):
        if g.get("class") == "legende-eintrag":
            rect = g.find(SVG + "rect")
            label = g.find(SVG + "text")
            facts["legend"][g.get("data-status")] = (rect.get("fill"), label.text or "")
        elif g.get("class") == "objekt":
            forms = [e for e in g if e.get("class") == "form"]
            if not forms:
                raise SystemExit(f"{path}: object {g.get('data-kennung')!r} has no shape")
            colours = {e.get("stroke") if e.tag == SVG + "polyline" else e.get("fill") for e in forms}
            if len(colours) != 1:
                raise SystemExit(f"{path}: object {g.get('data-kennung')!r} has colours {colours}")
            marked = any(e.get("stroke") == MARK for e in g)
            first = forms[0]
            if first.tag == SVG + "circle":
                x, y = first.get("cx"), first.get("cy")
            else:
                x, y = first.get("points").split()[0].split(",")
            tip = g.find(SVG + "title")
            facts["objects"].append((g.get("data-kennung"), g.get("data-status"), colours.pop(),
                                     marked, first.tag[len(SVG):], x, y,
                                     tip.text if tip is not None and tip.text else ""))
    return facts


def esc(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def dump(facts):
    out = [f"size\t{facts['size'][0]}\t{facts['size'][1]}", f"title\t{esc(facts['title'])}",
           f"heading\t{esc(facts['heading'])}"]
    if facts["empty"]:
        out.append(f"empty\t{esc(facts['empty'])}")
    for key, (fill, label) in facts["legend"].items():
        out.append(f"legend\t{esc(key)}\t{fill}\t{esc(label)}")
    for k, status, colour, marked, shape, x, y, tip in facts["objects"]:
        out.append("\t".join(["object", esc(k), esc(status), colour, "1" if marked else "0", shape,
                              x, y, esc(tip)]))
    for n in facts["notes"]:
        out.append(f"note\t{esc(n)}")
    print("\n".join(out))


def expect(facts, checks):
    objects = {o[0]: o for o in facts["objects"]}
    for check in checks:
        key, _, want = check.partition("=")
        if key == "title":
            if facts["title"] != want or facts["heading"] != want:
                return f"the title is {facts['title']!r}, not {want!r}"
        elif key == "note":
            if not any(want in n for n in facts["notes"]):
                return f"no note contains {want!r}: {facts['notes']}"
        elif key == "objects":
            if len(objects) != int(want):
                return f"{len(objects)} objects are drawn, not {want}"
        else:
            marked = want.endswith("+")
            status = want.rstrip("+")
            if key not in objects:
                return f"{key} is not drawn"
            _, got_status, colour, got_marked = objects[key][:4]
            legend = facts["legend"].get(status)
            if legend is None:
                return f"the legend has no {status!r}"
            if got_status != status or colour != legend[0]:
                return f"{key} is drawn as {got_status!r} in {colour}, not {status!r} in {legend[0]}"
            if got_marked != marked:
                return f"{key} is {'' if got_marked else 'not '}marked as changed"
    return None


def main(argv):
    if len(argv) < 3 or argv[1] not in ("dump", "expect"):
        raise SystemExit(__doc__)
    facts = read(argv[2])
    if argv[1] == "dump":
        dump(facts)
        return 0
    problem = expect(facts, argv[3:])
    if problem:
        print(f"{argv[2]}: {problem}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
