"""Where the members of the archive inside an executable lie, so that a test
can damage one member's data on purpose. Level-2 headers only: the ones the
installer's archive is packed with.

Level-2 member header (little-endian):
  0  u16 total header size      2  5 bytes method ("-lh5-")
  7  u32 packed size           11  u32 original size
 15  u32 Unix time             19  attribute, 20 level (2)
 21  u16 CRC-16 of the data    23  OS id
 24  u16 size of the first extended header, then each extended header:
     type byte, data, u16 size of the next one (0 ends the list).
     Type 1 holds the file name.
The archive ends with a zero byte where the next header would be.
"""
import collections
import struct

Member = collections.namedtuple("Member", "name offset data_offset packed original")


def _parse_at(data, pos):
    members = []
    while pos < len(data) and data[pos] != 0:
        if pos + 26 > len(data) or data[pos + 20] != 2 or data[pos + 2:pos + 4] != b"-l":
            return None
        size, packed, original = struct.unpack_from("<H5xII", data, pos)
        name = None
        ext = pos + 24
        next_size = struct.unpack_from("<H", data, ext)[0]
        ext += 2
        while next_size:
            if next_size < 3 or ext + next_size > pos + size:
                return None
            if data[ext] == 1:
                name = data[ext + 1:ext + next_size - 2].decode("cp932")
            ext += next_size - 2
            next_size = struct.unpack_from("<H", data, ext)[0]
            ext += 2
        if name is None or ext != pos + size:
            return None
        members.append(Member(name, pos, pos + size, packed, original))
        pos += size + packed
    return members if pos < len(data) and members else None


def members(path):
    """The members of the first complete archive in the file."""
    with open(path, "rb") as f:
        data = f.read()
    pos = data.find(b"-lh")
    while pos >= 0:
        found = _parse_at(data, pos - 2) if pos >= 2 else None
        if found:
            return found
        pos = data.find(b"-lh", pos + 1)
    raise ValueError("no level-2 archive in " + path)
