#!/usr/bin/env python3
"""Test trees for the copy benchmark (bench/copy_bench.sh).

  bench_tree.py make FOLDER [--files N] [--folders N] [--big N] [--big-mb N]
                            [--max-kb N] [--seed N]
      Writes a tree: N small files spread over N folders (sizes log-uniform
      between 100 bytes and --max-kb), plus --big files of --big-mb MB.
      Half of the content compresses (text-like), half does not (random
      bytes): each small file is one or the other, each big file alternates
      1 MB blocks of both. Fixed seed: the same arguments give the same tree,
      modification times included.

  bench_tree.py take-out FOLDER STASH [--every N]
      Moves every N-th file (sorted by path; default 10, i.e. 10 %) from
      FOLDER to the same relative path under STASH.

  bench_tree.py put-back FOLDER STASH
      Moves everything in STASH back into FOLDER.
"""

import argparse
import math
import os
import random
import sys

MB = 1 << 20
# 2021-01-01 .. 2023-01-01; even seconds (file dates keep DOS precision).
OLDEST, NEWEST = 1609459200, 1672531200

WORDS = ("the of and to in is that for it as was with be by on not he this are or his from at which but "
         "have an they you were her she there been one all we their has would when if so no will out up "
         "report budget project meeting summary draft final version invoice holiday photo music letter "
         "account contract schedule figure table chapter notes review plan data backup archive").split()


def text_block(rng, size):
    """Text-like bytes: words, spaces and line breaks (compresses about 3:1)."""
    parts, length = [], 0
    while length < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(6, 14))) + "\n"
        parts.append(line)
        length += len(line)
    return "".join(parts).encode()[:size]


def make(args):
    rng = random.Random(args.seed)
    root = os.path.abspath(args.folder)
    os.makedirs(root, exist_ok=True)
    # A few thousand folders, up to six levels deep.
    folders = [""]
    parents = [("", 0)]  # folders that may get subfolders, with their depth
    for i in range(args.folders):
        parent, depth = rng.choice(parents)
        name = os.path.join(parent, "folder %04d" % i) if parent else "folder %04d" % i
        folders.append(name)
        if depth + 1 < 6:
            parents.append((name, depth + 1))
        os.makedirs(os.path.join(root, name), exist_ok=True)
    # A pool of text to cut small files from, so that generating stays fast.
    text_pool = text_block(rng, 4 * MB)
    low, high = math.log(100), math.log(args.max_kb * 1024)
    total = 0
    stamps = []
    for i in range(args.files):
        folder = rng.choice(folders)
        size = int(math.exp(rng.uniform(low, high)))
        compressible = rng.random() < 0.5
        if compressible:
            start = rng.randrange(0, len(text_pool) - size)
            data = text_pool[start:start + size]
            name = "document %05d.txt" % i
        else:
            data = rng.randbytes(size)
            name = "picture %05d.jpg" % i
        path = os.path.join(root, folder, name)
        with open(path, "wb") as f:
            f.write(data)
        stamps.append((path, OLDEST + 2 * rng.randrange((NEWEST - OLDEST) // 2)))
        total += size
    if args.big:
        os.makedirs(os.path.join(root, "large"), exist_ok=True)
    for i in range(args.big):
        path = os.path.join(root, "large", "video %d.bin" % i)
        with open(path, "wb") as f:
            for block in range(args.big_mb):
                if block % 2 == 0:
                    start = rng.randrange(0, len(text_pool) - MB)
                    f.write(text_pool[start:start + MB])
                else:
                    f.write(rng.randbytes(MB))
        stamps.append((path, OLDEST + 2 * rng.randrange((NEWEST - OLDEST) // 2)))
        total += args.big_mb * MB
    for path, stamp in stamps:
        os.utime(path, (stamp, stamp))
    print("%d files, %d folders, %.1f MB" % (len(stamps), len(folders) - 1, total / MB))


def all_files(root):
    found = []
    for folder, _, files in os.walk(root):
        for name in files:
            found.append(os.path.relpath(os.path.join(folder, name), root))
    return sorted(found)


def take_out(args):
    root, stash = os.path.abspath(args.folder), os.path.abspath(args.stash)
    moved = 0
    for i, relative in enumerate(all_files(root)):
        if i % args.every == 0:
            target = os.path.join(stash, relative)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            os.rename(os.path.join(root, relative), target)
            moved += 1
    print("%d files taken out" % moved)


def put_back(args):
    root, stash = os.path.abspath(args.folder), os.path.abspath(args.stash)
    if not os.path.isdir(stash):
        return
    for relative in all_files(stash):
        target = os.path.join(root, relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        os.rename(os.path.join(stash, relative), target)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("make")
    p.add_argument("folder")
    p.add_argument("--files", type=int, default=20000)
    p.add_argument("--folders", type=int, default=2000)
    p.add_argument("--big", type=int, default=3)
    p.add_argument("--big-mb", type=int, default=64)
    p.add_argument("--max-kb", type=int, default=32)
    p.add_argument("--seed", type=int, default=1)
    p.set_defaults(run=make)
    p = commands.add_parser("take-out")
    p.add_argument("folder")
    p.add_argument("stash")
    p.add_argument("--every", type=int, default=10)
    p.set_defaults(run=take_out)
    p = commands.add_parser("put-back")
    p.add_argument("folder")
    p.add_argument("stash")
    p.set_defaults(run=put_back)
    args = parser.parse_args()
    args.run(args)


if __name__ == "__main__":
    sys.exit(main())
