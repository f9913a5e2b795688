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


class Session:
    def __init__(self, argv, env):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execve(argv[0], argv, env)
        self.seen = b""

    def read(self, seconds):
        """Everything the program writes within the time."""
        got = b""
        end = time.monotonic() + seconds
        while (left := end - time.monotonic()) > 0:
            ready, _, _ = select.select([self.fd], [], [], left)
            if not ready:
                break
            try:
                chunk = os.read(self.fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            got += chunk
        self.seen += got
        return got

    def expect(self, text, seconds=20):
        got = b""
        end = time.monotonic() + seconds
        while text not in got:
            left = end - time.monotonic()
            if left <= 0:
                raise SystemExit(f"no {text!r} within {seconds} s; the terminal showed:\n"
                                 + (self.seen + got).decode(errors="replace")[-3000:])
            ready, _, _ = select.select([self.fd], [], [], left)
            if ready:
                chunk = os.read(self.fd, 4096)
                if not chunk:
                    break
                got += chunk
        self.seen += got
        return got

    def send(self, line):
        os.write(self.fd, line.encode() + b"\n")

    def close(self):
        try:
            _, status = os.waitpid(self.pid, 0)
        finally:
            os.close(self.fd)
        return os.waitstatus_to_exitcode(status)


def main(argv):
    if len(argv) != 3:
        raise SystemExit(__doc__)
    sim, mkjpeg = argv[1], argv[2]
    with tempfile.TemporaryDirectory() as tmp:
        picture = os.path.join(tmp, "DSC0001.jpg")
        subprocess.run([mkjpeg, picture, "32", "24", "1"], check=True)
        env = dict(os.environ, TERM="dumb", LC_ALL="C.UTF-8",
                   KARTUL_REGISTRY=os.path.join(tmp, "registry.reg"))
        for name in ("KARTUL_ANSWERS", "KARTUL_TRANSCRIPT"):
            env.pop(name, None)
        s = Session([sim, "--build", "VD1TransAction2010", "--new-project",
                     os.path.join(tmp, "p")], env)
        s.expect(PROMPT)
        s.send("create NSG area 0 0 100 0 100 100 as NSG-1")
        s.expect(b"answer> ")
        s.send("")
        s.expect(PROMPT)
        s.send("run ProcessFoto")
        s.expect(b"TFormEditFoto> ")
        s.send("click BtnGetCoordinate")
        s.expect(b"TFormEditFoto> ")
        s.send("host")
        s.expect(PROMPT)

        # The placing is pending: the dialog's timer runs every 10 ms.
        idle = s.read(1.5)
        redraws = idle.count(PROMPT)

        s.send("place 3400000 5800000")
        back = s.expect(b"TFormEditFoto> ")
        s.send("esc")
        s.expect(PROMPT)
        s.send("quit")
        s.read(5)
        status = s.close()

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
