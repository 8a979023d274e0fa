#!/usr/bin/env python3
"""Writes the fault tests' archives into the given folder: two good patches and hostile ones."""
import os
import random
import sys
import zipfile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)

# Incompressible, so that the archive is large enough to be cut, stalled or fill a small disk.
rng = random.Random(2)
FILLER = bytes(rng.getrandbits(8) for _ in range(256 * 1024))

GOOD = {
    1: [("Recursos/Textos/uno.txt", b"parche 1\r\n"), ("Recursos/Mapas/aldea.map", b"aldea del parche 1\r\n")],
    2: [("Recursos/Textos/dos.txt", b"parche 2\r\n"), ("Recursos/Mapas/aldea.map", b"aldea del parche 2\r\n"),
        ("Recursos/Datos/relleno.bin", FILLER)],
    3: [("Recursos/Textos/tres.txt", b"parche 3\r\n"), ("Recursos/Mapas/aldea.map", b"aldea del parche 3\r\n")],
}

# Each hostile archive starts with a harmless entry, so that a writer that checks entry by entry
# instead of the whole directory first leaves a trace.
BOMB = b"\0" * (16 << 20)
HOSTILE = {
    "dotdot": [("Recursos/Textos/dos.txt", b"parche 2\r\n"), ("../fuera.txt", b"fuera\r\n")],
    "absolute": [("Recursos/Textos/dos.txt", b"parche 2\r\n"), ("/fuera.txt", b"fuera\r\n")],
    "drive": [("Recursos/Textos/dos.txt", b"parche 2\r\n"), ("C:\\fuera.txt", b"fuera\r\n")],
    "bomb": [("Recursos/Textos/dos.txt", b"parche 2\r\n"), ("Recursos/Datos/bomba.bin", BOMB)],
}


def write(path, entries):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)


for n, entries in GOOD.items():
    write(os.path.join(out, f"{n}.zip"), entries)
for name, entries in HOSTILE.items():
    write(os.path.join(out, f"{name}.zip"), entries)

# The bomb must really exceed the extractor's 1000:1 limit for large entries.
with zipfile.ZipFile(os.path.join(out, "bomb.zip")) as z:
    bomb = z.getinfo("Recursos/Datos/bomba.bin")
    assert bomb.file_size > 1000 * bomb.compress_size, (bomb.file_size, bomb.compress_size)
with zipfile.ZipFile(os.path.join(out, "dotdot.zip")) as z:
    assert z.namelist()[1] == "../fuera.txt"
with open(os.path.join(out, "damaged.zip"), "wb") as f:
    f.write(b"Rar!\x1a\x07\x00" + FILLER[:4096])
