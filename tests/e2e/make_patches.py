#!/usr/bin/env python3
"""Writes the end-to-end tests' patch archives into the given folder."""
import os
import sys
import zipfile

PATCHES = {
    1: {"Recursos/Textos/uno.txt": "parche 1\r\n"},
    6: {"Recursos/Textos/seis.txt": "parche 6\r\n", "Recursos/Mapas/aldea.map": "aldea del parche 6\r\n"},
    7: {"Recursos/Mapas/aldea.map": "aldea del parche 7\r\n", "Recursos/Textos/Canción.txt": "ñandú\r\n"},
}

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
for n, files in PATCHES.items():
    with zipfile.ZipFile(os.path.join(out, f"{n}.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in files.items():
            z.writestr(name, text.encode("utf-8"))

# What a host broken into would serve: another game executable.
with zipfile.ZipFile(os.path.join(out, "hostil.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("Vandrel.exe", b"MZ ejecutable ajeno")
