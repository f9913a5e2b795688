"""Runs a 32-bit program through cmake/windows/wine32-run and checks what
came of it: the exit code expected and a text expected in its output (the
program's or the runner's). The output is shown whole either way, so that
a failure says what wine said.

Usage: RunnerCheck.py <wine32-run> <exit code> <text> <program.exe> [arguments...]
"""
import subprocess
import sys
import time


def main(runner, expected_code, expected_text, program, *arguments):
    started = time.monotonic()
    run = subprocess.run([runner, program, *arguments], stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, errors="replace")
    seconds = time.monotonic() - started
    sys.stdout.write(run.stdout)
    print(f"--- {program}: exit code {run.returncode} after {seconds:.0f} s")
    faults = []
    if run.returncode != int(expected_code):
        faults.append(f"exit code {run.returncode}, expected {expected_code}")
    if expected_text not in run.stdout:
        faults.append(f"no {expected_text!r} in the output")
    for fault in faults:
        print(f"FAIL: {fault}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
