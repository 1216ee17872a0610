#!/usr/bin/env python3
"""Crafts hostile variants of a real save: small on disk, huge in memory or time, or broken
behind a right checksum. Reads the save's own format (1 or 2) and writes the variants in it.
Usage: hostile_saves.py SAVE OUT_DIR"""
import os
import struct
import sys
import zlib


class Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, n):
        b = self.data[self.at:self.at + n]
        self.at += n
        return b

    def u8(self):
        return self.take(1)[0]

    def u32(self):
        return struct.unpack('<I', self.take(4))[0]

    def block(self):
        return self.take(self.u32())

    def wstr(self):
        return self.take(2 * self.u32())


def skip_info(r, version):
    for _ in range(2):
        r.block()          # title, identity
    r.take(8)              # date
    r.block()              # label
    r.take(16)             # offset, before, after, position
    r.block(); r.block()   # scenes
    r.block()              # thumbnail
    r.take(8)              # its size
    if version >= 2:
        r.block()          # caption


def page_end(r):
    lines = r.u32()
    for _ in range(lines):
        r.wstr(); r.wstr()
        r.take(8 * r.u32())
        r.take(4)
    r.take(16 * r.u32())
    r.take(6 * 4 + 16 + 4 + 4 + 1 + 1 + 1)


def wstr(text):
    return struct.pack('<I', len(text)) + text.encode('utf-16-le')


def page(text):
    """A page of one line holding `text`, its styling as long (or not)."""
    info = '\0' * len(text)
    return (struct.pack('<I', 1) + wstr(text) + wstr(info) + struct.pack('<I', 0) + struct.pack('<i', 0) +
            struct.pack('<I', 0) + struct.pack('<6i', 0, 0, 0, -1, 0, -1) + struct.pack('<4i', 0, 0, 0, 0) +
            bytes([0, 0, 1, 0]) + struct.pack('<I', 0) + bytes([1, 0, 0]))


def main():
    save, out = sys.argv[1], sys.argv[2]
    data = open(save, 'rb').read()
    assert data[:8] == b'SORVSAVE'
    version = struct.unpack('<I', data[8:12])[0]
    at = 12
    info = b''
    if version >= 2:
        size = struct.unpack('<I', data[at:at + 4])[0]
        info = data[at:at + 8 + size]
        at += 8 + size
    packed, _, _ = struct.unpack('<3I', data[at:at + 12])
    payload = zlib.decompress(data[at + 12:at + 12 + packed])
    r = Reader(payload)
    if version == 1:
        skip_info(r, 1)
    info1 = payload[:r.at]
    head = r.at
    r.take(17)
    variables_at = r.at
    for _ in range(r.u32()):
        r.block(); r.take(4)
    variables_end = r.at
    page_end(r)
    message_end = r.at
    page_end(r)
    speaker_end = r.at
    r.block()
    for _ in range(2):
        r.wstr(); r.take(6)
    r.take(5 * r.u32())
    r.take(2 + 8 + 800 * 600 * 4)
    backlog_at = r.at

    def write(name, snapshot):
        packed_snapshot = zlib.compress(snapshot, 9)
        body = struct.pack('<3I', len(packed_snapshot), len(snapshot), zlib.crc32(packed_snapshot)) + packed_snapshot
        with open(os.path.join(out, name), 'wb') as f:
            f.write(b'SORVSAVE' + struct.pack('<I', version) + info + body)

    def snapshot(variables=None, message=None, backlog=None):
        s = payload[head:variables_at]
        s += variables if variables is not None else payload[variables_at:variables_end]
        s += message if message is not None else payload[variables_end:message_end]
        s += payload[message_end:backlog_at]
        s += backlog if backlog is not None else payload[backlog_at:]
        return (info1 if version == 1 else b'') + s

    names = [('v%049d' % i).encode() for i in range(1 << 20)]  # 50 bytes each
    variables = struct.pack('<I', len(names)) + b''.join(struct.pack('<I', 50) + n + b'\0\0\0\0' for n in names)
    write('variables.sav', snapshot(variables=variables))
    write('long-line.sav', snapshot(message=page('x' * 15_000_000)))
    entry = bytes([0]) + wstr('') + wstr('y' * 14_000)
    write('backlog.sav', snapshot(backlog=struct.pack('<I', 2000) + entry * 2000))
    broken = page('abc')
    broken = broken.replace(wstr('\0\0\0'), wstr('\0\0'), 1)  # the styling shorter than the text
    write('broken-styling.sav', snapshot(message=broken))


main()
