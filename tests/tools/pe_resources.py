"""Reads resources out of a Windows executable on the Linux side, so tests
can look at what the build or brand.exe wrote without starting Wine.

Only what the tests need: numeric type and name ids, every language of one
resource, the three fixed levels of the resource tree (no recursion).
"""

import struct

IMAGE_DIRECTORY_ENTRY_RESOURCE = 2
RT_MANIFEST = 24


class PeError(ValueError):
    pass


def _unpack(fmt, data, offset):
    size = struct.calcsize(fmt)
    if offset < 0 or offset + size > len(data):
        raise PeError("truncated at %d" % offset)
    return struct.unpack_from(fmt, data, offset)


def _sections(data):
    if data[:2] != b"MZ":
        raise PeError("no MZ header")
    (pe,) = _unpack("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE signature")
    _, count, _, _, _, optional_size, _ = _unpack("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    (magic,) = _unpack("<H", data, optional)
    directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -1)
    if directories < optional:
        raise PeError("unknown optional header")
    rva, size = _unpack("<II", data, directories + 8 * IMAGE_DIRECTORY_ENTRY_RESOURCE)
    table = optional + optional_size
    sections = []
    for i in range(count):
        _, vsize, vaddr, raw_size, raw_ptr = _unpack("<8sIIII", data, table + 40 * i)
        sections.append((vaddr, max(vsize, raw_size), raw_ptr))
    return rva, size, sections


def _file_offset(sections, rva):
    for vaddr, size, raw in sections:
        if vaddr <= rva < vaddr + size:
            return raw + rva - vaddr
    raise PeError("RVA %#x outside every section" % rva)


def _entries(data, directory):
    """(id or None for a named entry, offset field) of one directory."""
    named, numbered = _unpack("<HH", data, directory + 12)
    for i in range(named + numbered):
        name, target = _unpack("<II", data, directory + 16 + 8 * i)
        yield (None if name & 0x80000000 else name), target


def find_resources(path_or_bytes, type_id, name_id=None):
    """Answers {language: bytes} of resource type_id/name_id (both numeric),
    or {(name id, language): bytes} of every numbered resource of type_id
    when name_id is None."""
    if isinstance(path_or_bytes, (bytes, bytearray)):
        data = bytes(path_or_bytes)
    else:
        with open(path_or_bytes, "rb") as f:
            data = f.read()
    rva, size, sections = _sections(data)
    if rva == 0 or size == 0:
        return {}
    root = _file_offset(sections, rva)
    found = {}
    for type_entry, type_target in _entries(data, root):
        if type_entry != type_id or not type_target & 0x80000000:
            continue
        for name_entry, name_target in _entries(data, root + (type_target & 0x7FFFFFFF)):
            if name_entry is None or not name_target & 0x80000000:
                continue
            if name_id is not None and name_entry != name_id:
                continue
            for language, leaf in _entries(data, root + (name_target & 0x7FFFFFFF)):
                if leaf & 0x80000000:
                    raise PeError("a fourth level in the resource tree")
                data_rva, data_size, _, _ = _unpack("<IIII", data, root + leaf)
                start = _file_offset(sections, data_rva)
                if start + data_size > len(data):
                    raise PeError("resource data past the end of the file")
                key = language if name_id is not None else (name_entry, language)
                found[key] = data[start:start + data_size]
    return found
