#!/usr/bin/python3
# Makes the benchmark's real-content corpus from two Debian packages of game
# data: pictures turned into what games of the format's era stored (8-bit
# palette bitmaps at their own size, a few 24-bit ones) and the packages'
# WAVE sounds as they are. The selection is fixed: every k-th of the sorted
# paths that fit, so the same packages always give the same files.
#
#   bench/make_real_corpus.py OUT_DIR
#
# OUT_DIR receives real_000.BMP, real_001.BMP, ... (named as kova pack numbers
# a directory's files, and nothing else, so that it packs as it is); standard
# output gets one line per file: its name, its kind and where it came from.
import os
import subprocess
import sys

from PIL import Image

PALETTE_PICTURES = 32
TRUE_COLOUR_PICTURES = 4
SMALLEST_AREA = 48 * 48
LARGEST = (640, 480)
# What shows through where a sprite is transparent: the key colour sprites
# of that era were drawn on.
KEY_COLOUR = (255, 0, 255)


def package_files(package, suffix):
    listed = subprocess.run(["dpkg", "-L", package], check=True, capture_output=True, text=True).stdout
    return [path for path in listed.split("\n") if path.endswith(suffix) and os.path.isfile(path)]


def every_kth(paths, count):
    if len(paths) <= count:
        return list(paths)
    return [paths[k * len(paths) // count] for k in range(count)]


def flattened(picture):
    if picture.mode in ("RGBA", "LA", "PA") or "transparency" in picture.info:
        picture = picture.convert("RGBA")
        ground = Image.new("RGBA", picture.size, KEY_COLOUR + (255,))
        ground.alpha_composite(picture)
        return ground.convert("RGB")
    return picture.convert("RGB")


def palette_bitmap(picture):
    if picture.mode == "P" and "transparency" not in picture.info:
        return picture
    return flattened(picture).quantize(colors=256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    # One picture per folder, its largest (the first of its path order on a
    # tie), so that a folder of many animation frames counts once.
    largest = {}
    for path in sorted(package_files("pingus-data", ".png") + package_files("frozen-bubble-data", ".png")):
        with Image.open(path) as picture:
            width, height = picture.size
        if width * height < SMALLEST_AREA or width > LARGEST[0] or height > LARGEST[1]:
            continue
        folder = os.path.dirname(path)
        if folder not in largest or width * height > largest[folder][0]:
            largest[folder] = (width * height, path)
    candidates = [largest[folder][1] for folder in sorted(largest)]
    chosen = every_kth(candidates, PALETTE_PICTURES)
    true_colour = every_kth([path for path in candidates if path not in chosen], TRUE_COLOUR_PICTURES)
    sounds = sorted(package_files("pingus-data", ".wav"))

    lines = []
    index = 0
    for path in chosen + true_colour:
        with Image.open(path) as picture:
            picture.load()
            made = palette_bitmap(picture) if path in chosen else flattened(picture)
        name = "real_%03d.BMP" % index
        made.save(os.path.join(out, name), format="BMP")
        lines.append("%s %s %s\n" % (name, "8-bit" if path in chosen else "24-bit", path))
        index += 1
    for path in sounds:
        name = "real_%03d.WAV" % index
        with open(path, "rb") as source, open(os.path.join(out, name), "wb") as target:
            target.write(source.read())
        lines.append("%s wave %s\n" % (name, path))
        index += 1
    sys.stdout.writelines(lines)


if __name__ == "__main__":
    main()
