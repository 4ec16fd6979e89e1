#!/usr/bin/env python3
"""The command's own figures, each goal as a ratio or a peak measured in this
one run, next to its target:

- peak memory (the child's maximum resident set) of kova list, list --json,
  cat of the last entry and check on an archive of 1,100,000 tiny entries,
  from the file and from standard input (a pipe);
- kova extract next to tar -x of a tar of the same files, CPU time (user and
  system of the child) and wall time, for 20,000 sound entries of 4 KiB and
  for a large archive of bitmaps and waves, on tmpfs and on the file system
  of WORKDIR;
- kova list of 1,000,000 entries next to list_floor, the least a listing can
  do, once their outputs are shown to be the same.

    cli_figures.py KOVA WORKDIR REPS [LIST_FLOOR]

KOVA_BENCH_LARGE_MB sets the large archive's size (default 1024); WORKDIR
needs about (2 REPS + 3) times that free, /dev/shm (2 REPS + 2) times, since
every extraction is kept until the end. Timings
are medians of REPS repetitions (SHORT_RUN_REPS_FACTOR times as many for
the 20,000 small files and the listing, whose runs are short and swing
most); it fails when
a program fails, never because a goal is missed.
"""
import array
import filecmp
import math
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

TINY_COUNT = 1_100_000
LIST_COUNT = 1_000_000
SOUND_COUNT = 20_000
PEAK_GOAL_MB = 64


STARTED = time.monotonic()


def say(text):
    print("\n== %s (at %.0f s)" % (text, time.monotonic() - STARTED), file=sys.stderr, flush=True)


class Usage:
    """What one child cost: CPU seconds (user + system), wall seconds, peak
    resident set in bytes."""

    def __init__(self, cpu, wall, peak):
        self.cpu, self.wall, self.peak = cpu, wall, peak


# Measures one child's peak from a small process of its own. The kernel
# keeps, as a process's peak, the largest resident set of any image it ran,
# including the one it replaced at exec: a child started straight from this
# script would report this script's own size. This helper forks the command
# from a fresh interpreter, so its floor is that interpreter's few megabytes
# (reported as a row of its own), and writes the child's rusage to argv[1].
PEAK_HELPER = """
import os, sys
pid = os.fork()
if pid == 0:
    try:
        os.execv(sys.argv[2], sys.argv[2:])
    finally:
        os._exit(127)
_, status, usage = os.wait4(pid, 0)
with open(sys.argv[1], "w") as f:
    f.write("%d %r %d" % (os.waitstatus_to_exitcode(status), usage.ru_utime + usage.ru_stime, usage.ru_maxrss))
"""


def run(command, stdin_path=None, stdout=subprocess.DEVNULL, env=None, peak=False):
    """Runs `command` and returns its own usage; `stdin_path` is fed to it
    through a pipe (a cat of its own), so that it reads a stream. With
    `peak`, through the helper above, for a true peak."""
    feeder = None
    stdin = subprocess.DEVNULL
    if stdin_path is not None:
        feeder = subprocess.Popen(["cat", stdin_path], stdout=subprocess.PIPE)
        stdin = feeder.stdout
    report = None
    if peak:
        fd, report = tempfile.mkstemp(prefix="peak.", dir=(env or os.environ).get("TMPDIR"))
        os.close(fd)
        command = [sys.executable, "-S", "-c", PEAK_HELPER, report] + command
    start = time.perf_counter()
    child = subprocess.Popen(command, stdin=stdin, stdout=stdout, env=env)
    if feeder is not None:
        feeder.stdout.close()
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if feeder is not None:
        feeder.wait()  # it may end on a broken pipe: kova reads no further than the archive reaches
    cpu, maxrss = usage.ru_utime + usage.ru_stime, usage.ru_maxrss
    if report is not None:
        with open(report) as f:
            code, cpu, maxrss = f.read().split()
        os.remove(report)
        child.returncode = child.returncode or int(code)
        cpu, maxrss = float(cpu), int(maxrss)
    if child.returncode != 0:
        raise SystemExit("cli_figures: %s exited with %d" % (" ".join(command), child.returncode))
    return Usage(cpu, wall, maxrss * 1024)


def le32_array(values):
    table = array.array("I", values)
    if table.itemsize != 4:
        table = array.array("L", values)
    if sys.byteorder != "little":
        table.byteswap()
    return table.tobytes()


def write_archive(path, contents):
    """An archive laid out as every writer lays it out: header, index at
    byte 24, then each entry's stored bytes in index order."""
    count = len(contents)
    index_end = 24 + 8 * count
    records = []
    offset = index_end
    for content in contents:
        records.append(len(content))
        records.append(offset)
        offset += len(content)
    data_size = offset - index_end
    with open(path, "wb") as f:
        f.write(b"KOVA" + struct.pack("<IIIII", index_end + data_size, 24, data_size, count, 0))
        f.write(le32_array(records))
        f.write(b"".join(contents))


def tiny_contents(count):
    # Four stored bytes each, no first byte that reads as a coding method.
    return [b"abc\n"] * count


def listing_contents(count):
    """Stored entries of every kind the names tell apart, and near misses,
    in varied sizes."""
    riff = b"RIFF" + struct.pack("<I", 36) + b"WAVEfmt " + struct.pack("<IHHIIHH", 16, 1, 1, 22050, 44100, 2, 16)
    patterns = [
        b"BM" + bytes(range(40)),
        riff,
        b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) + b"MTrk" + bytes(8),
        b"MThd" + bytes(20),  # no track: not a song
        b"RIFF" + bytes(4) + b"AVI LIST" + bytes(8),  # not a wave
        b"kova listing text, line after line\n" * 2,
        bytes(range(32, 96)),
    ]
    contents = []
    for n in range(count):
        pattern = patterns[n % len(patterns)]
        contents.append(pattern[:max(2, len(pattern) - (n * 7919) % 23)] if n % len(patterns) >= 5 else pattern)
    return contents


def wave_file(samples, rate=22050):
    data = samples.tobytes() if sys.byteorder == "little" else _swapped(samples)
    head = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " + \
        struct.pack("<IHHIIHH", 16, 1, 1, rate, rate * 2, 2, 16)
    return head + b"data" + struct.pack("<I", len(data)) + data


def _swapped(samples):
    copy = array.array("h", samples)
    copy.byteswap()
    return copy.tobytes()


def make_sounds(folder):
    """20,000 mono 16-bit waves of 4096 bytes, named as kova names entries:
    a tone whose pitch and loudness vary, each starting at its own phase."""
    os.makedirs(folder)
    frames = (4096 - 44) // 2
    tables = {}
    for n in range(SOUND_COUNT):
        key = (n % 37, n % 5)
        if key not in tables:
            step = 0.01 + key[0] * 0.003
            scale = 8000 * (1 + key[1]) / 5
            tables[key] = array.array("h", (int(scale * math.sin(k * step)) for k in range(frames + 1200)))
        start = (n // 185) * 11
        with open(os.path.join(folder, "sound_%03d.WAV" % n), "wb") as f:
            f.write(wave_file(tables[key][start:start + frames]))


def bitmap_pool(count):
    """Pixels of `count` 640x480 8-bit pictures: banded gradients, flat
    shapes with edges, and a dithered textured patch, as drawings and
    scanned art are."""
    width, height = 640, 480
    pool = []
    seed = 12345
    for p in range(count):
        pixels = bytearray(width * height)
        for y in range(height):
            band = (y * (3 + p) // 40) & 0xFF
            row = bytearray([band]) * width
            for x in range(0, width, 80):
                shade = (band + x // 80 * (17 + p)) & 0xFF
                row[x:x + 40] = bytes([shade]) * 40
            cx, cy, r = 200 + 30 * p, 240, 120
            dy = y - cy
            if abs(dy) < r:
                half = int(math.sqrt(r * r - dy * dy))
                row[max(0, cx - half):cx + half] = bytes([(200 + p * 7) & 0xFF]) * (min(width, cx + half) - max(0, cx - half))
            if 300 <= y < 420:
                texture = bytearray(200)
                for k in range(200):
                    seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
                    texture[k] = (band + (seed >> 16) % 24) & 0xFF
                row[420:620] = texture
            pixels[y * width:(y + 1) * width] = row
        pool.append(bytes(pixels))
    return pool


def bitmap_file(pixels, shift, tint):
    width, height = 640, 480
    palette = b"".join(bytes([(k + tint) & 0xFF, (k * 3 // 4 + tint) & 0xFF, (255 - k) & 0xFF, 0])
                       for k in range(256))
    head_size = 14 + 40 + len(palette)
    head = b"BM" + struct.pack("<IHHI", head_size + len(pixels), 0, 0, head_size) + \
        struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    return head + palette + pixels[shift:] + pixels[:shift]


def wave_pool(length):
    """A long take of sound: two voices, a slow tremolo and a little hiss."""
    seed = 777
    samples = array.array("h", bytes(2 * length))
    for k in range(length):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        value = 7000 * math.sin(k * 0.031) * (0.6 + 0.4 * math.sin(k * 0.00013)) + \
            3000 * math.sin(k * 0.0473 + 2 * math.sin(k * 0.0011)) + ((seed >> 16) % 400 - 200)
        samples[k] = int(value)
    return samples


def make_large(folder, megabytes):
    """Bitmaps of 640x480 in 256 colours and 16-bit waves of 0.25 to 2 MiB,
    taking turns, until they hold `megabytes` MiB; named as kova names
    entries. Cheap: each file is a shifted, retinted cut of a small pool."""
    os.makedirs(folder)
    bitmaps = bitmap_pool(6)
    take = wave_pool(1 << 20)
    budget = megabytes << 20
    total = 0
    n = 0
    while total < budget:
        if n % 2 == 0:
            content = bitmap_file(bitmaps[n // 2 % len(bitmaps)], (n * 2654435761) % (640 * 480), n % 97)
            name = "large_%03d.BMP" % n
        else:
            frames = min((256 << 10) + (n * 40503) % (1792 << 10), budget - total) // 2
            start = (n * 7001) % len(take)
            samples = take[start:start + frames]
            while len(samples) < frames:
                samples += take[:frames - len(samples)]
            content = wave_file(samples)
            name = "large_%03d.WAV" % n
        with open(os.path.join(folder, name), "wb") as f:
            f.write(content)
        total += len(content)
        n += 1
    return n, total


def file_system_of(path):
    """The type of the file system `path` lives on, from the mount table."""
    path = os.path.realpath(path)
    best, kind = "", "?"
    with open("/proc/mounts") as f:
        for line in f:
            fields = line.split()
            mount = fields[1].replace("\\040", " ")
            if (path == mount or path.startswith(mount.rstrip("/") + "/")) and len(mount) >= len(best):
                best, kind = mount, fields[2]
    return kind


# A run over 20,000 small files takes under half a second, a listing of a
# million entries a tenth of one, and one run in five can take twice as long
# while the machine reclaims memory: three times the repetitions cost
# seconds and steady the median.
SHORT_RUN_REPS_FACTOR = 3


def alternate(reps, commands):
    """Each of `commands` (name -> function of the repetition, returning a
    Usage) once per repetition, the first of them rotating; the
    repetitions' usages by name."""
    names = list(commands)
    found = {name: [] for name in names}
    for rep in range(reps):
        turn = names[rep % len(names):] + names[:rep % len(names)]
        for name in turn:
            found[name].append(commands[name](rep))
    return found


def ratio_rows(rows, label, kova, other, target, what=("cpu", "wall")):
    # Each repetition on standard error, for the runs a file system swings.
    for field in what:
        print("%s, %s seconds per repetition: kova %s; other %s" % (
            label, field, " ".join("%.3f" % getattr(u, field) for u in kova),
            " ".join("%.3f" % getattr(u, field) for u in other)), file=sys.stderr)
    for field in what:
        mine = statistics.median(getattr(u, field) for u in kova)
        theirs = statistics.median(getattr(u, field) for u in other)
        paired = statistics.median(getattr(k, field) / max(getattr(t, field), 1e-9) for k, t in zip(kova, other))
        ratio = mine / max(theirs, 1e-9)
        rows.append(("%s, %s time" % (label, "CPU" if field == "cpu" else "wall"),
                     "%.2fx (%.3f s vs %.3f s; paired %.2fx)" % (ratio, mine, theirs, paired),
                     "<= %gx" % target, "met" if ratio <= target else "MISSED"))


def same_tree(left, right):
    names = sorted(os.listdir(right))
    if sorted(os.listdir(left)) != names:
        return False
    match, mismatch, errors = filecmp.cmpfiles(left, right, names, shallow=False)
    return not mismatch and not errors


def main():
    if len(sys.argv) not in (4, 5):
        raise SystemExit("usage: cli_figures.py KOVA WORKDIR REPS [LIST_FLOOR]")
    kova = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="cli-figures.", dir=sys.argv[2])
    reps = int(sys.argv[3])
    floor = os.path.abspath(sys.argv[4]) if len(sys.argv) == 5 else None
    large_mb = int(os.environ.get("KOVA_BENCH_LARGE_MB", "1024"))
    env = dict(os.environ, TMPDIR=work)  # standard input is spooled here
    shm = tempfile.mkdtemp(prefix="kova-cli-figures.", dir="/dev/shm") if os.path.isdir("/dev/shm") else None
    rows = []
    try:
        measure_memory(kova, work, env, rows)
        create_floor = os.path.join(os.path.dirname(floor), "create_floor") if floor is not None else None
        if create_floor is not None and not os.access(create_floor, os.X_OK):
            create_floor = None
        measure_extraction(kova, work, shm, reps, large_mb, env, rows, create_floor)
        measure_listing(kova, floor, work, reps, env, rows)
    finally:
        shutil.rmtree(work, ignore_errors=True)
        if shm is not None:
            shutil.rmtree(shm, ignore_errors=True)

    width = max(len(r[0]) for r in rows)
    print("%-*s  %-28s  %-8s" % (width, "goal", "measured", "target"))
    for goal, value, target, met in rows:
        print("%-*s  %-28s  %-8s  %s" % (width, goal, value, target, met))


def measure_memory(kova, work, env, rows):
    say("peak memory of kova on %s tiny entries" % format(TINY_COUNT, ","))
    archive = os.path.join(work, "tiny.DAT")
    write_archive(archive, tiny_contents(TINY_COUNT))
    last = str(TINY_COUNT - 1)
    # The last entry's content, once, before it is measured.
    for source in (archive, "-"):
        with open(archive, "rb") as stdin:
            shown = subprocess.run([kova, "cat", source, last], stdin=stdin, stdout=subprocess.PIPE, env=env,
                                   check=True).stdout
        if shown != b"abc\n":
            raise SystemExit("cli_figures: kova cat %s %s printed %r" % (source, last, shown[:16]))
    commands = (("list", lambda source: ["list", source]), ("list --json", lambda source: ["list", "--json", source]),
                ("cat (last entry)", lambda source: ["cat", source, last]), ("check", lambda source: ["check", source]))
    for label, words in commands:
        for source, where in ((archive, "the file"), ("-", "standard input")):
            command = [kova] + words(source)
            usage = run(command, stdin_path=archive if source == "-" else None, env=env, peak=True)
            megabytes = usage.peak / 1e6
            rows.append(("peak RSS of kova %s, %s entries, from %s" % (label, format(TINY_COUNT, ","), where),
                         "%.1f MB" % megabytes, "<= %d MB" % PEAK_GOAL_MB,
                         "met" if megabytes <= PEAK_GOAL_MB else "MISSED"))
    floor = run(["/bin/true"], env=env, peak=True).peak / 1e6
    rows.append(("  the same measure of /bin/true (its floor)", "%.1f MB" % floor, "(measured)", ""))
    os.remove(archive)


def measure_extraction(kova, work, shm, reps, large_mb, env, rows, create_floor=None):
    say("the sound files and the large files, packed by kova and by tar")
    cases = []
    sounds = os.path.join(work, "sound")
    make_sounds(sounds)
    cases.append(("sound", sounds, "20,000 sound entries of 4 KiB"))
    large = os.path.join(work, "large")
    count, total = make_large(large, large_mb)
    cases.append(("large", large, "%d MiB of bitmaps and waves (%s entries)" % (total >> 20, format(count, ","))))
    for place, times in ((work, 2 * reps + 1), (shm, 2 * reps + 2)):
        if place is None:
            continue
        stats = os.statvfs(place)
        # kova, tar and the two floors each keep the small files' outputs.
        needed = times * total + 4 * SHORT_RUN_REPS_FACTOR * times * (SOUND_COUNT << 12)
        if stats.f_bavail * stats.f_frsize < needed:
            raise SystemExit("cli_figures: %s needs %d MiB free for the extractions (KOVA_BENCH_LARGE_MB makes it less)"
                             % (place, needed >> 20))
    for name, folder, label in cases:
        # pack streams its inputs: its peak is bounded by the largest entry
        # (read, coded, and the smaller form kept) and the index, not by the
        # whole input.
        usage = run([kova, "pack", "-q", os.path.join(work, name + ".DAT"), folder], env=env, peak=True)
        files = [os.path.join(folder, entry) for entry in os.listdir(folder)]
        bound = 3 * max(os.path.getsize(path) for path in files) + 24 + 8 * len(files) + 16e6
        rows.append(("peak RSS of kova pack, %s, vs 3 x largest entry + index + 16 MB" % label,
                     "%.2f (%.1f of %.1f MB)" % (usage.peak / bound, usage.peak / 1e6, bound / 1e6), "<= 1",
                     "met" if usage.peak <= bound else "MISSED"))
        subprocess.run(["tar", "-cf", os.path.join(work, name + ".tar"), "-C", folder, "."], check=True)

    places = [(work, file_system_of(work))]
    if shm is not None:
        places.insert(0, (shm, file_system_of(shm)))
    for place, kind in places:
        for name, folder, label in cases:
            inputs = {}
            for suffix in (".DAT", ".tar"):
                inputs[suffix] = os.path.join(place, name + suffix)
                if place != work:
                    shutil.copyfile(os.path.join(work, name + suffix), inputs[suffix])
            say("kova extract and tar -x, %s, on %s (%s)" % (label, kind, place))

            # On tmpfs every output is removed as soon as it is measured:
            # tmpfs reuses no freed inodes the way ext4 does, and outputs
            # kept there are gigabytes of memory the kernel must reclaim
            # from under the later runs, which swung them fivefold.
            in_memory = place != work

            def done(out, usage):
                if in_memory:
                    shutil.rmtree(out, ignore_errors=True)
                return usage

            def extract(rep, tool):
                out = os.path.join(place, "out-%s-%s-%d" % (name, tool, rep))
                os.makedirs(out)
                os.sync()  # the last run's writeback is not charged to this one
                if tool != "kova":
                    return done(out, run(["tar", "-xf", inputs[".tar"], "-C", out]))
                usage = run([kova, "extract", "-q", inputs[".DAT"], "-o", out], env=env)
                if rep == 0 and not same_tree(out, folder):
                    raise SystemExit("cli_figures: kova extract of %s.DAT differs from the packed files" % name)
                return done(out, usage)

            commands = {"kova": lambda rep: extract(rep, "kova"), "tar": lambda rep: extract(rep, "tar")}
            if name == "sound" and create_floor is not None:
                def floor(rep):
                    out = os.path.join(place, "out-sound-floor-%d" % rep)
                    os.sync()
                    return done(out, run([create_floor, out, str(SOUND_COUNT), "4096"]))
                commands["floor"] = floor

                def in_place(rep):
                    out = os.path.join(place, "out-sound-in-place-%d" % rep)
                    os.sync()
                    return done(out, run([create_floor, out, str(SOUND_COUNT), "4096", "--in-place"]))
                commands["in place"] = in_place
            found = alternate(reps * SHORT_RUN_REPS_FACTOR if name == "sound" else reps, commands)
            ratio_rows(rows, "kova extract vs tar -x, %s, %s" % (label, kind), found["kova"], found["tar"], 1.0)
            if "floor" in found:
                # Not a goal: how much of the time is the file system's,
                # for files that appear only once complete.
                for field in ("cpu", "wall"):
                    floor_time = statistics.median(getattr(u, field) for u in found["floor"])
                    for tool in ("tar", "kova"):
                        mine = statistics.median(getattr(u, field) for u in found[tool])
                        rows.append(("  %s vs create_floor (nameless files, then named; no archive), %s time"
                                     % ("tar -x" if tool == "tar" else "kova extract", "CPU" if field == "cpu" else "wall"),
                                     "%.2fx (%.3f s vs %.3f s)" % (mine / max(floor_time, 1e-9), mine, floor_time),
                                     "(measured)", ""))
                    # What files that are visible before they are complete
                    # would save: tar -x makes them that way.
                    placed = statistics.median(getattr(u, field) for u in found["in place"])
                    rows.append(("  create_floor --in-place (files made under their names, as tar -x makes them) vs "
                                 "create_floor, %s time" % ("CPU" if field == "cpu" else "wall"),
                                 "%.2fx (%.3f s vs %.3f s)" % (placed / max(floor_time, 1e-9), placed, floor_time),
                                 "(measured)", ""))
            if place != work:
                for path in inputs.values():
                    os.remove(path)
    # Only now: inodes freed between the runs would be charged to the next.
    for place, _ in places:
        for entry in os.listdir(place):
            if entry.startswith("out-"):
                shutil.rmtree(os.path.join(place, entry), ignore_errors=True)
    for name, folder, _ in cases:
        shutil.rmtree(folder, ignore_errors=True)
        for suffix in (".DAT", ".tar"):
            os.remove(os.path.join(work, name + suffix))


def measure_listing(kova, floor, work, reps, env, rows):
    label = "kova list of %s entries vs list_floor, CPU time" % format(LIST_COUNT, ",")
    if floor is None:
        rows.append((label, "(no list_floor given)", "<= 2x", ""))
        return
    say("kova list and list_floor of %s entries" % format(LIST_COUNT, ","))
    archive = os.path.join(work, "listing.DAT")
    write_archive(archive, listing_contents(LIST_COUNT))
    outputs = {}
    for tool, command in (("kova", [kova, "list", archive]), ("floor", [floor, archive])):
        outputs[tool] = os.path.join(work, "listing-%s.txt" % tool)
        with open(outputs[tool], "wb") as f:
            run(command, stdout=f, env=env)
    same = filecmp.cmp(outputs["kova"], outputs["floor"], shallow=False)
    rows.append(("list_floor prints what kova list prints, %s entries" % format(LIST_COUNT, ","),
                 "same" if same else "DIFFERENT", "same", "met" if same else "MISSED"))
    if not same:
        with open(outputs["kova"], "rb") as a, open(outputs["floor"], "rb") as b:
            for number, (x, y) in enumerate(zip(a, b)):
                if x != y:
                    print("cli_figures: line %d: kova %r, list_floor %r" % (number + 1, x, y), file=sys.stderr)
                    break
    found = alternate(reps * SHORT_RUN_REPS_FACTOR, {"kova": lambda rep: run([kova, "list", archive], env=env),
                             "floor": lambda rep: run([floor, archive])})
    ratio_rows(rows, "kova list of %s entries vs list_floor" % format(LIST_COUNT, ","), found["kova"], found["floor"],
               2.0, what=("cpu",))
    os.remove(archive)


if __name__ == "__main__":
    main()
