#!/usr/bin/env python3
"""Figures for the settings file, not tests (docs/settings-file.md has them).

    bench/settings_file/run.py BUILD_DIR [SAVES] [OTHER_VELMORA]

1. Size: --show and --set on the largest file the store accepts, filled in the
   ways that cost the most (many keys, many groups, lines that are only "["),
   wall and CPU time and peak memory.
2. Other writers, which take no lock: SAVES saves with --set (400 by default)
   while another writer adds a line every 20 ms. Counts the other writer's
   lines missing at the end, and the saves whose value did not stand although
   they said "Saved" (the other writer put back an older file). With
   OTHER_VELMORA (another build), the same loops run against it too. A writer
   that reads the file builds on what it read, so one loss can take many lines;
   each look that finds lines gone counts as one event."""
import os, resource, subprocess, sys, tempfile, threading, time

build = sys.argv[1]
saves = int(sys.argv[2]) if len(sys.argv) > 2 else 400
programs = [os.path.join(build, "bin", "velmora")] + sys.argv[3:4]
LARGEST = 128 << 10  # as in store/settings_file.h


def run(program, folder, args):
    env = dict(os.environ, XDG_CONFIG_HOME=folder)
    return subprocess.run([program] + args, env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE).returncode


def size():
    fills = {
        "keys": lambda i: b"k%x=1\n" % i,
        "groups": lambda i: b"[g%x]\n" % i,
        "a group for each key": lambda i: b"[g%x]\nk=1\n" % i,
        'lines of only "["': lambda i: b"[\n",
        'lines of only "[%"': lambda i: b"[%\n",
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
                start = time.monotonic()
                proc = subprocess.Popen([programs[0]] + command, stdout=subprocess.DEVNULL,
                                        env=dict(os.environ, XDG_CONFIG_HOME=folder))
                _, status, used = os.wait4(proc.pid, 0)
                wall = time.monotonic() - start
                print(f"   {name} ({i} lines), {' '.join(command)}: exit {status >> 8}, "
                      f"{wall:.2f} s wall, {used.ru_utime + used.ru_stime:.2f} s CPU, "
                      f"{used.ru_maxrss >> 10} MB peak")


def write(writer, file, line):
    """Whether the writer says it wrote the line."""
    if writer == ">>":
        with open(file, "a") as f:
            f.write(line + "\n")
        return True
    elif writer == "sed -i":
        return subprocess.run(["sed", "-i", f"$a {line}", file]).returncode == 0
    elif writer == "vim -es (in place)":
        return subprocess.run(["vim", "-es", "-n", "-u", "NONE", "-i", "NONE", "-c",
                               "set backupcopy=yes nobackup nowritebackup", "-c",
                               f"$put ='{line}'", "-c", "wq", file]).returncode == 0
    else:
        text = open(file).read()
        if writer == "rename to backup":
            os.replace(file, file + "~")
        with open(file, "w") as f:  # truncate and write, or a new file
            f.write(text + line + "\n")
        return True


def writers(program):
    print(f"2. {program}: {saves} saves while another writer adds a line every 20 ms:")
    for writer in (">>", "sed -i", "truncate and write", "vim -es (in place)",
                   "rename to backup"):
        with tempfile.TemporaryDirectory() as folder:
            file = os.path.join(folder, "Quenmark.conf")
            open(file, "w").write("[Other]\n")
            stop, count, present, lost, events = threading.Event(), [0], set(), [0], [0]

            def look():  # the writer's lines gone since its last look, as one event
                text = open(file).read().split("\n")
                gone = {line for line in present if line not in text}
                lost[0] += len(gone)
                events[0] += bool(gone)
                present.difference_update(gone)

            def other():
                while not stop.is_set():
                    look()
                    count[0] += 1
                    if write(writer, file, f"k{count[0]}=1"):
                        present.add(f"k{count[0]}=1")
                    time.sleep(0.02)

            thread = threading.Thread(target=other)
            thread.start()
            failed, undone, last = 0, 0, None
            for n in range(saves):
                if run(program, folder, ["--set", f"Home={n % 2}"]) == 0:
                    last = n % 2
                else:
                    failed += 1
            stop.set()
            thread.join()
            look()
            print(f"   {writer}: {count[0]} lines written, {lost[0]} lost in {events[0]} "
                  f"events; {failed} saves failed; the last save's Home "
                  f"{'stands' if f'Home={last}' in open(file).read() else 'was undone'}")


if saves == 0 or len(sys.argv) < 4:
    size()
for program in programs if saves else []:
    writers(program)
