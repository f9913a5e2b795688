"""The layers of the plug-in, checked against its sources.

The build gives each layer an include tree that holds only its own folders
and those of the layers below (cmake/Layers.cmake writes the table to
build/layers/layers.txt). This script holds every source file to the same
table, and to the rules no include path can express:

  includes   every quoted include of a layer's file names a folder the layer
             may see, never a path with ".."; the host API header is included
             by the host facade alone; system headers for files, folders,
             locks and the clock only in the platform folders that own them;
             no kt* call outside the host facade; every source folder of the
             plug-in belongs to a layer.
  upward     for each layer, a file that includes a header of the layer above
             does not compile with the layer's include tree, and one that
             includes its own header does.

  selftest   the checks above, run on a small planted tree, find each kind
             of fault they exist for.

Usage: CheckLayers.py includes <source root> <layers.txt>
       CheckLayers.py upward <source root> <layers.txt> <compiler> [flags...]
       CheckLayers.py selftest
"""
import os
import re
import subprocess
import sys
import tempfile

# Folders that are not the plug-in's: the host stand-in (which sees only the
# two contract headers), the stand-in for the central system's check-in
# program, tests, tools, and the like.
NOT_PLUGIN = {"hostsim", "vandrasim", "tests", "bench", "fuzz", "tools", "demo", "scripts", "cmake"}

# System headers that reach the file system, locks or processes, and the only
# folders that may include them. Storage and the rules go through the
# platform seam (platform/env) instead.
SYSTEM_HEADERS = {
    "sqlite3.h": {"platform/db"},
    "dirent.h": {"platform/env"},
    "fcntl.h": {"platform/env", "platform/process", "platform/ui"},
    "sys/stat.h": {"platform/env", "platform/process"},
    "sys/file.h": {"platform/env"},
    "sys/mman.h": {"platform/env"},
    # Loaded modules: the plug-in's own file and the host stand-in's timer.
    "dlfcn.h": {"platform/module", "platform/ui"},
    # The Win32 API, in the folders that own a Windows implementation: the
    # files of WinEnv and the module's own name. A Windows implementation of
    # another service adds its folder here.
    "windows.h": {"platform/env", "platform/module"},
    "winbase.h": {"platform/env"},
    "fileapi.h": {"platform/env"},
    "io.h": {"platform/env"},
    "direct.h": {"platform/env"},
    "unistd.h": {"platform/env", "platform/process", "platform/ui"},
    "filesystem": {"platform/env", "platform/ui"},
    "fstream": {"platform/env"},
    # Geodata and XML files through their platform services alone.
    "shapefil.h": {"platform/geodata"},
    "libxml/parser.h": {"platform/xml"},
    "libxml/tree.h": {"platform/xml"},
    "libxml/xmlreader.h": {"platform/xml"},
    # Printing goes through platform/print alone.
    "cairo.h": {"platform/print"},
    "cairo-pdf.h": {"platform/print"},
}

# Calls that touch files, folders, locks or the clock directly; only the
# platform seam makes them.
DIRECT_CALLS = re.compile(
    r"(?<![\w.>:])(::)?(open|opendir|readdir|stat|lstat|fstat|mkstemp|rename|unlink|fcntl|flock|"
    r"pread|pwrite|ftruncate|fsync|clock_gettime|time|localtime_r|"
    # ... and their Win32 counterparts.
    r"CreateFile[AW]?|ReOpenFile|LockFileEx|UnlockFileEx|FlushFileBuffers|"
    r"MoveFileEx[AW]?|DeleteFile[AW]?|CreateDirectory[AW]?|RemoveDirectory[AW]?|"
    r"FindFirstFile(Ex)?[AW]?|GetFileAttributes(Ex)?[AW]?|SetFileInformationByHandle|"
    r"GetSystemTime(Precise)?AsFileTime|_wopen|_wstat|_wrename|_wunlink)\s*\(")
DIRECT_CALLS_ALLOWED = {"platform/env", "platform/process", "platform/ui"}

KT_CALL = re.compile(r"\bkt[A-Z]\w*\s*\(")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def read_layers(path):
    layers = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if not line.strip():
                continue
            name, own, visible = (part.split() for part in line.split("|"))
            layers.append((name[0], own, visible))
    return layers


def is_test_file(name):
    return name.endswith("_test.cpp") or name.startswith("Test")


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    return re.sub(r'"(\\.|[^"\\\n])*"', '""', text)


def sources(root, folder):
    base = os.path.join(root, folder)
    if not os.path.isdir(base):
        return
    for name in sorted(os.listdir(base)):
        path = os.path.join(base, name)
        if os.path.isfile(path) and name.endswith((".cpp", ".h")) and not is_test_file(name):
            yield os.path.join(folder, name), path


def folder_of(include, folders):
    for folder in sorted(folders, key=len, reverse=True):
        if include.startswith(folder + "/"):
            return folder
    return None


def check_includes(root, layers):
    problems = []
    all_folders = {f for _, own, _ in layers for f in own}
    for name, own, visible in layers:
        for folder in own:
            for rel, path in sources(root, folder):
                with open(path, encoding="utf-8") as f:
                    text = f.read()
                for kind, target in INCLUDE.findall(text):
                    if kind == '"':
                        if ".." in target.split("/"):
                            problems.append(f"{rel}: includes {target} by a relative path")
                            continue
                        seen = folder_of(target, all_folders)
                        if seen is None:
                            if not target.startswith(("hostsim/", "tests/")):
                                continue  # a header of a library beside ours
                            problems.append(f"{rel}: includes {target}, which is no part of the plug-in")
                        elif seen not in visible:
                            problems.append(
                                f"{rel}: includes {target} from {seen}, above the layer {name}")
                        elif target == "host/ktapi32.h" and folder != "host":
                            problems.append(f"{rel}: includes the host API; only the host facade may")
                    else:
                        allowed = SYSTEM_HEADERS.get(target)
                        if allowed is not None and folder not in allowed:
                            problems.append(f"{rel}: includes <{target}>, which only "
                                            f"{', '.join(sorted(allowed))} may")
                code = strip_comments(text)
                if folder != "host":
                    for m in KT_CALL.finditer(code):
                        problems.append(f"{rel}: calls {m.group(0).rstrip('( ')} outside the host facade")
                if folder not in DIRECT_CALLS_ALLOWED:
                    for m in DIRECT_CALLS.finditer(code):
                        problems.append(
                            f"{rel}: calls {m.group(2)}() directly, not through the platform seam")
    # Every folder with sources belongs to a layer, so none escapes the checks.
    for entry in sorted(os.listdir(root)):
        path = os.path.join(root, entry)
        if entry.startswith(("build", ".")) or entry in NOT_PLUGIN or not os.path.isdir(path):
            continue
        for dirpath, _, files in os.walk(path):
            rel = os.path.relpath(dirpath, root)
            if any(f.endswith((".cpp", ".h")) for f in files) and rel not in all_folders:
                problems.append(f"{rel}: a source folder that belongs to no layer")
    return problems


def a_header(root, folders):
    for folder in folders:
        for rel, _ in sources(root, folder):
            if rel.endswith(".h"):
                return rel
    return None


def compiles(compiler, flags, tree, header):
    with tempfile.NamedTemporaryFile("w", suffix=".cpp", delete=False) as probe:
        probe.write(f'#include "{header}"\nint main() {{ return 0; }}\n')
    try:
        run = subprocess.run([compiler, *flags, "-fsyntax-only", "-I", tree, probe.name],
                             capture_output=True, text=True)
        return run.returncode == 0, run.stderr
    finally:
        os.unlink(probe.name)


def check_upward(root, layers_file, layers, compiler, flags):
    problems = []
    layer_root = os.path.dirname(layers_file)
    for (name, own, _), (upper, upper_own, _) in zip(layers, layers[1:]):
        tree = os.path.join(layer_root, name)
        mine, above = a_header(root, own), a_header(root, upper_own)
        ok, err = compiles(compiler, flags, tree, mine)
        if not ok:
            problems.append(f"layer {name}: its own header {mine} does not compile:\n{err}")
        ok, err = compiles(compiler, flags, tree, above)
        if ok:
            problems.append(f"layer {name}: including {above} of layer {upper} compiles")
        elif "No such file or directory" not in err:
            problems.append(f"layer {name}: {above} fails for another reason:\n{err}")
        else:
            print(f"{name}: including {above} fails, as it must")
    return problems


def selftest():
    """Plants one fault of each kind in a tiny tree and expects each found."""
    planted = {
        "low/a.h": '#include "high/b.h"\n',
        "low/c.cpp": '#include "../high/b.h"\n#include <dirent.h>\nint f() { return ::stat(0, 0); }\n',
        "low/w.cpp": '#include <windows.h>\nvoid w() { MoveFileExW(0, 0, 0); LockFileEx(0, 0, 0, 0, 0, 0); }\n',
        "high/b.h": '#include "host/ktapi32.h"\n// ktSetKennung( in a comment is fine\n'
                    'void g() { ktRedraw(); }\n',
        "loose/d.h": "int d;\n",
        "host/ktapi32.h": "",
    }
    expected = [
        "low/a.h: includes high/b.h from high, above the layer low",
        "low/c.cpp: includes ../high/b.h by a relative path",
        "low/c.cpp: includes <dirent.h>",
        "low/c.cpp: calls stat() directly",
        "low/w.cpp: includes <windows.h>",
        "low/w.cpp: calls MoveFileExW() directly",
        "low/w.cpp: calls LockFileEx() directly",
        "high/b.h: includes the host API",
        "high/b.h: calls ktRedraw outside the host facade",
        "loose: a source folder that belongs to no layer",
    ]
    with tempfile.TemporaryDirectory() as root:
        for rel, text in planted.items():
            os.makedirs(os.path.join(root, os.path.dirname(rel)), exist_ok=True)
            with open(os.path.join(root, rel), "w", encoding="utf-8") as f:
                f.write(text)
        layers = [("lower", ["low"], ["low"]), ("upper", ["high", "host"], ["high", "host", "low"])]
        problems = check_includes(root, layers)
    missing = [e for e in expected if not any(p.startswith(e) for p in problems)]
    extra = [p for p in problems if not any(p.startswith(e) for e in expected)]
    return [f"not found: {m}" for m in missing] + [f"found wrongly: {e}" for e in extra]


def main(argv):
    if argv[1] == "selftest":
        problems = selftest()
        for p in problems:
            print(p)
        print("the checks find what they must" if not problems else "the checks are blind")
        return 1 if problems else 0
    mode, root, layers_file = argv[1], argv[2], argv[3]
    layers = read_layers(layers_file)
    if mode == "includes":
        problems = check_includes(root, layers)
    elif mode == "upward":
        problems = check_upward(root, layers_file, layers, argv[4], argv[5:])
    else:
        raise SystemExit(f"unknown mode {mode}")
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} problem(s)")
        return 1
    print("layers hold")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
