"""Lists the imports of 32-bit DLLs that Debian's 32-bit wine lacks or has
only as a stub, read from the files alone: what wine32-run's loader
warnings report when such a function is imported (lacking) or called
(stub), here for every import at once, called or not.

A stub of wine is an export whose code is the symbol __wine_stub_<name>
in the unstripped builtin DLL (Debian ships them with their symbols); an
export forwarded to another DLL ("kernelbase.Foo") is followed there.

Exits with 1 when any DLL has such an import.

Usage: WineStubs.py <objdump> <nm> <wine's i386-windows folder> <dll>...
"""
import os
import re
import subprocess
import sys


def imports_of(objdump, dll):
    out = subprocess.run([objdump, "-p", dll], capture_output=True, text=True, check=True).stdout
    result, current = {}, None
    for line in out.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            current = m.group(1).lower()
            result[current] = []
            continue
        m = re.match(r"\s+[0-9a-f]+\s+<none>\s+[0-9a-f]+\s+(\S+)$", line) or \
            re.match(r"\s+[0-9a-f]+\s+[0-9a-f]+\s+(\S+)$", line)
        if current and m:
            result[current].append(m.group(1))
    return result


class Wine:
    def __init__(self, objdump, nm, folder):
        self.objdump, self.nm, self.folder, self.cache = objdump, nm, folder, {}

    def dll(self, name):
        if name not in self.cache:
            path = os.path.join(self.folder, name)
            if not os.path.exists(path):
                self.cache[name] = None
            else:
                p = subprocess.run([self.objdump, "-p", path], capture_output=True, text=True).stdout
                # The export address table ("[ i] +base[ o] rva ...", forwarders
                # with "Forwarder RVA -- DLL.Name") and the name table after it
                # ("[ i] Name"), joined by the index.
                forwards = dict(re.findall(r"^\s*\[\s*(\d+)\] \+base\[\s*\d+\]\s+[0-9a-f]+ Forwarder RVA -- (\S+)$", p, re.M))
                names = p.split("[Ordinal/Name Pointer] Table", 1)[-1]
                exports = {name: forwards.get(i) for i, name in re.findall(r"^\s*\[\s*(\d+)\] (\S+)$", names, re.M)}
                syms = subprocess.run([self.nm, path], capture_output=True, text=True).stdout
                stubs = set(re.findall(r"\b_*wine_stub_(\w+)", syms))
                self.cache[name] = (exports, stubs)
        return self.cache[name]

    def verdict(self, dll, name, depth=0):
        entry = self.dll(dll)
        if entry is None:
            return f"{dll} not in wine"
        exports, stubs = entry
        if name in stubs:
            return "stub"
        if name not in exports:
            return "lacking"
        target = exports[name]
        if target and depth < 4 and "." in target:
            target_dll, target_name = target.rsplit(".", 1)
            return self.verdict(target_dll.lower() + ".dll", target_name, depth + 1)
        return None


def main(objdump, nm, folder, *dlls):
    wine = Wine(objdump, nm, folder)
    faults = 0
    for path in dlls:
        found, foreign = [], []
        for dll, names in sorted(imports_of(objdump, path).items()):
            # A DLL wine does not have at all is the host's (ktapi32.dll),
            # which a test brings its own stand-in of.
            if wine.dll(dll) is None:
                foreign.append(f"{dll} ({len(names)})")
                continue
            for name in names:
                v = wine.verdict(dll, name)
                if v:
                    found.append(f"  {dll} {name}: {v}")
        print(f"{os.path.basename(path)}: {len(found)} imports wine lacks or stubs;"
              f" not wine's: {', '.join(foreign) or 'none'}")
        for line in found:
            print(line)
        faults += len(found)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
