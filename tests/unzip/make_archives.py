#!/usr/bin/env python3
"""Writes the real-archive test data into OUTDIR: the source tree tree/ and the same tree as
zip archives made by Info-ZIP zip, Python's zipfile, bsdtar and 7-Zip, in their usual forms
(deflated, stored, data descriptors, ZIP64, UTF-8 and CP437 names, bsdtar's "./" names).
Deterministic contents."""
import io
import os
import random
import shutil
import subprocess
import sys
import zipfile

FOLDERS = ["carpeta_vacía", "ñandú", "Recursos/OUTPUT/graficos", "Recursos/Sonidos", "Datos/a/b/c/d"]


def files():
    rnd = random.Random(20240607)
    words = ["vandrel", "espada", "castillo", "poción", "mapa", "dragón", "aldea", "misión", "oro", "nivel"]
    text = " ".join(rnd.choice(words) for _ in range(70000)).encode()
    return {
        "raíz.txt": "Archivo en la raíz\r\n".encode(),
        "Canción.txt": "La canción del juego\r\n".encode() * 3,
        "vacio.dat": b"",
        "ñandú/Ñu.txt": "ñu\r\n".encode(),
        "Recursos/OUTPUT/Update.ini": b" 7 \r\n",
        "Recursos/OUTPUT/texto.txt": text,
        "Recursos/OUTPUT/graficos/mapa.bin": bytes(rnd.getrandbits(8) for _ in range(150000)),
        "Recursos/Sonidos/ceros.raw": bytes(200000),
        "Datos/a/b/c/d/profundo.txt": b"profundo\n",
    }


def write_tree(root, encode):
    for folder in FOLDERS:
        os.makedirs(os.path.join(root, encode(folder)), exist_ok=True)
    for name, data in files().items():
        with open(os.path.join(root, encode(name)), "wb") as f:
            f.write(data)


def sorted_paths(root):
    """Relative paths below root, folders first within each folder, as bytes or str like root."""
    out = []
    for here, dirs, names in os.walk(root):
        dirs.sort()
        rel = os.path.relpath(here, root)
        if rel not in (".", b"."):
            out.append((rel, True))
        out.extend((os.path.normpath(os.path.join(rel, n)), False) for n in sorted(names))
    return out


def python_archive(path, tree, method, unseekable=False, zip64=False):
    saved = (zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT)
    if zip64:
        zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = 0, 0
    try:
        raw = open(path, "wb")

        class Unseekable:  # no tell(): zipfile falls back to data descriptors
            def write(self, b):
                return raw.write(b)

            def flush(self):
                raw.flush()

        with zipfile.ZipFile(Unseekable() if unseekable else raw, "w", method) as z:
            for rel, is_dir in sorted_paths(tree):
                arc = rel.replace(os.sep, "/")
                if is_dir:
                    z.mkdir(arc)
                    continue
                with open(os.path.join(tree, rel), "rb") as f:
                    data = f.read()
                info = zipfile.ZipInfo(arc, (2024, 1, 2, 3, 4, 6))
                info.compress_type = method
                with z.open(info, "w", force_zip64=zip64) as dest:
                    dest.write(data)
        raw.close()
    finally:
        zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = saved


def run(cmd, cwd, out=None):
    env = dict(os.environ, LC_ALL="C.UTF-8", TZ="UTC")
    subprocess.run(cmd, cwd=cwd, env=env, check=True, stdout=out or subprocess.DEVNULL)


def main():
    outdir = os.path.abspath(sys.argv[1])
    shutil.rmtree(outdir, ignore_errors=True)
    tree = os.path.join(outdir, "tree")
    write_tree(tree, lambda s: s)
    # Info-ZIP writes names as the bytes it finds: a tree named in CP437 gives CP437 names.
    cp437 = os.path.join(outdir, "staging-cp437").encode()
    write_tree(cp437, lambda s: s.encode("cp437"))
    top = sorted(os.listdir(cp437))
    run(["zip", "-q", "-r", "-X", "../infozip_deflate.zip"] + top, cp437)
    run(["zip", "-q", "-r", "-X", "-0", "../infozip_stored.zip"] + top, cp437)
    with open(os.path.join(outdir, "infozip_stream.zip"), "wb") as f:  # a pipe: data descriptors
        p = subprocess.Popen(["zip", "-q", "-r", "-X", "-", *top], cwd=cp437, stdout=subprocess.PIPE)
        shutil.copyfileobj(p.stdout, f)
        if p.wait() != 0:
            raise SystemExit("zip failed")
    with open(os.path.join(tree, "Recursos/OUTPUT/texto.txt"), "rb") as src, \
            open(os.path.join(outdir, "infozip_stdin.zip"), "wb") as f:  # stdin: ZIP64 + descriptor, entry "-"
        p = subprocess.Popen(["zip", "-q", "-", "-"], stdin=src, stdout=subprocess.PIPE)
        shutil.copyfileobj(p.stdout, f)
        if p.wait() != 0:
            raise SystemExit("zip failed")
    shutil.rmtree(cp437)

    python_archive(os.path.join(outdir, "python_deflate.zip"), tree, zipfile.ZIP_DEFLATED)
    python_archive(os.path.join(outdir, "python_stored.zip"), tree, zipfile.ZIP_STORED)
    python_archive(os.path.join(outdir, "python_descriptor.zip"), tree, zipfile.ZIP_DEFLATED, unseekable=True)
    python_archive(os.path.join(outdir, "python_zip64.zip"), tree, zipfile.ZIP_DEFLATED, zip64=True)
    zipfile.ZipFile(os.path.join(outdir, "python_empty.zip"), "w").close()

    names = sorted(os.listdir(tree))
    run(["bsdtar", "--format", "zip", "-cf", "../bsdtar.zip"] + names, tree)
    run(["bsdtar", "--format", "zip", "-cf", "../bsdtar_dot.zip", "."], tree)  # as macOS tar: "./" names
    run(["7z", "a", "-tzip", "-bd", "../7zip.zip"] + names, tree)


if __name__ == "__main__":
    main()
