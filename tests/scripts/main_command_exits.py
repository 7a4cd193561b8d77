#!/usr/bin/env python3
"""The main command returns, and leaves nothing of its Wine prefix running.

Each case runs `./scripts/run "echo first run" 2>&1 | cat`, as a user who
pipes the output would, in fresh prefixes made for the run inside the build
tree (VESKER_RUN_PREFIXES), under a time limit: a Wine process left behind
holds the pipe, so `cat` would not end. Then no process of the prefix may
remain (found by WINEPREFIX in /proc/<pid>/environ), and the object's answer
must be there. Code page 932 only: the prefixes take minutes to make.

    main_command_exits.py <build dir>
"""
import os
import shutil
import signal
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SKIPPED = 77  # ctest's SKIP_RETURN_CODE for this entry
COMMAND = "echo first run"
# The first run makes and registers a prefix: minutes under an emulated Wine.
TIME_LIMIT = 900
EXPECTED = ["ErrorCode: 0", "ResultString: first run"]

# Name, the environment the case adds, and the prefix scripts/run makes for it.
CASES = [
    ("32-bit script host", {}, "wine-run-932"),
    ("64-bit script host through the surrogate", {"VESKER_HOST": "64"}, "wine64-run-932"),
]


def prefix_processes(prefix):
    """(pid, command line) of every process whose WINEPREFIX is `prefix`."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                environment = f.read().split(b"\0")
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                command = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
        except OSError:
            continue  # gone meanwhile, or not ours to read
        if b"WINEPREFIX=" + prefix.encode() in environment:
            found.append((int(pid), command))
    return found


def end_prefix(prefix):
    subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=prefix),
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def run_piped(environment):
    """The pipeline's output and status, or None when it did not end in time
    (then everything it started is ended)."""
    pipeline = subprocess.Popen(["sh", "-c", f'./scripts/run "{COMMAND}" 2>&1 | cat'], cwd=ROOT, env=environment,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, start_new_session=True)
    try:
        output, _ = pipeline.communicate(timeout=TIME_LIMIT)
    except subprocess.TimeoutExpired:
        os.killpg(pipeline.pid, signal.SIGKILL)
        pipeline.communicate()
        return None
    return output.decode(errors="replace"), pipeline.returncode


def check(name, added, prefix_name, prefixes, build):
    prefix = os.path.join(prefixes, prefix_name)
    environment = dict(os.environ, VESKER_BUILD_DIR=build, VESKER_CODEPAGE="932", VESKER_RUN_PREFIXES=prefixes,
                       **added)
    result = run_piped(environment)
    left = prefix_processes(prefix)
    end_prefix(prefix)
    failures = []
    if result is None:
        failures.append(f"did not return within {TIME_LIMIT} s")
    else:
        output, status = result
        lines = [line.strip() for line in output.splitlines()]
        if status != 0 or any(line not in lines for line in EXPECTED):
            failures.append(f"exit status {status}, output:\n{output[-3000:]}")
    if left:
        failures.append("left running: " + "; ".join(f"{pid} {command}" for pid, command in left))
    for failure in failures:
        print(f"main_command_exits: {name}: {failure}", file=sys.stderr)
    if not failures:
        print(f"main_command_exits: {name}: returned, nothing left running")
    return not failures


def main():
    build = os.path.abspath(sys.argv[1])
    if os.environ.get("VESKER_CODEPAGE", "932") != "932":
        print("main_command_exits: runs under code page 932 only")
        return SKIPPED
    prefixes = os.path.join(build, "main-command-prefixes")
    for _, _, prefix_name in CASES:
        end_prefix(os.path.join(prefixes, prefix_name))
    shutil.rmtree(prefixes, ignore_errors=True)
    results = [check(name, added, prefix_name, prefixes, build) for name, added, prefix_name in CASES]
    shutil.rmtree(prefixes, ignore_errors=True)
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
