#!/usr/bin/env python3
"""Checks the resources of a built Instalador.exe: one icon group of three images (32 x 32 in
2 colours, 32 x 32 in 16 colours, 16 x 16 in 16 colours), the version record in Spanish (Spain),
Unicode, 1.01.0001, and a manifest that asks for an administrator.

Usage: check_resources.py Instalador.exe
"""
import struct
import sys

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
SPANISH_SPAIN = 0x0C0A


def fail(message):
    sys.exit("check_resources: " + message)


def resources(pe):
    """{(type, id, language): bytes} from the .rsrc tree of a PE file."""
    if pe[:2] != b"MZ":
        fail("not an executable")
    header = struct.unpack_from("<I", pe, 0x3C)[0]
    if pe[header:header + 4] != b"PE\0\0":
        fail("no PE header")
    sections, optional_size = struct.unpack_from("<H12xH", pe, header + 6)
    optional = header + 24
    magic = struct.unpack_from("<H", pe, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", pe, directories + 2 * 8)
    if rsrc_size == 0:
        fail("no resources")
    table = optional + optional_size
    spans = []
    for i in range(sections):
        _, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", pe, table + 40 * i)
        spans.append((vaddr, max(vsize, rawsize), rawptr))

    def offset(rva):
        for vaddr, size, rawptr in spans:
            if vaddr <= rva < vaddr + size:
                return rawptr + rva - vaddr
        fail("address %#x outside every section" % rva)

    base = offset(rsrc_rva)
    found = {}

    def walk(at, path):
        named, ids = struct.unpack_from("<12xHH", pe, base + at)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", pe, base + at + 16 + 8 * i)
            key = path + (name if not name & 0x80000000 else "named",)
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, key)
            else:
                data_rva, size = struct.unpack_from("<II", pe, base + target)
                start = offset(data_rva)
                found[key] = pe[start:start + size]

    walk(0, ())
    return found


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


def version_node(data, at):
    """(key, value bytes, children [(key, value, children)], value type, end) of a version block."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    pos = at + 6
    key_end = pos
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[pos:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = data[pos:pos + value_bytes]
    pos = (pos + value_bytes + 3) & ~3
    children = []
    while pos < end:
        child = version_node(data, pos)
        children.append(child[:4])
        pos = (child[4] + 3) & ~3
    return key, value, children, kind, end


def check_version(res, numbers, version, product, internal):
    """One version record, in Spanish (Spain), numbered numbers (file and product: most, least
    significant), with one Unicode string table and the Translation 0x0C0A, 1200."""
    versions = {k: v for k, v in res.items() if k[0] == RT_VERSION}
    if len(versions) != 1:
        fail("expected one version record, found %d" % len(versions))
    (key, data), = versions.items()
    if key[2] != SPANISH_SPAIN:
        fail("version record in language %#x, expected 0x0C0A" % key[2])
    name, fixed, children, _, _ = version_node(data, 0)
    if name != "VS_VERSION_INFO":
        fail("version record named %r" % name)
    signature, _, file_ms, file_ls, prod_ms, prod_ls = struct.unpack_from("<IIIIII", fixed, 0)
    if signature != 0xFEEF04BD:
        fail("no fixed version information")
    if (file_ms, file_ls) != numbers or (prod_ms, prod_ls) != numbers:
        fail("numeric version is not %d,%d,%d,%d"
             % (numbers[0] >> 16, numbers[0] & 0xFFFF, numbers[1] >> 16, numbers[1] & 0xFFFF))
    blocks = {c[0]: c for c in children}
    strings = blocks.get("StringFileInfo")
    if not strings or [t[0] for t in strings[2]] != ["0C0A04B0"]:
        fail("expected one string table 0C0A04B0")
    values = {k: v.decode("utf-16-le").rstrip("\0") for k, v, _, _ in strings[2][0][2]}
    for field, wanted in (("FileVersion", version), ("ProductVersion", version),
                          ("ProductName", product), ("InternalName", internal)):
        if values.get(field) != wanted:
            fail("%s is %r, expected %r" % (field, values.get(field), wanted))
    var = blocks.get("VarFileInfo")
    translation = [c for c in (var[2] if var else []) if c[0] == "Translation"]
    if not translation or struct.unpack_from("<HH", translation[0][1]) != (SPANISH_SPAIN, 1200):
        fail("Translation is not 0x0C0A, 1200")


def check_manifest(res):
    manifests = [v for k, v in res.items() if k[0] == RT_MANIFEST]
    if len(manifests) != 1 or (RT_MANIFEST, 1) not in {k[:2] for k in res}:
        fail("expected one manifest, with id 1")
    if b'level="requireAdministrator"' not in manifests[0]:
        fail("the manifest does not ask for an administrator")


def check_file(exe_name, checks, summary):
    """Runs every check on the resources of the file named on the command line."""
    if len(sys.argv) != 2:
        sys.exit("usage: check_resources.py %s" % exe_name)
    with open(sys.argv[1], "rb") as f:
        res = resources(f.read())
    for check in checks:
        check(res)
    print("%s: %s" % (sys.argv[1], summary))


def main():
    check_file("Instalador.exe",
               [check_icons,
                lambda res: check_version(res, (0x00010001, 0x00000001), "1.01.0001", "Instalador", "Instalador"),
                check_manifest],
               "icon 3 images, version 1.01.0001 (0C0A04B0), requireAdministrator")


if __name__ == "__main__":
    main()
