"""Writes the module-definition file of the host's library from its header.

The plug-in links against ktapi32.dll through an import library made from a
names-only .def file, as it will link against the real host's. On 32-bit
Windows a stdcall function's name carries the size of its arguments
("ktSetKennung@8"); dlltool -k then imports it under the undecorated name
the DLL exports. The names and sizes come from host/ktapi32.h, so that the
header stays the one list of the host's functions.

Usage: HostImports.py <ktapi32.h> <out.def> <pointer size>
"""
import re
import sys


def arguments_size(parameters, pointer_size):
    parameters = parameters.strip()
    if parameters in ("", "void"):
        return 0
    size = 0
    for p in parameters.split(","):
        p = p.strip()
        # Every argument takes at least one stack slot; a double two.
        size += 8 if re.match(r"(const\s+)?double\b", p) and "*" not in p else max(4, pointer_size)
    return size


def main(header, out, pointer_size):
    with open(header, encoding="utf-8") as f:
        text = re.sub(r"/\*.*?\*/", " ", f.read(), flags=re.S)
    functions = re.findall(r"\bKTAPI_CALL\s+(kt\w+)\s*\(([^)]*)\)\s*;", text)
    if not functions:
        raise SystemExit(f"{header}: no KTAPI_CALL functions")
    lines = ["LIBRARY ktapi32.dll", "EXPORTS"]
    for name, parameters in functions:
        if pointer_size == 4:
            lines.append(f"  {name}@{arguments_size(parameters, pointer_size)}")
        else:
            lines.append(f"  {name}")
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]))
