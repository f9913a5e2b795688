"""Writes the module-definition file of the 32-bit host stand-in's
ktapi32.dll: every host function of host/ktapi32.h exported undecorated
and bound to its stdcall symbol ("ktSetKennung = ktSetKennung@8"), as the
plug-ins import them (HostImports.py), and the further C functions named.

Usage: HostExports.py <ktapi32.h> <out.def> [extra export...]
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from HostImports import arguments_size  # noqa: E402


def main(header, out, extra):
    with open(header, encoding="utf-8") as f:
        text = re.sub(r"/\*.*?\*/", " ", f.read(), flags=re.S)
    functions = re.findall(r"\bKTAPI_CALL\s+(kt\w+)\s*\(([^)]*)\)\s*;", text)
    if not functions:
        raise SystemExit(f"{header}: no KTAPI_CALL functions")
    lines = ["LIBRARY ktapi32.dll", "EXPORTS"]
    for name, parameters in functions:
        lines.append(f"  {name} = {name}@{arguments_size(parameters, 4)}")
    lines += [f"  {name}" for name in extra]
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3:])
