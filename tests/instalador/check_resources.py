#!/usr/bin/env python3
"""Checks the resources of a built Instalador.exe: one icon group of three images (32 x 32 in
2 colours, 32 x 32 in 16 colours, 16 x 16 in 16 colours), the version record in Spanish (Spain),
Unicode, 1.01.0001, and a manifest that asks for an administrator.

Usage: check_resources.py Instalador.exe
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from pe_resources import RT_GROUP_ICON, RT_ICON, RT_MANIFEST, check_version, fail, load  # noqa: E402


def check_icons(res):
    groups = {k: v for k, v in res.items() if k[0] == RT_GROUP_ICON}
    if len(groups) != 1:
        fail("expected one icon group, found %d" % len(groups))
    group = next(iter(groups.values()))
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    if kind != 1 or count != 3:
        fail("icon group: expected 3 images, found %d" % count)
    icons = {k[1]: v for k, v in res.items() if k[0] == RT_ICON}
    seen = []
    for i in range(count):
        w, h, colours, _, planes, bpp, size, ident = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        image = icons.get(ident)
        if image is None or len(image) != size:
            fail("icon image %d missing or of the wrong size" % ident)
        hsize, bw, bh, bplanes, bbpp = struct.unpack_from("<IiiHH", image, 0)
        if hsize != 40 or (bw, bh, bbpp) != (w, 2 * h, bpp):
            fail("icon image %d: its bitmap header says %dx%d at %d bits" % (ident, bw, bh // 2, bbpp))
        seen.append((w, h, 1 << bpp))
    expected = [(32, 32, 2), (32, 32, 16), (16, 16, 16)]
    if sorted(seen) != sorted(expected):
        fail("icon images %s, expected %s" % (seen, expected))


def check_manifest(res):
    manifests = [v for k, v in res.items() if k[0] == RT_MANIFEST]
    if len(manifests) != 1 or (RT_MANIFEST, 1) not in {k[:2] for k in res}:
        fail("expected one manifest, with id 1")
    if b'level="requireAdministrator"' not in manifests[0]:
        fail("the manifest does not ask for an administrator")


def main():
    res = load("Instalador")
    check_icons(res)
    check_version(res, "1.01.0001", "Instalador", "Instalador")
    check_manifest(res)
    print("%s: icon 3 images, version 1.01.0001 (0C0A04B0), requireAdministrator" % sys.argv[1])


if __name__ == "__main__":
    main()
