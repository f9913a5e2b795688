"""kartul-sim at its prompt, in a pseudo terminal, as a mapper uses it.

While the photo dialog waits for a position, its 10 ms timer runs all the
time. The prompt line must stay as it is, not be taken off and drawn again
with every run of the timer; when the position is placed, the dialog comes
back on the terminal by itself.

Usage: InteractivePrompt.py <kartul-sim> <mkjpeg>
"""
import os
import pty
import select
import subprocess
import sys
import tempfile
import time

PROMPT = b"kartul> "


def read(fd, seconds, until=None):
    """What the program writes within the time, or up to the text `until`."""
    got = b""
    end = time.monotonic() + seconds
    while (until is None or until not in got) and (left := end - time.monotonic()) > 0:
        if not select.select([fd], [], [], left)[0]:
            break
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        got += chunk
    if until is not None and until not in got:
        raise SystemExit(f"no {until!r} within {seconds} s; the terminal showed:\n"
                         + got.decode(errors="replace")[-3000:])
    return got


def main(argv):
    if len(argv) != 3:
        raise SystemExit(__doc__)
    sim, mkjpeg = argv[1], argv[2]
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([mkjpeg, os.path.join(tmp, "DSC0001.jpg"), "32", "24", "1"], check=True)
        env = {k: v for k, v in os.environ.items()
               if k not in ("KARTUL_ANSWERS", "KARTUL_TRANSCRIPT")}
        env.update(TERM="dumb", LC_ALL="C.UTF-8",
                   KARTUL_REGISTRY=os.path.join(tmp, "registry.reg"))
        pid, fd = pty.fork()
        if pid == 0:
            os.execve(sim, [sim, "--build", "VD1TransAction2010", "--new-project",
                            os.path.join(tmp, "p")], env)

        def say(line, then):
            os.write(fd, line.encode() + b"\n")
            return read(fd, 20, then)

        read(fd, 20, PROMPT)
        say("create NSG area 0 0 100 0 100 100 as NSG-1", b"answer> ")
        say("", PROMPT)
        say("run ProcessFoto", b"TFormEditFoto> ")
        say("click BtnGetCoordinate", b"TFormEditFoto> ")
        say("host", PROMPT)
        # The placing is pending: the dialog's timer runs every 10 ms.
        redraws = read(fd, 1.5).count(PROMPT)
        back = say("place 3400000 5800000", b"TFormEditFoto> ")
        say("esc", PROMPT)
        os.write(fd, b"quit\n")
        read(fd, 5)
        status = os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
        os.close(fd)

    problems = []
    if redraws:
        problems.append(f"the prompt was drawn {redraws} times while nothing changed")
    if b"3400000" not in back or b"5800000" not in back:
        problems.append("the dialog came back without the placed position")
    if status != 0:
        problems.append(f"kartul-sim ended with {status}")
    for p in problems:
        print(p)
    if not problems:
        print("the prompt stays while the timer waits; the dialog comes back with the position")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
