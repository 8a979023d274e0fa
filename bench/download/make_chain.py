#!/usr/bin/env python3
"""Writes a signed publication that carries parches/estado.txt, for the catch-up tests and the
download benchmark.

  make_chain.py OUT KEY.pem                 the tests' chain of six patches
  make_chain.py OUT KEY.pem bench P F MAX   P patches over F files of up to MAX bytes, half
                                               of them rewritten by each patch
Writes:
  served/parches/<n>.zip, version.txt, estado.txt   what the server publishes
  contents/<n>/<path>                                the files patch n writes
  final/<path>                                       the installation at the last version
  entries.txt    "<n> <data offset> <compressed size> <path>" for every file entry of n.zip
  borrados.txt   the paths the state says are deleted, one a line
Everything comes from fixed seeds: two runs give the same bytes (signatures aside).
"""
import base64
import hashlib
import os
import random
import subprocess
import sys
import zipfile


STAMP = (2026, 12, 1, 12, 0, 0)
SERIE = 20261210010000
D, S = zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED


def rand(seed, size):
    return random.Random(seed).randbytes(size)


def text(label, lines=40):
    return "".join(f"{label}: línea {i} del juego\r\n" for i in range(lines)).encode()


# Patch n -> (entries: (path, bytes or None for a folder, method), deleted paths).
# The large file comes first in each archive and is rewritten by every patch: a player behind
# needs only its newest version, and only the small files of the patches between.
def chain():
    big = "Datos/grande.bin"
    return {
        1: ([(big, rand(1, 256 << 10), S), ("Datos/uno.txt", text("uno"), D), ("Datos/viejo.txt", b"viejo\r\n", D),
             ("Textos/leeme.txt", text("léeme 1"), D), ("Vandrel.exe", rand(2, 32 << 10), D)], []),
        2: ([(big, rand(20, 256 << 10), S), ("Datos/dos.txt", text("dos"), D),
             ("Textos/leeme.txt", text("léeme 2"), D)], []),
        3: ([(big, rand(30, 256 << 10), S), ("Datos/tres.txt", text("tres"), D)], ["Datos/viejo.txt"]),
        4: ([(big, rand(40, 256 << 10), S), ("Partidas/", None, S), ("Datos/cuatro.txt", text("cuatro"), D)], []),
        5: ([(big, rand(50, 256 << 10), S), ("Textos/Canción.txt", "ñandú\r\n".encode(), D)], ["Datos/dos.txt"]),
        6: ([(big, rand(60, 256 << 10), S), ("Datos/seis.txt", text("seis"), D),
             ("Textos/leeme.txt", text("léeme 6"), D)], []),
    }


def bench_chain(patches, files, largest):
    """Patch 1 writes every file; each later patch rewrites half of them (another half each
    time). Sizes from 16 KiB to largest, incompressible: compressed and plain sizes agree."""
    names = [f"Datos/{i // 100:03d}/f{i:05d}.bin" for i in range(files)]
    sizes = [random.Random(-i).randrange(16 << 10, largest + 1) for i in range(files)]
    out = {1: ([(n, rand(i, sizes[i]), D) for i, n in enumerate(names)], [])}
    for p in range(2, patches + 1):
        half = sorted(random.Random(p).sample(range(files), files // 2))
        out[p] = ([(names[i], rand(p * 1000003 + i, sizes[i]), D) for i in half], [])
    return out


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def der_integer(der, at):
    """The unsigned value of the DER INTEGER at der[at] and the offset after it."""
    assert der[at] == 0x02
    length = der[at + 1]
    return int.from_bytes(der[at + 2:at + 2 + length], "big"), at + 2 + length


def sign(key_path, body):
    """body with a firma line by the P-256 key in key_path, through the openssl command."""
    der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key_path], input=body,
                         capture_output=True, check=True).stdout
    at = 3 if der[1] & 0x80 else 2  # a signature's SEQUENCE is short, but allow one length byte
    r, at = der_integer(der, at)
    s, _ = der_integer(der, at)
    spki = subprocess.run(["openssl", "ec", "-in", key_path, "-pubout", "-outform", "DER"],
                          capture_output=True, check=True).stdout
    keyid = hashlib.sha256(spki[-65:]).hexdigest()[:16]  # the uncompressed point ends the key
    sig = base64.b64encode(r.to_bytes(32, "big") + s.to_bytes(32, "big")).decode()
    return body + f"firma {keyid} {sig}\r\n".encode()


def main():
    out, key_path = sys.argv[1], sys.argv[2]
    patches = bench_chain(*map(int, sys.argv[4:7])) if len(sys.argv) > 3 else chain()
    served = os.path.join(out, "served", "parches")
    os.makedirs(served, exist_ok=True)
    state = {}  # path -> line without the path
    listed = []
    entries = []
    final = {}
    for n in sorted(patches):
        added, deleted = patches[n]
        archive = os.path.join(served, f"{n}.zip")
        with zipfile.ZipFile(archive, "w") as z:
            for name, data, method in added:
                info = zipfile.ZipInfo(name, STAMP)
                info.compress_type = method
                if data is None:
                    info.external_attr = 0o40775 << 16 | 0x10
                    z.writestr(info, b"")
                    state[name.rstrip("/")] = f"carpeta {n}"
                    continue
                info.external_attr = 0o644 << 16
                z.writestr(info, data)
                state[name] = f"archivo {n} {len(data)} {hashlib.sha256(data).hexdigest()}"
                final[name] = data
                write(os.path.join(out, "contents", str(n), name), data)
        with zipfile.ZipFile(archive) as z:
            for info in z.infolist():
                if not info.is_dir():
                    start = info.header_offset + 30 + len(info.filename.encode()) + len(info.extra)
                    entries.append(f"{n} {start} {info.compress_size} {info.filename}")
        for name in deleted:
            state[name] = f"borrado {n}"
            final.pop(name, None)
        with open(archive, "rb") as f:
            data = f.read()
        listed.append(f"parche {n} {len(data)} {hashlib.sha256(data).hexdigest()}\r\n")
    count = len(patches)
    body = f"{count}\r\nfirmado-vandrel 1\r\nserie {SERIE}\r\n" + "".join(listed)
    write(os.path.join(served, "version.txt"), sign(key_path, body.encode()))
    lines = [f"{state[p]} {p}\r\n" for p in sorted(state, key=lambda p: p.encode())]
    body = f"estado-vandrel 1\r\nserie {SERIE}\r\nversion {count}\r\n" + "".join(lines)
    write(os.path.join(served, "estado.txt"), sign(key_path, body.encode()))
    for name, data in final.items():
        write(os.path.join(out, "final", name), data)
    write(os.path.join(out, "entries.txt"), "".join(e + "\n" for e in entries).encode())
    gone = [p for p, line in state.items() if line.startswith("borrado")]
    write(os.path.join(out, "borrados.txt"), "".join(p + "\n" for p in gone).encode())
    write(os.path.join(out, "stamp"), b"ok\n")


main()
