#!/usr/bin/env python3
"""Writes the crash test's data into the given folder.

  initial/<path>            the installation before any patch (version 0)
  contents/<n>/<path>       the files patch n carries, as plain files
  served/parches/...        what the patch server publishes: version.txt and the archives;
                            <n>.zip.slow for the patches served at about 200 KB/s

Everything is generated from fixed seeds, so two runs give the same bytes.
"""
import os
import random
import sys
import zipfile

COUNT = 10
SLOW = {3, 8}
STAMP = (2024, 3, 1, 12, 0, 0)


def noisy(seed, size, levels=16):
    """Low-entropy bytes: deflate shrinks them to about half, so inflating takes real work.
    A 64 KiB block repeated with a shift, so deflate's 32 KiB window finds no earlier copy."""
    rng = random.Random(seed)
    block = bytes((rng.randrange(levels) * 7) % 256 for _ in range(min(size, 65536)))
    out = bytearray()
    n = 0
    while len(out) < size:
        k = (n * 9973) % len(block)
        out += block[k:] + block[:k]
        n += 1
    return bytes(out[:size])


def random_bytes(seed, size):
    return random.Random(seed).randbytes(size)


def text(seed, size, label):
    rng = random.Random(seed)
    words = ["espada", "aldea", "dragón", "poción", "muralla", "bosque", "río", "torre", label]
    out = []
    length = 0
    while length < size:
        w = rng.choice(words)
        out.append(w)
        length += len(w.encode("utf-8")) + 1
    return (" ".join(out) + "\r\n").encode("utf-8")


INITIAL = {
    "Vandrel.exe": random_bytes(1, 48 * 1024),
    "Recursos/Mapas/aldea.map": b"aldea vieja\r\n",
    "Recursos/Graficos/base.grh": noisy(2, 40 * 1024),
    "Recursos/Sonidos/intro.wav": noisy(3, 150 * 1024, 64),
    "Recursos/Textos/leeme.txt": "Léeme: el juego de siempre.\r\n".encode("utf-8"),
}

# Patch number -> list of (name, bytes or None for a folder entry, compression).
D, S = zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED
PATCHES = {
    1: [("Recursos/Mapas/aldea.map", b"aldea del parche 1\r\n", D), ("Recursos/Textos/uno.txt", b"parche 1\r\n", D)],
    2: [
        ("Recursos/Graficos/base.grh", noisy(20, 60 * 1024), D),
        ("Recursos/Interfaz/", None, S),
        ("Recursos/Interfaz/botones.bmp", noisy(21, 30 * 1024, 200), D),
    ],
    # Incompressible and stored: the archive is as large as its file, and served slowly.
    3: [("Recursos/Musica/tema.mid", random_bytes(30, 320 * 1024), S), ("Recursos/Textos/tres.txt", b"tres\r\n", D)],
    4: [(f"Recursos/Muchos/f{i:04d}.txt", text(4000 + i, 100 + (i * 37) % 2900, f"f{i}"), D) for i in range(300)],
    5: [
        ("Recursos/Mapas/aldea.map", b"aldea del parche 5\r\n", D),
        ("Recursos/Graficos/base.grh", noisy(50, 44 * 1024), D),
        ("Recursos/Textos/Canción.txt", "ñandú\r\n".encode("utf-8"), D),
    ],
    # One large file, then a small one after it.
    6: [("Recursos/Graficos/grande.grh", noisy(60, 8 * 1024 * 1024), D), ("Recursos/Graficos/grande.txt", b"6\r\n", D)],
    7: [
        ("Recursos/Sonidos/intro.wav", noisy(70, 180 * 1024, 64), D),
        ("Recursos/Muchos/f0010.txt", b"f0010 del parche 7\r\n", D),
        ("Recursos/Textos/uno.txt", b"uno, corregido en el parche 7\r\n", D),
    ],
    8: [("Recursos/Musica/tema.mid", random_bytes(80, 136 * 1024), S)],
    9: [("Recursos/Graficos/base.grh", noisy(90, 52 * 1024), D)]
    + [(f"Recursos/Muchos/f{i:04d}.txt", text(9000 + i, 300, f"nueve{i}"), D) for i in range(50)],
    10: [
        ("Recursos/Mapas/aldea.map", b"aldea del parche 10\r\n", D),
        ("Recursos/Textos/diez.txt", b"diez\r\n", D),
        ("Recursos/Muchos/f0299.txt", b"f0299 del parche 10\r\n", D),
    ],
}


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    out = sys.argv[1]
    for name, data in INITIAL.items():
        write(os.path.join(out, "initial", name), data)
    served = os.path.join(out, "served", "parches")
    os.makedirs(served, exist_ok=True)
    for n in range(1, COUNT + 1):
        archive = os.path.join(served, f"{n}.zip" + (".slow" if n in SLOW else ""))
        with zipfile.ZipFile(archive, "w") as z:
            for name, data, method in PATCHES[n]:
                info = zipfile.ZipInfo(name, STAMP)
                info.compress_type = method
                if data is None:
                    info.external_attr = 0o40775 << 16 | 0x10
                    z.writestr(info, b"")
                    continue
                info.external_attr = 0o644 << 16
                z.writestr(info, data)
                write(os.path.join(out, "contents", str(n), name), data)
    write(os.path.join(served, "version.txt"), f"{COUNT}\r\n".encode())
    write(os.path.join(out, "stamp"), b"ok\n")


main()
