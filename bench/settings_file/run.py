#!/usr/bin/env python3
"""Figures for the settings file, not tests (docs/settings-file.md has them).

    bench/settings_file/run.py BUILD_DIR [SAVES]

1. Size: --show and --set on the largest file the store accepts, filled in the
   ways that cost the most (many keys, many groups), wall and CPU time.
2. Other writers: SAVES saves with --set (400 by default) while another writer
   adds a line every 20 ms, by appending (>>) or by replacing the file (sed -i);
   each with the atomic swap, and with the plain rename a file system that
   cannot swap gets (renameat2 failing through no_exchange.c, LD_PRELOAD).
   Counts the other writer's lines that are missing at the end."""
import os, resource, subprocess, sys, tempfile, threading, time

build = sys.argv[1]
saves = int(sys.argv[2]) if len(sys.argv) > 2 else 400
velmora = os.path.join(build, "bin", "velmora")
here = os.path.dirname(os.path.abspath(__file__))
LARGEST = 512 << 10  # as in store/settings_file.cpp


def run(folder, args, preload=None):
    env = dict(os.environ, XDG_CONFIG_HOME=folder)
    if preload:
        env["LD_PRELOAD"] = preload
    return subprocess.run([velmora] + args, env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE).returncode


def timed(folder, args):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    status = run(folder, args)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
    return status, wall, cpu


def size():
    fills = {
        "keys": lambda i: b"k%x=1\n" % i,
        "groups": lambda i: b"[g%x]\n" % i,
        "a group for each key": lambda i: b"[g%x]\nk=1\n" % i,
    }
    print(f"1. The largest file accepted ({LARGEST >> 10} KiB), filled with:")
    for name, line in fills.items():
        content, i = bytearray(b"[Velmora]\nHome=1\n[Other]\n"), 0
        while len(content) + 300 < LARGEST:  # room for our keys
            content += line(i)
            i += 1
        for command in (["--show"], ["--set", "Insert=1"]):
            with tempfile.TemporaryDirectory() as folder:
                open(os.path.join(folder, "Quenmark.conf"), "wb").write(content)
                status, wall, cpu = timed(folder, command)
                print(f"   {name} ({i} lines), {' '.join(command)}: exit {status}, "
                      f"{wall:.2f} s wall, {cpu:.2f} s CPU")


def writers():
    shim = os.path.join(tempfile.gettempdir(), "velmora-no-exchange.so")
    subprocess.run(["cc", "-shared", "-fPIC", "-o", shim, os.path.join(here, "no_exchange.c")],
                   check=True)
    print(f"2. {saves} saves while another writer adds a line every 20 ms:")
    for writer in (">>", "sed -i"):
        for swap, preload in (("swap", None), ("plain rename", shim)):
            with tempfile.TemporaryDirectory() as folder:
                file = os.path.join(folder, "Quenmark.conf")
                open(file, "w").write("[Other]\n")
                stop, count = threading.Event(), [0]

                def other():
                    while not stop.is_set():
                        count[0] += 1
                        line = f"k{count[0]}=1"
                        if writer == ">>":
                            with open(file, "a") as f:
                                f.write(line + "\n")
                        else:
                            subprocess.run(["sed", "-i", f"$a {line}", file])
                        time.sleep(0.02)

                thread = threading.Thread(target=other)
                thread.start()
                failed = sum(run(folder, ["--set", f"Home={n % 2}"], preload) != 0
                             for n in range(saves))
                stop.set()
                thread.join()
                lines = set(open(file).read().split("\n"))
                lost = sum(f"k{n}=1" not in lines for n in range(1, count[0] + 1))
                print(f"   {writer}, {swap}: {count[0]} lines written, {lost} lost; "
                      f"{failed} saves failed")


size()
writers()
