"""A 32-bit Windows plug-in DLL, checked as the host will meet it.

32-bit Windows code cannot run on our machines, so the DLL is read with the
cross binutils' objdump:

  exports   exactly the hooks of the build's export list (builds/<build>.map),
            undecorated: no "_" in front, no "@12" behind, nothing else
  stdcall   every exported hook's code returns with "ret $0xc": the hook
            takes its three 32-bit arguments off the host's stack
  imports   ktapi32.dll and Windows' own DLLs only: the C and C++ runtime
            and the threads library are linked in, not needed beside it
  host      from ktapi32.dll exactly the functions of the build's imports
            list (builds/<build>.imports, beside the export list): those
            every build calls, which the KARTUL of every build has; a host
            function only some builds call is bound at run time, and a
            static reference to one would keep the DLL from loading in a
            KARTUL without it
  Windows 7 from Windows' own DLLs only functions of the allow-list
            (Win32Imports.txt beside this script) that Windows 7 has: one
            not listed, or listed as of a newer Windows, would keep the DLL
            from loading there
  pending   what the DLL imports from vandra_pending.dll (the functions of
            services without a Windows implementation yet, LinkPending.py)
            belongs to the services named as pending, and is listed

Usage: CheckDll.py check <objdump> <dll> <export list (.map)> [--imports <imports list>]
                         [--pending <namespace>...]
       CheckDll.py selftest <objdump> <C compiler>
"""
import os
import re
import subprocess
import sys
import tempfile

# DLLs every Windows has. A plug-in may import these and ktapi32.dll.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "comdlg32.dll", "comctl32.dll", "shlwapi.dll", "winspool.drv",
    "version.dll", "msvcrt.dll", "ws2_32.dll", "bcrypt.dll", "userenv.dll", "uxtheme.dll",
}
HOST_DLL = "ktapi32.dll"
PENDING_DLL = "vandra_pending.dll"
# The functions of Windows' own DLLs that the DLLs may import.
WIN32_LIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "Win32Imports.txt")
# The oldest Windows the DLLs load on, and the versions the list names in order.
WINDOWS_VERSIONS = ("2000", "XP", "Vista", "7", "8", "8.1", "10", "11")
OLDEST_WINDOWS = "7"
# What a C++ compiler puts before a class's name for the data it makes.
SPECIAL_PREFIXES = ("vtable for ", "typeinfo for ", "typeinfo name for ", "VTT for ",
                    "guard variable for ", "construction vtable for ")


def map_exports(path):
    """The names in the global: part of a linker version script."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    block = re.search(r"global:(.*?)local:", text, re.S)
    if not block:
        raise SystemExit(f"{path}: no global: ... local: block")
    return [n for n in re.findall(r"([A-Za-z_]\w*)\s*;", block.group(1))]


def imports_list(path):
    """The host functions of a build's imports list: one a line, # comments."""
    with open(path, encoding="utf-8") as f:
        return [n for n in (line.split("#", 1)[0].strip() for line in f) if n]


def win32_list(path):
    """The allow-list: {dll: {function: oldest Windows that has it}}."""
    allowed, dll = {}, None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            section = re.fullmatch(r"\[(\S+)\]", line)
            if section:
                dll = section.group(1).lower()
                allowed.setdefault(dll, {})
                continue
            entry = line.split()
            if dll is None or len(entry) != 2 or entry[1] not in WINDOWS_VERSIONS:
                raise SystemExit(f"{path}:{number}: not 'function version' under [dll]: {line}")
            allowed[dll][entry[0]] = entry[1]
    return allowed


def objdump(tool, *args):
    run = subprocess.run([tool, *args], capture_output=True, text=True)
    if run.returncode != 0:
        raise SystemExit(f"{tool} {' '.join(args)} failed:\n{run.stderr}")
    return run.stdout


def read_headers(tool, dll):
    """Image base, exported names with their addresses, imported DLLs."""
    text = objdump(tool, "-p", dll)
    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", text, re.M).group(1), 16)
    rvas = [int(m, 16) for m in re.findall(r"\+base\[\s*\d+\]\s+([0-9a-fA-F]+) Export RVA", text)]
    names_block = re.search(r"\[Ordinal/Name Pointer\] Table\n(.*?)(?:\n\s*\n|\Z)", text, re.S)
    exports = {}
    if names_block:
        for ordinal, name in re.findall(r"\[\s*(\d+)\]\s+(\S+)", names_block.group(1)):
            exports[name] = base + rvas[int(ordinal)]
    imports = [m.lower() for m in re.findall(r"DLL Name: (\S+)", text)]
    return exports, imports, {dll: imported_names(text, dll) for dll in imports}


def imported_names(headers, dll):
    """The names imported from one DLL, as objdump -p lists them."""
    names = []
    inside = False
    for line in headers.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            inside = named.group(1).lower() == dll
            continue
        if inside:
            entry = re.match(r"\s*[0-9a-fA-F]+\s+\d+\s+(\S+)\s*$", line)
            if entry:
                names.append(entry.group(1))
            elif not line.strip():
                inside = False
    return names


def demangled(names):
    if not names:
        return []
    run = subprocess.run(["c++filt"], input="\n".join(names), capture_output=True, text=True)
    return run.stdout.splitlines() if run.returncode == 0 else names


def service_of(name, services):
    for prefix in SPECIAL_PREFIXES:
        if name.startswith(prefix):
            name = name[len(prefix):]
    return next((s for s in services if name.startswith(s + "::")), None)


def returns_by_function(tool, dll):
    """For each address a label starts at, the return instructions up to the next label."""
    text = objdump(tool, "-d", "--no-show-raw-insn", dll)
    rets = {}
    current = None
    for line in text.splitlines():
        label = re.match(r"^([0-9a-f]+) <[^>]+>:$", line)
        if label:
            current = int(label.group(1), 16)
            rets[current] = []
            continue
        ins = re.match(r"^\s*[0-9a-f]+:\s+(ret\S*)\s*(\S*)", line)
        if ins and current is not None:
            rets[current].append((ins.group(1) + " " + ins.group(2)).strip())
    return rets


def check(tool, dll, map_path, pending_services=(), host_list=None, win32_path=WIN32_LIST):
    """The DLL against its export list, its imports list (by default the
    .imports beside the .map) and the Win32 allow-list."""
    problems = []
    expected = set(map_exports(map_path))
    if host_list is None:
        host_list = os.path.splitext(map_path)[0] + ".imports"
    exports, imports, names_by_dll = read_headers(tool, dll)
    pending = names_by_dll.get(PENDING_DLL, [])
    name = os.path.basename(dll)
    found = set(exports)
    for n in sorted(expected - found):
        problems.append(f"{name}: does not export {n}")
    for n in sorted(found - expected):
        problems.append(f"{name}: exports {n}, which its export list does not name")
    for n in sorted(found):
        if n.startswith("_") or "@" in n:
            problems.append(f"{name}: exports the decorated name {n}")
    rets = returns_by_function(tool, dll)
    for n in sorted(found & expected):
        code = rets.get(exports[n])
        if code is None:
            problems.append(f"{name}: no code found at {n}")
        elif not code:
            problems.append(f"{name}: {n} has no return instruction of its own")
        else:
            wrong = [r for r in code if r != "ret $0xc"]
            if wrong:
                problems.append(f"{name}: {n} returns with {wrong[0]!r}, not 'ret $0xc'")
    for imported in imports:
        if imported == PENDING_DLL and pending_services:
            continue
        if imported != HOST_DLL and imported not in SYSTEM_DLLS and not imported.startswith(
                "api-ms-win-"):
            problems.append(f"{name}: imports {imported}, neither the host's nor Windows' own")
    by_service = {}
    for function in demangled(pending):
        service = service_of(function, pending_services)
        if service is None:
            problems.append(f"{name}: needs {function}, of no service known to be pending")
        else:
            by_service.setdefault(service, []).append(function)
    for service in sorted(by_service):
        # Named without their parameters: what is missing, not its types.
        functions = sorted({f.split("(")[0] for f in by_service[service]})
        print(f"{name}: pending on Windows, {service}: {', '.join(functions)}")
    if HOST_DLL not in imports:
        problems.append(f"{name}: does not import {HOST_DLL}")
    host_functions = set(names_by_dll.get(HOST_DLL, []))
    listed = set(imports_list(host_list))
    list_name = os.path.basename(host_list)
    for f in sorted(host_functions - listed):
        problems.append(f"{name}: imports {f} from {HOST_DLL} at load time, which {list_name} "
                        "does not name; a host function only some builds call is bound at "
                        "run time")
    for f in sorted(listed - host_functions):
        problems.append(f"{name}: does not import {f} from {HOST_DLL}, which {list_name} names")
    allowed = win32_list(win32_path)
    oldest = WINDOWS_VERSIONS.index(OLDEST_WINDOWS)
    win32_count = 0
    for imported in sorted(set(imports)):
        if imported in (HOST_DLL, PENDING_DLL) or (
                imported not in SYSTEM_DLLS and not imported.startswith("api-ms-win-")):
            continue
        for f in sorted(set(names_by_dll[imported])):
            version = allowed.get(imported, {}).get(f)
            if version is None:
                problems.append(f"{name}: imports {f} from {imported}, which no one has checked "
                                f"against Windows {OLDEST_WINDOWS} (not in "
                                f"{os.path.basename(win32_path)})")
            elif WINDOWS_VERSIONS.index(version) > oldest:
                problems.append(f"{name}: imports {f} from {imported}, which Windows "
                                f"{OLDEST_WINDOWS} lacks (Windows {version} or newer)")
            else:
                win32_count += 1
    if not problems:
        print(f"{name}: exactly its {len(found)} hooks, undecorated, each 'ret $0xc'; "
              f"imports {', '.join(sorted(set(imports)))}; from {HOST_DLL} exactly the "
              f"{len(listed)} functions of {list_name}; {win32_count} functions of Windows' own "
              f"DLLs, each of Windows {OLDEST_WINDOWS} or older")
    return problems


def selftest(tool, compiler):
    """A DLL with one fault of each kind, and one without, checked."""
    # Good calls, besides the host's ktRedraw, the newer XML export of the
    # host, which only one build calls; the precise clock of Windows 8; and
    # Beep, which the allow-list does not name.
    source = """
#include <stdint.h>
__attribute__((dllimport, stdcall)) int16_t ktRedraw(void);
__attribute__((dllimport, stdcall)) int16_t ktExportDataXMLEx(const void*, int16_t, int16_t,
                                                              const void*, const void*);
__attribute__((dllimport, stdcall)) void GetSystemTimePreciseAsFileTime(void*);
__attribute__((dllimport, stdcall)) int Beep(unsigned long, unsigned long);
extern int _ZN8platform4text1fEv(void);
extern int _ZN8platform5other1gEv(void);
__attribute__((stdcall)) int16_t Good(intptr_t a, intptr_t b, uint16_t c) {
  GetSystemTimePreciseAsFileTime((void*)a);
  return (int16_t)(a + b + c + ktRedraw() + ktExportDataXMLEx(0, 0, 0, 0, 0) + Beep(440, 1) +
                   _ZN8platform4text1fEv() + _ZN8platform5other1gEv());
}
int16_t Cdecl(intptr_t a, intptr_t b, uint16_t c) { return (int16_t)(a - b - c); }
__attribute__((stdcall)) int16_t Decorated(intptr_t a, intptr_t b, uint16_t c) {
  return (int16_t)(a * b * c);
}
int16_t Extra(void) { return 1; }
"""
    with tempfile.TemporaryDirectory() as d:
        def path(n):
            return os.path.join(d, n)
        with open(path("p.c"), "w") as f:
            f.write(source)
        with open(path("p.map"), "w") as f:
            f.write("{\n  global:\n    Good;\n    Cdecl;\n    Decorated;\n    Missing;\n"
                    "  local:\n    *;\n};\n")
        with open(path("p.def"), "w") as f:
            f.write("LIBRARY p.dll\nEXPORTS\n  Good = Good@12\n  Cdecl\n  Decorated@12\n  Extra\n")
        with open(path("ktapi32.def"), "w") as f:
            f.write("LIBRARY ktapi32.dll\nEXPORTS\n  ktRedraw@0\n  ktExportDataXMLEx@20\n"
                    "  ktSetKennung@8\n")
        # The build's list: the host's redraw, and ktSetKennung, which the
        # DLL does not import.
        with open(path("p.imports"), "w") as f:
            f.write("# planted\nktRedraw\nktSetKennung\n")
        dlltool = compiler.replace("gcc-posix", "dlltool").replace("gcc", "dlltool")
        subprocess.run([dlltool, "-d", path("ktapi32.def"), "-l", path("libktapi32.a"), "-k"],
                       check=True)
        with open(path("pending.def"), "w") as f:
            f.write(f"LIBRARY {PENDING_DLL}\nEXPORTS\n  _ZN8platform4text1fEv\n"
                    "  _ZN8platform5other1gEv\n")
        subprocess.run([dlltool, "-d", path("pending.def"), "-l", path("libpending.a")],
                       check=True)
        # The shared runtime on purpose: an import the check must refuse.
        subprocess.run([compiler, "-O2", "-shared", "-shared-libgcc", "-o", path("p.dll"),
                        path("p.c"), path("p.def"), path("libktapi32.a"), path("libpending.a")],
                       check=True)
        # The allow-list: whatever the runtime's start-up code of this DLL
        # imports from Windows, but the precise clock as of Windows 8, and
        # Beep left out.
        _, imports, names_by_dll = read_headers(tool, path("p.dll"))
        with open(path("win32.txt"), "w") as f:
            for dll in sorted(set(imports) & SYSTEM_DLLS):
                f.write(f"[{dll}]\n")
                for function in sorted(set(names_by_dll[dll]) - {"Beep"}):
                    version = "8" if function == "GetSystemTimePreciseAsFileTime" else "XP"
                    f.write(f"{function} {version}\n")
        problems = check(tool, path("p.dll"), path("p.map"), ["platform::text"],
                         path("p.imports"), path("win32.txt"))
    # The project's own allow-list refuses the precise clock as well.
    if win32_list(WIN32_LIST)["kernel32.dll"].get("GetSystemTimePreciseAsFileTime") != "8":
        problems.append("Win32Imports.txt: lets GetSystemTimePreciseAsFileTime pass")
    expected = [
        "p.dll: does not export Missing",
        "p.dll: exports Extra, which its export list does not name",
        "p.dll: does not export Decorated",
        "p.dll: exports Decorated@12, which its export list does not name",
        "p.dll: exports the decorated name Decorated@12",
        "p.dll: Cdecl returns with 'ret'",
        "p.dll: imports libgcc_s_dw2-1.dll",
        "p.dll: needs platform::other::g(), of no service known to be pending",
        "p.dll: imports ktExportDataXMLEx from ktapi32.dll at load time, which p.imports does "
        "not name",
        "p.dll: does not import ktSetKennung from ktapi32.dll, which p.imports names",
        "p.dll: imports GetSystemTimePreciseAsFileTime from kernel32.dll, which Windows 7 lacks "
        "(Windows 8 or newer)",
        "p.dll: imports Beep from kernel32.dll, which no one has checked against Windows 7",
    ]
    missing = [e for e in expected if not any(p.startswith(e) for p in problems)]
    extra = [p for p in problems if not any(p.startswith(e) for e in expected)]
    for m in missing:
        print(f"not found: {m}")
    for e in extra:
        print(f"found wrongly: {e}")
    print("the checks find what they must" if not missing and not extra else "the checks are blind")
    return 1 if missing or extra else 0


def main(argv):
    if argv[1] == "selftest":
        return selftest(argv[2], argv[3])
    pending = argv[argv.index("--pending") + 1:] if "--pending" in argv else []
    # The build's imports list; by default the .imports beside its .map.
    host_list = argv[argv.index("--imports") + 1] if "--imports" in argv else None
    problems = check(argv[2], argv[3], argv[4], pending, host_list)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
