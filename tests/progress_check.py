"""Runs verdask on a long run (over 100,000 mesh vertices) with standard error
on a pseudo-terminal and checks the progress line: shown, rewritten in place,
cleared at the end; and with standard error on a pipe, nothing at all.

    python3 progress_check.py <verdask binary> <make_bone binary>
"""
import os
import pty
import subprocess
import sys
import tempfile

INPUTS = ["mesh.hmascii", "cort.surf", "norm.vtk", "trab.surf"]


def run_on_terminal(command, cwd):
    master, slave = pty.openpty()
    with open(os.path.join(cwd, "stdout.txt"), "wb") as out:
        process = subprocess.Popen(command, cwd=cwd, stdout=out, stderr=slave)
    os.close(slave)
    shown = b""
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the terminal closes when the process ends
            break
        if not chunk:
            break
        shown += chunk
    process.wait()
    os.close(master)
    return process.returncode, shown, open(os.path.join(cwd, "stdout.txt"), "rb").read()


def main():
    verdask, make_bone = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([make_bone, work, "150000", "20000", "3"], check=True)
        command = [verdask] + INPUTS + ["-threads", "1"]
        code, shown, stdout = run_on_terminal(command, work)
        piped = subprocess.run(command, cwd=work, capture_output=True)
    if code != 0 or piped.returncode != 0:
        failures.append(f"exit codes {code} and {piped.returncode}")
    if b"verdask: " not in shown or b"%" not in shown:
        failures.append(f"no progress line: {shown[:200]!r}")
    if not shown.rstrip(b" ").endswith(b"\r") or shown.count(b"\n") != 0:
        failures.append(f"the line is not rewritten in place and cleared: {shown[-120:]!r}")
    if stdout != piped.stdout:
        failures.append("standard output differs between a terminal and a pipe")
    if piped.stderr:
        failures.append(f"something on a piped standard error: {piped.stderr[:200]!r}")
    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print(f"progress shown in {shown.count(b'%')} updates and cleared; nothing on a pipe")


main()
