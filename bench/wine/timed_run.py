#!/usr/bin/env python3
"""Runs a command and prints its wall time and the CPU time, user and system,
of it and of every process it waited for, both in microseconds.

Usage: timed_run.py TIMEOUT_SECONDS LOG_FILE COMMAND [ARGUMENT...]
The command's output goes to LOG_FILE; the exit status is the command's,
or 124 when it ran out of time (it is then ended, by its pid).
"""
import resource
import subprocess
import sys
import time


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def main():
    timeout = float(sys.argv[1])
    log_path = sys.argv[2]
    command = sys.argv[3:]
    cpu_before = cpu_seconds()
    start = time.monotonic()
    with open(log_path, "wb") as log:
        try:
            status = subprocess.run(command, stdout=log,
                                    stderr=subprocess.STDOUT,
                                    timeout=timeout, check=False).returncode
        except subprocess.TimeoutExpired:
            status = 124
    wall = time.monotonic() - start
    cpu = cpu_seconds() - cpu_before
    print(round(wall * 1e6), round(cpu * 1e6))
    return status


if __name__ == "__main__":
    sys.exit(main())
