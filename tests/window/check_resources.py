#!/usr/bin/env python3
"""Checks the resources of a built Updater.exe: one icon group with the one 32 x 32 image of
32 bits, the background and bar pictures at their sizes as 24-bit bitmaps, the version record
in Spanish (Spain), Unicode, 2.02.0007, and a manifest with asInvoker and common controls 6.

Usage: check_resources.py Updater.exe
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "instalador"))
from check_resources import check_file, check_version  # noqa: E402  (the PE walker, shared checks)

RT_BITMAP, RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 2, 3, 14, 24
SPANISH_SPAIN = 0x0C0A
IDB_BACKGROUND, IDB_PROGRESS_BAR = 101, 102


def fail(message):
    sys.exit("check_resources: " + message)


def check_languages(res):
    for key in res:
        if key[0] != RT_MANIFEST and key[2] != SPANISH_SPAIN:
            fail("resource %s is in language %#x, expected 0x0C0A" % (key[:2], key[2]))


def check_icon(res):
    groups = [v for k, v in res.items() if k[0] == RT_GROUP_ICON]
    if len(groups) != 1:
        fail("expected one icon group, found %d" % len(groups))
    _, kind, count = struct.unpack_from("<HHH", groups[0], 0)
    if kind != 1 or count != 1:
        fail("icon group: expected 1 image, found %d" % count)
    w, h, _, _, _, bpp, size, ident = struct.unpack_from("<BBBBHHIH", groups[0], 6)
    images = {k[1]: v for k, v in res.items() if k[0] == RT_ICON}
    if (w, h, bpp) != (32, 32, 32) or ident not in images or len(images[ident]) != size:
        fail("icon image is %dx%d at %d bits, expected 32x32 at 32" % (w, h, bpp))
    # The icon file is its 6-byte header, one 16-byte entry and this image.
    if size + 22 != 4286:
        fail("icon image of %d bytes: the icon file would not be 4,286 bytes" % size)


def check_bitmaps(res):
    bitmaps = {k[1]: v for k, v in res.items() if k[0] == RT_BITMAP}
    for ident, size in ((IDB_BACKGROUND, (639, 480)), (IDB_PROGRESS_BAR, (538, 37))):
        data = bitmaps.get(ident)
        if data is None:
            fail("bitmap %d missing" % ident)
        hsize, width, height, _, bpp, compression = struct.unpack_from("<IiiHHI", data, 0)
        if hsize != 40 or (width, height) != size or bpp != 24 or compression != 0:
            fail("bitmap %d is %dx%d at %d bits (compression %d), expected %dx%d at 24, none"
                 % (ident, width, height, bpp, compression, size[0], size[1]))


def check_manifest(res):
    manifests = [v for k, v in res.items() if k[0] == RT_MANIFEST and k[1] == 1]
    if len(manifests) != 1:
        fail("expected one manifest, with id 1")
    text = manifests[0]
    for needed in (b'level="asInvoker"', b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
                   b"supportedOS Id="):
        if needed not in text:
            fail("the manifest lacks %s" % needed.decode())


def main():
    check_file("Updater.exe",
               [check_languages, check_icon, check_bitmaps,
                lambda res: check_version(res, (0x00020002, 0x00000007), "2.02.0007", "Vandrel Updater", "Updater"),
                check_manifest],
               "icon 32x32x32, pictures 639x480 and 538x37, version 2.02.0007 (0C0A04B0), asInvoker")


if __name__ == "__main__":
    main()
