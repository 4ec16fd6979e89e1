#!/usr/bin/env python3
"""The scale goals of kova check, list --hash and the manifest, each a ratio
measured in this one run, next to its target:

- archives of many records sharing stored ranges (four records to a range,
  each range a short coded stream): CPU time of check, list, list --hash and
  list --hash --json (the manifest) on 200,000 records against 100,000;
  check against list --hash of the same archive;
- 16 records sharing one stream that declares 1.7 GB (long pair runs)
  against one such record: CPU time and peak memory of check and of
  list --hash;
- peak memory of kova check on 1,100,000 tiny entries, from the file and
  from standard input.

    check_figures.py KOVA WORKDIR REPS

KOVA_BENCH_HUGE_MB sets the huge stream's declared size (default 1700).
CPU time (user and system of the child) and peak resident set are medians
of REPS repetitions, measured as bench/cli_figures.py measures them; it
fails when a program fails, never because a goal is missed.
"""
import os
import shutil
import statistics
import struct
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cli_figures  # noqa: E402  (its helpers: run, write_archive, alternate, tiny_contents)

SHARED_COUNTS = (100_000, 200_000)
PER_RANGE = 4
HUGE_SHARERS = 16
PAIR_RUN_OUTPUT = 2 * 0xFFFF


def shared_stream(n):
    """A coded entry of 1000 bytes: a literal of 20 that differs per range,
    a long byte run, and the writer's closing command."""
    literal = bytes((n * 7 + k * 13) & 0x7F | 0x20 for k in range(20))
    head = bytes([1]) + struct.pack("<I", 1000)
    return head + bytes([20]) + literal + bytes([0x7F]) + struct.pack("<H", 980) + bytes([n & 0xFF, 0])


def write_records(path, streams, records):
    """An archive of `streams` laid out one after another, and `records`
    index records naming them: record k names stream k // (records / streams)."""
    count = len(records)
    index_end = 24 + 8 * count
    offsets = []
    at = index_end
    for stream in streams:
        offsets.append(at)
        at += len(stream)
    table = []
    for s in records:
        table += [len(streams[s]), offsets[s]]
    data_size = at - index_end
    with open(path, "wb") as f:
        f.write(b"KOVA" + struct.pack("<IIIII", index_end + data_size, 24, data_size, count, 0))
        f.write(cli_figures.le32_array(table))
        f.write(b"".join(streams))


def huge_stream(megabytes):
    runs = megabytes * 1_000_000 // PAIR_RUN_OUTPUT
    body = (bytes([0xBF]) + struct.pack("<H", 0xFFFF) + b"ab") * runs
    return bytes([1]) + struct.pack("<I", runs * PAIR_RUN_OUTPUT) + body + bytes([0])


def median(usages, field):
    return statistics.median(getattr(u, field) for u in usages)


def main():
    if len(sys.argv) != 4:
        raise SystemExit("usage: check_figures.py KOVA WORKDIR REPS")
    kova = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="check-figures.", dir=sys.argv[2])
    reps = int(sys.argv[3])
    huge_mb = int(os.environ.get("KOVA_BENCH_HUGE_MB", "1700"))
    env = dict(os.environ, TMPDIR=work)
    rows = []
    try:
        measure_shared(kova, work, reps, env, rows)
        measure_huge(kova, work, reps, huge_mb, env, rows)
        measure_tiny(kova, work, env, rows)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    width = max(len(r[0]) for r in rows)
    print("%-*s  %-34s  %-8s" % (width, "goal", "measured", "target"))
    for goal, value, target, met in rows:
        print("%-*s  %-34s  %-8s  %s" % (width, goal, value, target, met))


COMMANDS = (("check", ["check"]), ("list", ["list"]), ("list --hash", ["list", "--hash"]),
            ("manifest (list --hash --json)", ["list", "--hash", "--json"]))


def measure_shared(kova, work, reps, env, rows):
    found = {}
    for count in SHARED_COUNTS:
        cli_figures.say("kova on %s records, %d to a shared range" % (format(count, ","), PER_RANGE))
        path = os.path.join(work, "shared-%d.DAT" % count)
        streams = [shared_stream(n) for n in range(count // PER_RANGE)]
        write_records(path, streams, [k // PER_RANGE for k in range(count)])
        commands = {label: (lambda rep, words=words, path=path: cli_figures.run([kova] + words + [path], env=env))
                    for label, words in COMMANDS}
        found[count] = cli_figures.alternate(reps, commands)
        os.remove(path)
    small, large = SHARED_COUNTS
    for label, _ in COMMANDS:
        ratio = median(found[large][label], "cpu") / max(median(found[small][label], "cpu"), 1e-9)
        rows.append(("%s, %s records vs %s sharing ranges, CPU time" % (label, format(large, ","), format(small, ",")),
                     "%.2fx (%.3f s vs %.3f s)" % (ratio, median(found[large][label], "cpu"),
                                                   median(found[small][label], "cpu")),
                     "<= 2.2x", "met" if ratio <= 2.2 else "MISSED"))
    for count in SHARED_COUNTS:
        ratio = median(found[count]["check"], "cpu") / max(median(found[count]["list --hash"], "cpu"), 1e-9)
        rows.append(("check vs list --hash, %s records sharing ranges, CPU time" % format(count, ","),
                     "%.2fx" % ratio, "<= 2x", "met" if ratio <= 2 else "MISSED"))


def measure_huge(kova, work, reps, megabytes, env, rows):
    cli_figures.say("kova on %d records sharing a stream that declares %d MB, and on one" % (HUGE_SHARERS, megabytes))
    stream = huge_stream(megabytes)
    paths = {}
    for sharers in (1, HUGE_SHARERS):
        paths[sharers] = os.path.join(work, "huge-%d.DAT" % sharers)
        write_records(paths[sharers], [stream], [0] * sharers)
    for label, words in (("check", ["check"]), ("list --hash", ["list", "--hash"])):
        commands = {sharers: (lambda rep, path=path: cli_figures.run([kova] + words + [path], env=env, peak=True))
                    for sharers, path in paths.items()}
        found = cli_figures.alternate(reps, commands)
        for field, what in (("cpu", "CPU time"), ("peak", "peak RSS")):
            one, many = median(found[1], field), median(found[HUGE_SHARERS], field)
            ratio = many / max(one, 1e-9)
            shown = ("%.3f s vs %.3f s" % (many, one)) if field == "cpu" else ("%.0f MB vs %.0f MB" % (many / 1e6, one / 1e6))
            rows.append(("%s, %d records sharing a %d MB stream vs 1, %s" % (label, HUGE_SHARERS, megabytes, what),
                         "%.2fx (%s)" % (ratio, shown), "<= 1.2x", "met" if ratio <= 1.2 else "MISSED"))
        if label == "check":
            peak = median(found[HUGE_SHARERS], "peak") / 1e6
            rows.append(("  check's peak RSS there, against the declared %d MB" % megabytes, "%.1f MB" % peak,
                         "(measured)", ""))
    for path in paths.values():
        os.remove(path)


def measure_tiny(kova, work, env, rows):
    count = cli_figures.TINY_COUNT
    cli_figures.say("peak memory of kova check on %s tiny entries" % format(count, ","))
    archive = os.path.join(work, "tiny.DAT")
    cli_figures.write_archive(archive, cli_figures.tiny_contents(count))
    for source, where in ((archive, "the file"), ("-", "standard input")):
        usage = cli_figures.run([kova, "check", source], stdin_path=archive if source == "-" else None, env=env,
                                peak=True)
        megabytes = usage.peak / 1e6
        rows.append(("peak RSS of kova check, %s entries, from %s" % (format(count, ","), where), "%.1f MB" % megabytes,
                     "<= %d MB" % cli_figures.PEAK_GOAL_MB,
                     "met" if megabytes <= cli_figures.PEAK_GOAL_MB else "MISSED"))
    os.remove(archive)


if __name__ == "__main__":
    main()
