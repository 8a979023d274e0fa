"""What the resource checkers of both programs share: the walk of a PE file's resource tree,
the version record's parser and its check.
"""
import struct
import sys

RT_BITMAP, RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 3, 14, 16, 24
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


def check_version(res, version, product, internal):
    """One version record in Spanish (Spain), Unicode: the numbers of version ("1.01.0001" is
    1,1,0,1), one string table 0C0A04B0 with the version and both names, and its Translation."""
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
    major, minor, revision = (int(part) for part in version.split("."))
    numbers = ((major << 16) | minor, revision)
    if (file_ms, file_ls) != numbers or (prod_ms, prod_ls) != numbers:
        fail("numeric version is not %d,%d,0,%d" % (major, minor, revision))
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


def load(program):
    """The resources of the executable named on the command line; the usage names program."""
    if len(sys.argv) != 2:
        sys.exit("usage: check_resources.py %s.exe" % program)
    with open(sys.argv[1], "rb") as f:
        return resources(f.read())
