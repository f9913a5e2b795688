"""Links a plug-in DLL whose platform services are not all there for Windows.

Run by the build as the DLL's link launcher. The link command runs as it is;
when it fails only for want of functions that have no Windows implementation
yet, those functions are imported from vandra_pending.dll, a DLL that does
not exist: an import library is made from their names and the link is run
again. The DLL that comes out has the real hooks and every service that is
there, and says in its import table exactly what is still missing. It
cannot load on Windows until that table has no such entry, and the release
refuses it. Any other failure of the link fails as it would.

Usage: LinkPending.py <out folder> <dlltool> <symbol prefix> -- <link command...>
(the prefix the target puts before every C name: "_" on 32-bit Windows)
"""
import os
import re
import subprocess
import sys

PENDING_DLL = "vandra_pending.dll"


def main(argv):
    split = argv.index("--")
    out_folder, dlltool, prefix = argv[1], argv[2], argv[3]
    command = argv[split + 1:] + ["-Wl,--no-demangle"]
    first = subprocess.run(command, capture_output=True, text=True)
    name = os.path.basename(next((a for a in command if a.endswith(".dll")), "plug-in"))
    stem = os.path.splitext(name)[0]
    pending_def = os.path.join(out_folder, f"{stem}.pending.def")
    if first.returncode == 0:
        sys.stdout.write(first.stdout)
        if os.path.exists(pending_def):
            os.unlink(pending_def)
        return 0
    output = first.stdout + first.stderr
    # The linker names symbols as the assembler does; a .def file names them
    # as C does, and dlltool puts the prefix back.
    missing = sorted({s[len(prefix):] if prefix and s.startswith(prefix) else s
                      for s in re.findall(r"undefined reference to `([^']+)'", output)})
    other = [line for line in output.splitlines()
             if "error" in line and "undefined reference" not in line
             and "ld returned" not in line and "more undefined references" not in line]
    if not missing or other:
        sys.stderr.write(output)
        return first.returncode
    with open(pending_def, "w", encoding="utf-8") as f:
        f.write(f"LIBRARY {PENDING_DLL}\nEXPORTS\n")
        for symbol in missing:
            f.write(f"  {symbol}\n")
    pending_lib = os.path.join(out_folder, f"lib{stem}.pending.a")
    subprocess.run([dlltool, "-d", pending_def, "-l", pending_lib], check=True)
    second = subprocess.run(command + [pending_lib], capture_output=True, text=True)
    sys.stdout.write(second.stdout)
    if second.returncode != 0:
        sys.stderr.write(second.stderr)
        return second.returncode
    print(f"{name}: {len(missing)} functions without a Windows implementation yet, "
          f"imported from {PENDING_DLL} (see {os.path.basename(pending_def)})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
