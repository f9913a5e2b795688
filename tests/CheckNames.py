"""File names of the source tree, as a case-blind file system sees them.

The code base is checked out on Windows too, where two names that differ
only in letter case are one file: the checkout keeps one of them and the
build breaks, or builds the wrong file. This script finds such pairs in each
folder of the tree (files and folders alike); hidden entries and build
folders (those holding a CMakeCache.txt) are not looked at.

Usage: CheckNames.py <source root> [--except <path>]...
       CheckNames.py selftest

A path named by --except is left out of the comparison.
"""
import os
import sys
import tempfile


def clashes(root, excepted=()):
    excepted = {os.path.normpath(p) for p in excepted}
    found = []
    for folder, dirs, files in os.walk(root):
        dirs[:] = sorted(d for d in dirs if not d.startswith(".") and
                         not os.path.exists(os.path.join(folder, d, "CMakeCache.txt")))
        rel_folder = os.path.relpath(folder, root)
        by_lower = {}
        for name in sorted(dirs + [f for f in files if not f.startswith(".")]):
            rel = os.path.normpath(os.path.join(rel_folder, name))
            if rel in excepted:
                continue
            by_lower.setdefault(name.lower(), []).append(rel)
        for names in by_lower.values():
            if len(names) > 1:
                found.append(" and ".join(names) + ": one name on a case-blind file system")
    return sorted(found)


def selftest():
    """Plants a pair in a folder, one in a build folder and one excepted."""
    planted = ["tool/Main.cpp", "tool/main.cpp", "tool/Other.h", "Docs/a.md", "docs/b.md",
               "build/CMakeCache.txt", "build/X.o", "build/x.o", "sim/Run.cpp", "sim/run.cpp"]
    expected = ["Docs and docs: one name on a case-blind file system",
                "tool/Main.cpp and tool/main.cpp: one name on a case-blind file system"]
    with tempfile.TemporaryDirectory() as root:
        for rel in planted:
            os.makedirs(os.path.join(root, os.path.dirname(rel)), exist_ok=True)
            open(os.path.join(root, rel), "w").close()
        found = clashes(root, ["sim/run.cpp"])
    missing = [e for e in expected if e not in found]
    extra = [f for f in found if f not in expected]
    return [f"not found: {m}" for m in missing] + [f"found wrongly: {e}" for e in extra]


def main(argv):
    if len(argv) == 2 and argv[1] == "selftest":
        problems = selftest()
        for p in problems:
            print(p)
        print("the check finds what it must" if not problems else "the check is blind")
        return 1 if problems else 0
    if len(argv) < 2 or len(argv) % 2 != 0 or any(a != "--except" for a in argv[2::2]):
        raise SystemExit(__doc__)
    found = clashes(argv[1], argv[3::2])
    for f in found:
        print(f)
    if found:
        print(f"{len(found)} name(s) clash")
        return 1
    print("every name stands on its own")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
