"""The layers of the plug-in, checked against its sources.

The build gives each layer an include tree that holds only its own folders
and those of the layers below (cmake/Layers.cmake writes the table to
build/layers/layers.txt). This script holds every source file to the same
table, and to the rules no include path can express:

  includes   every quoted include of a layer's file names a folder the layer
             may see, never a path with ".."; the host API header is included
             by the host facade alone; system headers for files, folders,
             locks and the clock only in the platform folders that own them;
             the headers and calls of a service behind an interface
             (processes, the host's timer loop, printing) only in the
             platform's implementation file of that service; no kt* call
             outside the host facade; the header that tells which build runs
             (context/BuildIdentity.h) only in context/ and builds/, so that
             a rule asks the build profile what the build does, and, as a
             second net, no rule names a build; every source folder of the
             plug-in belongs to a layer. The programs beside the plug-in
             include only what they may: the host stand-in its own folder,
             the two contract headers and the platform's services; the
             check-in stand-in and the tools their own folders and the
             platform's (so the status map never reads the host stand-in's
             files, and no program includes another); no statement on a
             table outside its owner (the photo catalogue Fotos and the link
             table Objektphotos in photos/tables/Fotoverwaltung.cpp, the transaction
             tables TA_LIST, TA_KL, TA_ID and TA_FP in the store's files in
             transaction/tables/); no table's name in a header, where it would be
             public; no statement that leaves its table to a variable
             outside the files that own tables named at run time; the
             transaction store's headers only in transaction/tables/ and behind the
             rules' one door to it (TransActTools).
  upward     for each layer, a file that includes a header of the layer above
             does not compile with the layer's include tree, and one that
             includes its own header does. In the rules layer's tree, after
             every header of context/ a rule may include, a rule that reads
             a capability of the running build compiles, and none that asks
             which build runs does: a switch on CurrentProfile().build, a
             comparison of CurrentProfile().name, a build named; including
             the identity header is refused by the include rule.

  selftest   the checks above, run on a small planted tree, find each kind
             of fault they exist for.

Usage: CheckLayers.py includes <source root> <layers.txt>
       CheckLayers.py upward <source root> <layers.txt> <compiler> [flags...]
       CheckLayers.py selftest
"""
import os
import posixpath
import re
import subprocess
import sys
import tempfile

# Folders that are not the plug-in's: the host stand-in (which sees only the
# two contract headers), the stand-in for the central system's check-in
# program, tests, tools, and the like.
NOT_PLUGIN = {"hostsim", "vandrasim", "tests", "bench", "fuzz", "tools", "demo", "scripts", "cmake"}

# The platform's implementation files of the services that sit behind an
# interface; a second platform adds its own beside them.
POSIX_PROCESSES = "platform/process/PosixProcesses.cpp"
POSIX_HOST_TIMERS = "platform/ui/PosixHostTimers.cpp"
CAIRO_PRINTER = "platform/print/CairoPrinter.cpp"
WIN_REGISTRY = "platform/registry/WinRegistry.cpp"
WIN_PROCESSES = "platform/process/WinProcesses.cpp"
WIN_HOST_TIMERS = "platform/ui/WinHostTimers.cpp"
WIN_ADO = "platform/db/WinAdoBackend.cpp"
WIN_PRESENTER = "platform/ui/WinPresenter.cpp"

# System headers that reach the file system, locks or processes, and the only
# folders (or files) that may include them. Storage and the rules go through
# the platform seam (platform/env) instead.
SYSTEM_HEADERS = {
    "sqlite3.h": {"platform/db"},
    "dirent.h": {"platform/env"},
    "fcntl.h": {"platform/env", POSIX_PROCESSES, "platform/ui"},
    "sys/stat.h": {"platform/env", POSIX_PROCESSES},
    "sys/file.h": {"platform/env"},
    "sys/mman.h": {"platform/env"},
    # The Win32 API, in the folders that own a Windows implementation: the
    # files of WinEnv and the module's own name. A Windows implementation of
    # another service adds its folder here.
    "windows.h": {"platform/env", "platform/module", "platform/text", WIN_REGISTRY, WIN_PROCESSES,
                  WIN_HOST_TIMERS, WIN_ADO, WIN_PRESENTER},
    # COM and its variants: the Access databases through ADO alone.
    "oleauto.h": {WIN_ADO},
    "objbase.h": {WIN_ADO},
    "adoint.h": {WIN_ADO},
    "winbase.h": {"platform/env"},
    "fileapi.h": {"platform/env"},
    "io.h": {"platform/env"},
    "direct.h": {"platform/env"},
    "unistd.h": {"platform/env", POSIX_PROCESSES, "platform/ui"},
    "filesystem": {"platform/env", "platform/ui"},
    "fstream": {"platform/env"},
    # Programs are started, watched and ended by the process service alone.
    "sys/wait.h": {POSIX_PROCESSES},
    "signal.h": {POSIX_PROCESSES},
    "csignal": {POSIX_PROCESSES},
    "spawn.h": {POSIX_PROCESSES},
    "sys/prctl.h": {POSIX_PROCESSES},
    "pwd.h": {POSIX_PROCESSES},
    # Loaded modules: the plug-in's own file name, and the host's timer
    # functions, looked up by the timer service alone.
    "dlfcn.h": {"platform/module", POSIX_HOST_TIMERS},
    # The user's locale is read by the text formats alone.
    "langinfo.h": {"platform/text"},
    "locale.h": {"platform/text"},
    "clocale": {"platform/text"},
    # Geodata and XML files through their platform services alone.
    "shapefil.h": {"platform/geodata"},
    "libxml/parser.h": {"platform/xml"},
    "libxml/SAX2.h": {"platform/xml"},
    "libxml/tree.h": {"platform/xml"},
    "libxml/xmlreader.h": {"platform/xml"},
    # Printing goes through the printer alone.
    "cairo.h": {CAIRO_PRINTER},
    "cairo-pdf.h": {CAIRO_PRINTER},
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
DIRECT_CALLS_ALLOWED = {"platform/env", POSIX_PROCESSES, WIN_PROCESSES, "platform/ui"}

# Calls of the services behind an interface, and where alone they are made.
SERVICE_CALLS = [
    (re.compile(r"(?<![\w.>:])(::)?(fork|vfork|exec[lv]p?e?|posix_spawnp?|waitpid|wait|kill|"
                r"killpg|setpgid|setsid|prctl|getpwuid(_r)?|getpwnam(_r)?|popen|system)\s*\("),
     {POSIX_PROCESSES}),
    (re.compile(r"(?<![\w.>:])(::)?(dlopen|dlsym|dladdr)\s*\("), {POSIX_HOST_TIMERS, "platform/module"}),
    (re.compile(r"(?<![\w.>:])(::)?(cairo_\w+)\s*\("), {CAIRO_PRINTER}),
    (re.compile(r"(?<![\w.>:])(::)?(newlocale|nl_langinfo(_l)?)\s*\("), {"platform/text"}),
]

# Which build runs is told by one header, which only the context that makes
# the builds' profiles and the build entries that each pick their own may
# include (tests see everything). The profile the rules read carries what a
# build does and nothing of which it is, so without this header a rule that
# asks for the build does not compile; the upward check shows it does not.
BUILD_IDENTITY_HEADER = "context/BuildIdentity.h"
BUILD_IDENTITY_ALLOWED = {"context", "builds"}
# A second net, should the identity reach a rule some other way: a build
# named, or the build compared.
# The transaction store's headers, and who may include them: the store's
# own files, and the named procedures (TransActTools and the steps beside
# it), which are the rules' one door to the tables.
STORE_DOOR = {"transaction/tables", "transaction/TransActTools.cpp", "transaction/TableSteps.cpp"}
STORE_HEADERS = {f"transaction/tables/{name}.h": STORE_DOOR
                 for name in ("TransactionStore", "ListTable", "PoolTable", "TransactionIdTable",
                              "FingerprintTable", "Makes")}
BUILD_IDENTITY = re.compile(r"\bBuild::k\w+|\.build\s*[!=]=")

# A path separator written out: a char literal '/', or a string literal
# that starts or ends with one (a path being joined or split by hand).
# Above the platform, paths are made with platform/env/Path.h, so that a
# platform with another separator changes only there.
PATH_SEPARATOR_CHAR = re.compile(r"'/'")


def path_separator_literals(text):
    code = re.sub(r"^\s*#\s*include[^\n]*", " ", text, flags=re.M)
    found = [m.group(0) for m in PATH_SEPARATOR_CHAR.finditer(strip_comments(code))]
    found += [f'"{t}"' for t in string_literals(code) if t.startswith("/") or t.endswith("/")]
    return found


# What the programs beside the plug-in may include, by the start of the
# path; their tests are not held to it.
OUTSIDE_INCLUDES = {
    "hostsim": ("hostsim/", "host/ktapi32.h", "platform/ui/Timer.h", "platform/"),
    "vandrasim": ("vandrasim/", "platform/"),
    "tools": ("tools/", "platform/"),
}

KT_CALL = re.compile(r"\bkt[A-Z]\w*\s*\(")

# Tables with one owner: a statement naming one of them (after from, into,
# update, table, join or on) stands only in the owner's files, so each table
# is read and written in one place. Each entry: the tables, the files or
# folders that own them, and how the owner is named in a finding.
TABLE_OWNERS = [
    (("Fotos", "Objektphotos"), ("photos/tables/Fotoverwaltung.cpp",),
     "its owner photos/tables/Fotoverwaltung.cpp"),
    (("TA_LIST", "TA_KL", "TA_ID", "TA_FP"),
     ("transaction/tables",), "the transaction store in transaction/tables/"),
]
# A statement that leaves its table to what follows it ("select * from " +
# name), and the files that may write one: the owners of the tables whose
# names are made at run time (the package's, the host's export, the host's
# per-object tables) and the transaction store, which takes a table's name
# as the system's procedures hand it.
DYNAMIC_STATEMENT = re.compile(
    r"^\s*(select|insert|update|delete|create|drop|alter)\b.*\b(from|into|update|join|table)\s*$",
    re.I | re.S)
DYNAMIC_STATEMENT_OWNERS = {
    "exchange/Package.cpp", "exchange/ImportPackage.cpp", "exchange/HostSnapshot.cpp",
    "photos/tables/Fotoverwaltung.cpp", "transaction/tables/ListTable.cpp",
}
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


def string_literals(text):
    """The texts of the string literals outside comments, adjacent literals
    joined as the compiler joins them, their escapes for white space read as
    the white space they stand for."""
    texts, current, i, n = [], None, 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            i = text.find("\n", i)
            i = n if i < 0 else i
        elif text.startswith("/*", i):
            i = text.find("*/", i + 2)
            i = n if i < 0 else i + 2
        elif c == "'":
            m = re.compile(r"'(\\.|[^'\\\n])*'").match(text, i)
            i = m.end() if m else i + 1
            current = None
        elif c == '"':
            m = re.compile(r'"((\\.|[^"\\\n])*)"').match(text, i)
            if not m:
                i += 1
                continue
            body = re.sub(r"\\[rnt]", " ", m.group(1))
            if current is None:
                current = len(texts)
                texts.append(body)
            else:
                texts[current] += body
            i = m.end()
        elif c.isspace():
            i += 1
        else:
            current = None
            i += 1
    return texts


def check_statements(rel, folder, text):
    problems = []
    literals = string_literals(text)
    if not folder.startswith("platform"):
        owned = [t for tables, _, _ in TABLE_OWNERS for t in tables]
        for literal in literals:
            # A table's name in a header is public, and a statement could be
            # built from it anywhere.
            if rel.endswith(".h") and literal.strip().lower() in (t.lower() for t in owned):
                problems.append(f"{rel}: names the table {literal.strip()} in a header; "
                                "a table's name is its owner's alone")
            # A statement whose table is not written in it could reach any
            # table; only the owners of tables build such statements.
            if (DYNAMIC_STATEMENT.search(literal) and
                    rel.replace(os.sep, "/") not in DYNAMIC_STATEMENT_OWNERS):
                problems.append(f"{rel}: a statement whose table is not written in it "
                                f"(\"{literal.strip()}\" + ...)")
    for tables, owners, owner_name in TABLE_OWNERS:
        if rel in owners or folder in owners:
            continue
        statement = re.compile(r"\b(from|into|update|table|join|on)\s+[\"`\[]?(" +
                               "|".join(tables) + r")\b", re.I)
        for literal in literals:
            for m in statement.finditer(literal):
                problems.append(f"{rel}: a statement on {m.group(2)} outside {owner_name}")
    return problems


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


def may(allowed, folder, rel):
    """Whether a file is among the folders or files that `allowed` names."""
    return folder in allowed or rel.replace(os.sep, "/") in allowed


def check_file(rel, folder, text, layer, visible, all_folders):
    """What the include path cannot say of one file of a layer's folder."""
    problems = []
    for kind, target in INCLUDE.findall(text):
        # Either kind of include finds the header in the include tree.
        if (posixpath.normpath(target) == BUILD_IDENTITY_HEADER
                and not may(BUILD_IDENTITY_ALLOWED, folder, rel)):
            problems.append(f"{rel}: includes {target}, which tells which build runs; only "
                            f"{', '.join(sorted(BUILD_IDENTITY_ALLOWED))} may")
        door = STORE_HEADERS.get(posixpath.normpath(target))
        if door is not None and not may(door, folder, rel):
            problems.append(f"{rel}: includes {target}, the transaction store; the rules reach "
                            "the tables through transaction/TransActTools.h")
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
                problems.append(f"{rel}: includes {target} from {seen}, above the layer {layer}")
            elif target == "host/ktapi32.h" and folder != "host":
                problems.append(f"{rel}: includes the host API; only the host facade may")
        else:
            allowed = SYSTEM_HEADERS.get(target)
            if allowed is not None and not may(allowed, folder, rel):
                problems.append(f"{rel}: includes <{target}>, which only "
                                f"{', '.join(sorted(allowed))} may")
    code = strip_comments(text)
    if folder != "host":
        for m in KT_CALL.finditer(code):
            problems.append(f"{rel}: calls {m.group(0).rstrip('( ')} outside the host facade")
    if folder not in BUILD_IDENTITY_ALLOWED:
        for m in BUILD_IDENTITY.finditer(code):
            problems.append(f"{rel}: asks which build runs ({m.group(0)}), "
                            "not what the build profile says it does")
    if not may(DIRECT_CALLS_ALLOWED, folder, rel):
        for m in DIRECT_CALLS.finditer(code):
            problems.append(f"{rel}: calls {m.group(2)}() directly, not through the platform seam")
    for calls, allowed in SERVICE_CALLS:
        if may(allowed, folder, rel):
            continue
        for m in calls.finditer(code):
            problems.append(f"{rel}: calls {m.group(2)}(), which only "
                            f"{', '.join(sorted(allowed))} may")
    problems += check_statements(rel, folder, text)
    if not folder.startswith("platform"):
        for literal in path_separator_literals(text):
            problems.append(f"{rel}: writes the path separator {literal} out; "
                            "paths are made with platform/env/Path.h")
    return problems


def check_includes(root, layers):
    problems = []
    all_folders = {f for _, own, _ in layers for f in own}
    for name, own, visible in layers:
        for folder in own:
            for rel, path in sources(root, folder):
                with open(path, encoding="utf-8") as f:
                    text = f.read()
                problems += check_file(rel, folder, text, name, visible, all_folders)
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


def check_outside(root):
    problems = []
    for folder, allowed in OUTSIDE_INCLUDES.items():
        for dirpath, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if not name.endswith((".cpp", ".h")) or is_test_file(name):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root)
                with open(path, encoding="utf-8") as f:
                    text = f.read()
                for kind, target in INCLUDE.findall(text):
                    if kind == '"' and not target.startswith(allowed):
                        problems.append(f"{rel}: includes {target}, which {folder}/ may not see")
    return problems


def a_header(root, folders):
    for folder in folders:
        for rel, _ in sources(root, folder):
            if rel.endswith(".h"):
                return rel
    return None


def compiles(compiler, flags, tree, source):
    with tempfile.NamedTemporaryFile("w", suffix=".cpp", delete=False) as probe:
        probe.write(f'{source}int main() {{ return 0; }}\n')
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
        ok, err = compiles(compiler, flags, tree, f'#include "{mine}"\n')
        if not ok:
            problems.append(f"layer {name}: its own header {mine} does not compile:\n{err}")
        ok, err = compiles(compiler, flags, tree, f'#include "{above}"\n')
        if ok:
            problems.append(f"layer {name}: including {above} of layer {upper} compiles")
        elif "No such file or directory" not in err:
            problems.append(f"layer {name}: {above} fails for another reason:\n{err}")
        else:
            print(f"{name}: including {above} fails, as it must")
    return problems + check_identity_probes(root, layers_file, layers, compiler, flags)


# The layer whose code must not learn which build runs.
RULES_LAYER = "rules"

# Rules that read the running build, each put after every header a rule may
# include that could carry the identity along: what the rule does, its code,
# and the name the compiler must not know in it (None: the rule compiles,
# which shows the probes themselves are sound).
IDENTITY_PROBES = [
    ("reads a capability of the running build",
     "bool Probe() { return CurrentProfile().import_flag; }\n", None),
    ("switches on the running build",
     "int Probe() {\n  switch (CurrentProfile().build) {\n    default: return 0;\n  }\n}\n",
     "build"),
    ("compares the running build's name",
     'bool Probe() { return CurrentProfile().name == "TransactHooks"; }\n', "name"),
    ("names a build",
     "auto Probe() { return Build::kTransactHooks; }\n", "Build"),
]


def check_identity_probes(root, layers_file, layers, compiler, flags):
    """The rules layer's code cannot ask which build runs: what it may
    include does not tell, and the header that does is refused it."""
    found = [(own, visible) for name, own, visible in layers if name == RULES_LAYER]
    if not found:
        return [f"no layer {RULES_LAYER} in {layers_file} to probe"]
    own, visible = found[0]
    tree = os.path.join(os.path.dirname(layers_file), RULES_LAYER)
    # Only a folder that may include the identity header can pass it on
    # unseen by the include rule; the headers of the others are refused it.
    carriers = [rel for folder in visible if folder in BUILD_IDENTITY_ALLOWED
                for rel, _ in sources(root, folder)
                if rel.endswith(".h") and rel.replace(os.sep, "/") != BUILD_IDENTITY_HEADER]
    preamble = "".join(f'#include "{rel}"\n' for rel in carriers)
    problems = []
    for what, code, unknown in IDENTITY_PROBES:
        ok, err = compiles(compiler, flags, tree, preamble + code)
        if unknown is None:
            if not ok:
                problems.append(f"layer {RULES_LAYER}: a rule that {what} does not compile:\n{err}")
            continue
        if ok:
            problems.append(f"layer {RULES_LAYER}: a rule that {what} compiles")
        elif not re.search(r"error:[^\n]*\W" + re.escape(unknown) + r"\W", err):
            problems.append(
                f"layer {RULES_LAYER}: a rule that {what} fails for another reason:\n{err}")
        else:
            print(f"{RULES_LAYER}: a rule that {what} does not compile, as it must")
    # The include tree holds all of context/, the identity header with it,
    # so unless the header leaves the tree, the include rule is the guard.
    rel = f"{own[0]}/IdentityProbe.cpp"
    source = f'#include "{BUILD_IDENTITY_HEADER}"\n'
    ok, err = compiles(compiler, flags, tree, source)
    unreachable = not ok and "No such file or directory" in err
    all_folders = {f for _, folders, _ in layers for f in folders}
    refused = [p for p in check_file(rel, own[0], source, RULES_LAYER, visible, all_folders)
               if BUILD_IDENTITY_HEADER in p]
    if not unreachable and not refused:
        problems.append(f"layer {RULES_LAYER}: a rule may include {BUILD_IDENTITY_HEADER}")
    else:
        print(f"{RULES_LAYER}: including {BUILD_IDENTITY_HEADER} is refused, as it must be")
    return problems


def selftest():
    """Plants one fault of each kind in a tiny tree and expects each found."""
    planted = {
        "low/a.h": '#include "high/b.h"\n',
        "low/c.cpp": '#include "../high/b.h"\n#include <dirent.h>\nint f() { return ::stat(0, 0); }\n',
        "low/w.cpp": '#include <windows.h>\nvoid w() { MoveFileExW(0, 0, 0); LockFileEx(0, 0, 0, 0, 0, 0); }\n',
        "high/b.h": '#include "host/ktapi32.h"\n// ktSetKennung( in a comment is fine\n'
                    'void g() { ktRedraw(); }\n'
                    'bool h() { return CurrentProfile().build == Build::kTransactHooks; }\n',
        "loose/d.h": "int d;\n",
        "host/ktapi32.h": "",
        # A service's system headers and calls outside its implementation
        # file, in that file's own folder; the implementation files beside
        # them are fine.
        "platform/process/Process.cpp": "#include <sys/wait.h>\n#include <windows.h>\n"
                                        "int p() { return ::fork(); }\n",
        "platform/process/WinProcesses.cpp":
            '#include <windows.h>\nvoid* p() { return CreateFileW(L"NUL", 0, 0, 0, 0, 0, 0); }\n',
        "platform/process/PosixProcesses.cpp":
            "#include <sys/wait.h>\n#include <unistd.h>\n"
            "int p() { return fork() + waitpid(0, 0, 0) + ::open(\"/dev/null\", 0); }\n",
        "platform/ui/Timer.cpp": '#include <dlfcn.h>\nvoid* t() { return dlsym(0, "x"); }\n',
        "platform/ui/PosixHostTimers.cpp": '#include <dlfcn.h>\nvoid* t() { return dlsym(0, "x"); }\n',
        "platform/print/PdfWriter.cpp": "void r() { cairo_show_page(0); }\n",
        "platform/print/CairoPrinter.cpp": "#include <cairo.h>\nvoid r() { cairo_show_page(0); }\n",
        "tools/map/Map.cpp": '#include "hostsim/Geometry.h"\n#include "platform/env/Env.h"\n',
        "hostsim/Sim.cpp": '#include "tools/map/Map.h"\n#include "host/ktapi32.h"\n',
        # Statements on owned tables: the owners' own, and what only looks
        # like one (a comment, a message, a bare name), pass.
        # A table's name held in a header, or in a variable a statement is
        # built from: the owners may, no one else.
        "high/s.cpp": '#include "transaction/tables/TransactionStore.h"\n',
        "transaction/TransActTools.cpp": '#include "transaction/tables/ListTable.h"\n',
        "high/t.h": 'inline constexpr std::string_view kLinkTable = "Objektphotos";\n',
        "high/v.cpp": 'std::string t = "TA_KL";\nauto q = "select KENNUNG from " + t;\n'
                      'auto r = std::string("select * from ") + std::string(kLinkTable);\n'
                      'auto ok = "Die Tabelle TA_KL fehlt."; auto op = "move into";\n',
        "photos/tables/Fotoverwaltung.cpp": 'auto d = "select * from " + name;\n'
                                     'auto a = "delete from Fotos where FotoID = 1";\n'
                                     'auto b = "Select count (*) from Objektphotos\\r\\nwhere";\n',
        "photos/Other.cpp": '// select FotoID from Fotos\n'
                            'auto m = "Die Tabelle Fotos fehlt.";\n'
                            'auto q = "select FotoID,Kurzname "\n'
                            '         "from Fotos";\n'
                            "auto c = 'x'; auto t = \"Objektphotos\";\n",
        "transaction/tables/TransactionStore.cpp": 'auto s = "update TA_LIST set CHANGED = \'NEW\'";\n',
        "high/e.cpp": 'auto p = "TA_LIST";\n'
                      'auto u = Lines({"select KENNUNG from TA_KL", "where TID = 1"});\n'
                      'auto v = "Create unique index PrimaryKey on Objektphotos\\r\\n(PKEY)";\n'
                      'auto w = "insert into\\r\\nta_fp (TID) values (1)";\n'
                      '#include "low/a.h"\n'
                      'auto f = dir + "KTPhotos/"; auto g = "/" + name;\n'
                      "bool s = c == '/';\n"
                      '// dir + "/" in a comment is fine\n'
                      'auto m = "Objekte/Flaechen";\n',
        "platform/process/Paths.cpp": 'auto r = std::string("/") + "dev/null";\n',
        # The header that tells which build runs, in a rule by either kind of
        # include and by a roundabout path; the context that makes the
        # profiles, the build entries and the tests may include it.
        "context/BuildIdentity.h": "enum class Build { kTransactHooks };\n",
        "context/Profiles.cpp": '#include "context/BuildIdentity.h"\n',
        "builds/Entry.cpp": '#include "context/BuildIdentity.h"\n'
                            "void Load() { PluginLoaded(ProfileOf(Build::kTransactHooks)); }\n",
        "high/i.cpp": '#include "context/BuildIdentity.h"\n',
        "high/j.h": "#include <context/BuildIdentity.h>\n",
        "low/k.cpp": '#include "context/./BuildIdentity.h"\n',
        "high/i_test.cpp": '#include "context/BuildIdentity.h"\n',
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
        "high/b.h: asks which build runs (.build ==)",
        "high/b.h: asks which build runs (Build::kTransactHooks)",
        "loose: a source folder that belongs to no layer",
        "platform/process/Process.cpp: includes <sys/wait.h>",
        "platform/process/Process.cpp: calls fork()",
        "platform/process/Process.cpp: includes <windows.h>",
        "platform/ui/Timer.cpp: includes <dlfcn.h>",
        "platform/ui/Timer.cpp: calls dlsym()",
        "platform/print/PdfWriter.cpp: calls cairo_show_page()",
        "tools/map/Map.cpp: includes hostsim/Geometry.h",
        "hostsim/Sim.cpp: includes tools/map/Map.h",
        "photos/Other.cpp: a statement on Fotos outside its owner photos/tables/Fotoverwaltung.cpp",
        "high/s.cpp: includes transaction/tables/TransactionStore.h, the transaction store",
        "high/t.h: names the table Objektphotos in a header",
        'high/v.cpp: a statement whose table is not written in it ("select KENNUNG from" + ...)',
        'high/v.cpp: a statement whose table is not written in it ("select * from" + ...)',
        "high/e.cpp: a statement on TA_KL outside the transaction store in transaction/tables/",
        "high/e.cpp: a statement on Objektphotos outside its owner photos/tables/Fotoverwaltung.cpp",
        "high/e.cpp: a statement on ta_fp outside the transaction store in transaction/tables/",
        'high/e.cpp: writes the path separator "KTPhotos/" out',
        'high/e.cpp: writes the path separator "/" out',
        "high/e.cpp: writes the path separator '/' out",
        "high/i.cpp: includes context/BuildIdentity.h, which tells which build runs",
        "high/j.h: includes context/BuildIdentity.h, which tells which build runs",
        "low/k.cpp: includes context/./BuildIdentity.h, which tells which build runs",
    ]
    with tempfile.TemporaryDirectory() as root:
        for rel, text in planted.items():
            os.makedirs(os.path.join(root, os.path.dirname(rel)), exist_ok=True)
            with open(os.path.join(root, rel), "w", encoding="utf-8") as f:
                f.write(text)
        platform = ["platform/process", "platform/ui", "platform/print"]
        layers = [("lower", ["low", "context", *platform], ["low", "context", *platform]),
                  ("upper", ["high", "host", "photos", "photos/tables", "transaction",
                             "transaction/tables", "builds"],
                   ["high", "host", "photos", "photos/tables", "transaction",
                    "transaction/tables", "builds", "low", "context", *platform])]
        problems = check_includes(root, layers) + check_outside(root)
    missing = [e for e in expected if not any(p.startswith(e) for p in problems)]
    # Each planted statement is found once.
    missing += [f"{e} (more than once)" for e in expected
                if sum(p.startswith(e) for p in problems) > 1]
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
        problems = check_includes(root, layers) + check_outside(root)
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
