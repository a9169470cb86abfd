#!/usr/bin/env python3
"""Prints the installer executable's size with and without the archive it
carries (resource "ARCHIVES" 301): the cost of the program itself.

usage: installer_size.py [QuorvalinexSetup.exe]   (default: the Windows build)
"""
import struct
import sys


def resource_size(data, type_name, res_id):
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    sections, optional_size = struct.unpack_from('<H', data, pe + 6)[0], struct.unpack_from('<H', data, pe + 20)[0]
    optional = pe + 24
    rsrc_rva = struct.unpack_from('<I', data, optional + 96 + 16)[0]
    table = optional + optional_size
    base = None
    for i in range(sections):
        va, raw_size, raw_off = struct.unpack_from('<III', data, table + 40 * i + 12)
        if va <= rsrc_rva < va + raw_size:
            base = raw_off + (rsrc_rva - va)
    if base is None:
        return None

    def entries(directory):
        named, numbered = struct.unpack_from('<HH', data, directory + 12)
        for k in range(named + numbered):
            name, offset = struct.unpack_from('<II', data, directory + 16 + 8 * k)
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                length = struct.unpack_from('<H', data, at)[0]
                name = data[at + 2:at + 2 + 2 * length].decode('utf-16-le')
            yield name, offset

    for name, offset in entries(base):
        if name != type_name:
            continue
        for rid, sub in entries(base + (offset & 0x7FFFFFFF)):
            if rid != res_id:
                continue
            for _, leaf in entries(base + (sub & 0x7FFFFFFF)):
                return struct.unpack_from('<I', data, base + leaf + 4)[0]
    return None


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else 'build/windows/installer/QuorvalinexSetup.exe'
    data = open(path, 'rb').read()
    archive = resource_size(data, 'ARCHIVES', 301)
    if archive is None:
        sys.exit('no ARCHIVES 301 resource in ' + path)
    print(f'executable            {len(data):9,d} bytes')
    print(f'archive (301)         {archive:9,d} bytes')
    print(f'program without it    {len(data) - archive:9,d} bytes')


if __name__ == '__main__':
    main()
