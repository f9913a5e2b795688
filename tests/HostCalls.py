"""What a build calls of the host, held against what it imports at load time.

A plug-in library imports at load time only the host functions every build
calls (builds/<build>.imports): the KARTUL each build serves has those, and
Windows refuses to load a library whose imports the host lacks. The other
host functions are bound at run time (host/LateBound.h). This script holds
a build to its list from both sides:

  calls     the build's scenarios, run by kartul-sim with the host stand-in
            counting the functions the plug-in calls (KARTUL_HOST_CALLS),
            call every function on the list: a function listed but never
            seen called is no proof that the build's KARTUL has it
  links     the build's Linux library needs from libktapi32.so exactly the
            functions on the list (nm): a call to another host function
            written without run-time binding would be imported at load time
            by the Windows DLL too (tests/windows/CheckDll.py holds the DLLs)

and prints the functions the build was seen to call that are bound at run
time.

  selftest  a list with a function the build's scenarios never call, and a
            library that links a function only another build calls, are
            found.

Usage: HostCalls.py check <kartul-sim> <nm> <library> <imports list> <scenario>...
       HostCalls.py selftest <kartul-sim> <nm> <C compiler>
"""
import os
import re
import subprocess
import sys
import tempfile


def read_list(path):
    """The function names of an imports list: one a line, # comments."""
    names = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                names.append(line)
    return names


def locale_of(scenario):
    # As ctest runs them: the *_de scenarios in the mappers' German locale.
    name = os.path.splitext(os.path.basename(scenario))[0]
    return "de_DE.UTF-8" if re.search(r"_de(_earlier|_reduced)?$", name) else "C.UTF-8"


def run_scenarios(kartul_sim, scenarios, log):
    """Runs each scenario with the host counting calls into log; the problems."""
    problems = []
    for scenario in scenarios:
        env = dict(os.environ, KARTUL_HOST_CALLS=log, LC_ALL=locale_of(scenario))
        run = subprocess.run([kartul_sim, "--quiet", scenario], env=env, capture_output=True,
                             text=True)
        if run.returncode != 0:
            problems.append(f"{os.path.basename(scenario)} failed:\n{run.stdout[-2000:]}")
    return problems


def calls_of(log, library):
    """The host functions the library (by its file name) was seen to call."""
    calls = set()
    if os.path.exists(log):
        with open(log, encoding="utf-8") as f:
            for line in f:
                parts = line.split()
                if len(parts) == 2 and parts[0] == library:
                    calls.add(parts[1])
    return calls


def linked(nm, library):
    """The host functions the library leaves for libktapi32.so to resolve at load time."""
    run = subprocess.run([nm, "-D", "--undefined-only", library], capture_output=True, text=True)
    if run.returncode != 0:
        raise SystemExit(f"{nm} -D {library} failed:\n{run.stderr}")
    return {m for m in re.findall(r"\bU\s+(kt\w+)", run.stdout)}


def compare(name, listed, calls, links):
    problems = []
    for f in sorted(set(listed) - calls):
        problems.append(f"{name}: imports {f} at load time, but its scenarios never call it; "
                        "nothing shows that its KARTUL has it")
    for f in sorted(links - set(listed)):
        problems.append(f"{name}: links {f} at load time, which its imports list does not name "
                        "(a host function only some builds call is bound at run time)")
    for f in sorted(set(listed) - links):
        problems.append(f"{name}: its imports list names {f}, which it does not link")
    return problems


def check(kartul_sim, nm, library, imports, scenarios):
    name = os.path.basename(library)
    listed = read_list(imports)
    with tempfile.TemporaryDirectory() as d:
        log = os.path.join(d, "calls.txt")
        problems = run_scenarios(kartul_sim, scenarios, log)
        calls = calls_of(log, name)
    problems += compare(name, listed, calls, linked(nm, library))
    late = sorted(calls - set(listed))
    print(f"{name}: calls {len(calls)} host functions in {len(scenarios)} scenarios; "
          f"the {len(listed)} of its imports list at load time, "
          f"{len(late)} bound at run time: {', '.join(late) or '-'}")
    return problems


def selftest(kartul_sim, nm, compiler):
    """A list and a library with one fault each, checked."""
    here = os.path.dirname(os.path.abspath(__file__))
    with tempfile.TemporaryDirectory() as d:
        # A reduced build that links the area of an object at load time, a
        # function only the full build calls; and an imports list that names
        # the newer export, which the reduced build never calls.
        source = os.path.join(d, "p.c")
        with open(source, "w") as f:
            f.write("short ktGetProjectDir(char*, int);\n"
                    "double ktGetObjectArea(int);\n"
                    "int p(void) { return ktGetProjectDir(0, 0) + (int)ktGetObjectArea(1); }\n")
        library = os.path.join(d, "TransactHooks.so")
        subprocess.run([compiler, "-shared", "-fPIC", "-o", library, source], check=True)
        imports = os.path.join(d, "TransactHooks.imports")
        with open(imports, "w") as f:
            f.write("# planted\nktGetProjectDir\nktExportDataXMLEx\n")
        # The calls are those of the real reduced build, which kartul-sim
        # loads by its name.
        log = os.path.join(d, "calls.txt")
        scenario = os.path.join(here, "scenarios", "hooks_reduced.kts")
        problems = run_scenarios(kartul_sim, [scenario], log)
        problems += compare("TransactHooks.so", read_list(imports),
                            calls_of(log, "TransactHooks.so"), linked(nm, library))
    expected = [
        "TransactHooks.so: imports ktExportDataXMLEx at load time, but its scenarios never call",
        "TransactHooks.so: links ktGetObjectArea at load time, which its imports list does not",
        "TransactHooks.so: its imports list names ktExportDataXMLEx, which it does not link",
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
    if len(argv) >= 5 and argv[1] == "selftest":
        return selftest(argv[2], argv[3], argv[4])
    if len(argv) >= 7 and argv[1] == "check":
        problems = check(argv[2], argv[3], argv[4], argv[5], argv[6:])
        for p in problems:
            print(p)
        return 1 if problems else 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
