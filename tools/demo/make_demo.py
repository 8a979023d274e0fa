#!/usr/bin/env python3
"""Makes the demo's patch server folder and a demo installation at version 0.

    make_demo.py WORK_DIR

WORK_DIR/www/parches/version.txt and 1.zip .. 3.zip: three small patches, the third
replacing a file of the first. WORK_DIR/install/: Recursos/OUTPUT/Update.ini at version 0
and a short completion sound.
"""
import math
import os
import shutil
import struct
import sys
import wave
import zipfile

PATCHES = {
    1: {
        "Recursos/Textos/bienvenida.txt": "¡Bienvenido a Vandrel!\r\n",
        "Recursos/Mapas/aldea.map": "mapa de la aldea, versión 1\r\n" * 200,
        "LEEME.txt": "Parche 1: mapas iniciales.\r\n",
    },
    2: {
        "Recursos/Mapas/bosque.map": "mapa del bosque\r\n" * 400,
        "Recursos/Sonidos/viento.dat": bytes(range(256)) * 64,
    },
    3: {
        "Recursos/Mapas/aldea.map": "mapa de la aldea, versión 3\r\n" * 250,
        "LEEME.txt": "Parche 3: la aldea renovada.\r\n",
    },
}


def write_patch(path, files):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, content in files.items():
            z.writestr(name, content.encode("utf-8") if isinstance(content, str) else content)


def write_sound(path):
    rate = 22050
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        frames = b"".join(
            struct.pack("<h", int(8000 * math.sin(2 * math.pi * f * i / rate)))
            for f in (660, 880)
            for i in range(rate // 8)
        )
        w.writeframes(frames)


def main():
    work = sys.argv[1]
    www = os.path.join(work, "www", "parches")
    install = os.path.join(work, "install")
    for folder in (www, install):
        shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(www)
    os.makedirs(os.path.join(install, "Recursos", "OUTPUT"))
    for number, files in PATCHES.items():
        write_patch(os.path.join(www, f"{number}.zip"), files)
    with open(os.path.join(www, "version.txt"), "w", newline="") as f:
        f.write(f"{len(PATCHES)}\r\n")
    with open(os.path.join(install, "Recursos", "OUTPUT", "Update.ini"), "wb") as f:
        f.write(b" 0 \r\n")
    write_sound(os.path.join(install, "Recursos", "OUTPUT", "Actualizado.wav"))


if __name__ == "__main__":
    main()
