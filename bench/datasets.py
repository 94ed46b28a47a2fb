"""The benchmark data sets: folder trees made reproducibly from fixed seeds.

Each set is described by a short recipe; `make(name, root)` builds it under
root/name unless a stamp file beside it (root/name.stamp, outside the tree so
that it is never packed) shows that the same recipe already built it.
"""

import os
import random
import shutil

KIB = 1024
MIB = 1024 * KIB

# Bytes that file contents are cut from: one pool per process, from a fixed seed.
_POOL_SIZE = 64 * MIB
_pool = None


def _content_pool():
    global _pool
    if _pool is None:
        _pool = random.Random(0x5EED).randbytes(_POOL_SIZE + MIB)
    return _pool


def _write_file(path, size, rng):
    """Writes `size` pseudo-random bytes, each MiB cut from the pool at a seeded offset."""
    pool = _content_pool()
    with open(path, "wb") as out:
        left = size
        while left > 0:
            n = min(left, MIB)
            start = rng.randrange(_POOL_SIZE)
            out.write(pool[start:start + n])
            left -= n


def _flat(count, size):
    """`count` files of `size` bytes in the top folder."""
    def files(rng):
        for i in range(count):
            yield f"f{i:05d}.bin", size
    return files


def _nested(count, size_of, fanout, per_leaf):
    """`count` files below a tree of `fanout` folders per level, `per_leaf` files per leaf."""
    def files(rng):
        for i in range(count):
            leaf, n = divmod(i, per_leaf)
            parts = []
            for width in reversed(fanout):
                leaf, k = divmod(leaf, width)
                parts.append(f"d{k:02d}")
            yield os.path.join(*reversed(parts), f"file{n:04d}.dat"), size_of(rng)
    return files


def _listed(sizes):
    """One file per entry of `sizes`, in the top folder."""
    def files(rng):
        for i, size in enumerate(sizes):
            yield f"big{i}.bin", size
    return files


def _folders(count, folders, size):
    """`count` files of `size` bytes spread evenly over `folders` folders of the top folder."""
    def files(rng):
        per = count // folders
        for i in range(count):
            d, n = divmod(i, per)
            yield os.path.join(f"d{d:03d}", f"e{n:05d}"), size
    return files


# name -> (description, seed, generator of (relative path, size))
SETS = {
    "small-10k": ("10,000 files of 256 bytes, one folder", 6101, _flat(10000, 256)),
    "nested-5k": ("5,000 files of 8 KiB in 100 folders, 3 levels deep", 6102,
                  _nested(5000, lambda rng: 8 * KIB, (5, 5, 4), 50)),
    "large-4x256M": ("4 files of 256 MiB", 6103, _listed([256 * MIB] * 4)),
    "small-20k": ("20,000 files of 0 to 8 KiB (seeded sizes) in 40 folders, 2 levels deep", 3101,
                  _nested(20000, lambda rng: rng.randrange(8 * KIB + 1), (8, 5), 500)),
    "large-1G": ("3 files of 640, 256 and 128 MiB (1 GiB in all)", 3102,
                 _listed([640 * MIB, 256 * MIB, 128 * MIB])),
    "small-20k-40x7": ("20,000 files of 0 to 8 KiB (seeded sizes) in 40 folders of 7 subfolders each", 1101,
                       _nested(20000, lambda rng: rng.randrange(8 * KIB + 1), (40, 7), 72)),
    "large-4x96M": ("4 files of 96 MiB", 1102, _listed([96 * MIB] * 4)),
    "empty-100k": ("100,000 empty files in 100 folders", 2201, _folders(100000, 100, 0)),
}

# Order of the sets in tables and charts: the two of the one-pass targets first,
# then the older five.
ORDER = ["small-20k-40x7", "large-4x96M", "empty-100k", "small-10k", "nested-5k", "large-4x256M", "small-20k",
         "large-1G"]


def _recipe(name):
    description, seed, _ = SETS[name]
    return f"{name}|{seed}|{description}|pool={_POOL_SIZE}|v1\n"


def describe(name):
    return SETS[name][0]


def plan(name):
    """(file count, total bytes) of a set, without touching the disk."""
    _, seed, files = SETS[name]
    count = total = 0
    for _, size in files(random.Random(seed)):
        count += 1
        total += size
    return count, total


def make(name, root):
    """Builds set `name` under root/name if needed; returns (path, file count, total bytes)."""
    _, seed, files = SETS[name]
    tree = os.path.join(root, name)
    stamp = tree + ".stamp"
    recipe = _recipe(name)
    if os.path.isdir(tree) and os.path.isfile(stamp):
        with open(stamp) as f:
            if f.read() == recipe:
                count, total = plan(name)
                return tree, count, total
    shutil.rmtree(tree, ignore_errors=True)
    if os.path.exists(stamp):
        os.remove(stamp)
    os.makedirs(tree)
    content_rng = random.Random(seed * 7919)  # apart from the sizes' generator, so plan() agrees
    count = total = 0
    for rel, size in files(random.Random(seed)):
        path = os.path.join(tree, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        _write_file(path, size, content_rng)
        count += 1
        total += size
    with open(stamp, "w") as f:
        f.write(recipe)
    return tree, count, total
