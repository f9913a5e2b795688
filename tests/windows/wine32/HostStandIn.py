"""Writes a stand-in of the host's ktapi32.dll for 32-bit test programs.

The plug-in DLLs import ktapi32.dll; a test program that loads them needs
one. Each function of host/ktapi32.h becomes a stdcall function of the
same argument size that answers a neutral value: 0 (false, no object, no
count) and 0.0 for those returning a double. The names and sizes come from
cmake/windows/HostImports.py, the same reading of the header the import
library is made from, so that the stand-in exports exactly what the DLLs
import.

Usage: HostStandIn.py <ktapi32.h> <HostImports.py> <out.c> <out.def>
"""
import re
import runpy
import sys


def main(header, host_imports, out_c, out_def):
    arguments_size = runpy.run_path(host_imports)["arguments_size"]
    with open(header, encoding="utf-8") as f:
        text = re.sub(r"/\*.*?\*/", " ", f.read(), flags=re.S)
    functions = re.findall(r"\b([A-Za-z_0-9]+)\s+KTAPI_CALL\s+(kt\w+)\s*\(([^)]*)\)\s*;", text)
    if not functions:
        raise SystemExit(f"{header}: no KTAPI_CALL functions")
    c = ["/* Made by HostStandIn.py from host/ktapi32.h: neutral answers only. */"]
    lines = ["LIBRARY ktapi32.dll", "EXPORTS"]
    for result, name, parameters in functions:
        size = arguments_size(parameters, 4)
        # Arguments as 32-bit slots: the callee reads none, and stdcall
        # only needs their total size right.
        slots = ", ".join(f"int a{i}" for i in range(size // 4)) or "void"
        value = "0.0" if result == "double" else "0"
        kind = "double" if result == "double" else "int"
        c.append(f"__attribute__((stdcall)) {kind} {name}({slots}) {{ return {value}; }}")
        lines.append(f"  {name} = {name}@{size}")
    with open(out_c, "w", encoding="utf-8") as f:
        f.write("\n".join(c) + "\n")
    with open(out_def, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(*sys.argv[1:5])
