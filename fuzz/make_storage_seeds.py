#!/usr/bin/env python3
"""Writes the seed compound documents of the storage fuzz target into
fuzz/seeds/storage: a version 3 and a version 4 document with a regular
stream, mini streams, an empty stream and a nested storage."""
import os
import struct

FREE, END, FATSECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD


def build(shift, elements):
    """elements: list of (parent index, name, data or None for a storage);
    index 0 is the root."""
    size = 1 << shift
    entries = [["Root Entry", 5, None, [], FREE, FREE, FREE, END, 0]]
    for parent, name, data in elements:
        entries.append([name, 1 if data is None else 2, data, [], FREE, FREE, FREE, END, 0])
        entries[parent][3].append(len(entries) - 1)
    mini, minifat, regular = b"", [], []
    for e in entries:
        data = e[2]
        if e[1] != 2 or not data:
            continue
        e[8] = len(data)
        if len(data) < 4096:
            e[7] = len(minifat)
            n = (len(data) + 63) // 64
            minifat += [len(minifat) + i + 1 if i + 1 < n else END for i in range(n)]
            mini += data + b"\0" * (n * 64 - len(data))
        else:
            regular.append(e)

    def sectors(n):
        return (n + size - 1) // size

    counts = [sectors(len(entries) * 128), sectors(len(minifat) * 4), sectors(len(mini))]
    counts += [sectors(len(e[2])) for e in regular]
    fat = [FATSECT]  # one FAT sector is enough for these seeds
    starts = []
    for n in counts:
        starts.append(len(fat) if n else END)
        fat += [len(fat) + i + 1 if i + 1 < n else END for i in range(n)]
    assert len(fat) <= size // 4
    entries[0][7], entries[0][8] = starts[2], len(mini)
    for e, s in zip(regular, starts[3:]):
        e[7] = s

    def tree(ids):
        if not ids:
            return FREE
        ids = sorted(ids, key=lambda i: (len(entries[i][0]), entries[i][0].upper()))
        mid = len(ids) // 2
        entries[ids[mid]][4] = tree(ids[:mid])
        entries[ids[mid]][5] = tree(ids[mid + 1:])
        return ids[mid]

    for e in entries:
        if e[1] != 2:
            e[6] = tree(e[3])
    header = b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16
    header += struct.pack("<HHHHH6xIIIIIIIII", 0x3E, 4 if shift == 12 else 3, 0xFFFE, shift, 6,
                          counts[0] if shift == 12 else 0, 1, starts[0], 0, 4096, starts[1],
                          counts[1], END, 0)
    header += struct.pack("<I", 0) + struct.pack("<I", FREE) * 108
    out = header.ljust(size, b"\0")
    out += b"".join(struct.pack("<I", v) for v in fat).ljust(size, b"\xFF")
    directory = b""
    for name, typ, data, _, left, right, child, start, length in entries:
        raw = name.encode("utf-16-le")
        directory += raw.ljust(64, b"\0") + struct.pack("<HBBIII", len(raw) + 2, typ, 1, left, right, child)
        directory += b"\0" * 36 + struct.pack("<IQ", start if typ != 1 else 0, length)
    out += directory.ljust(counts[0] * size, b"\0")
    out += b"".join(struct.pack("<I", v) for v in minifat).ljust(counts[1] * size, b"\xFF")
    out += mini.ljust(counts[2] * size, b"\0")
    for e, n in zip(regular, counts[3:]):
        out += e[2].ljust(n * size, b"\0")
    return out


def property_set():
    """A summary property set: a title, an author, a page count, a date."""
    values = [(2, struct.pack("<II", 30, 6) + b"Sales\0\0\0"),
              (4, struct.pack("<II", 30, 4) + b"Ann\0"),
              (14, struct.pack("<Ii", 3, 12)),
              (12, struct.pack("<IQ", 64, 128605752310000000))]
    pairs, body = b"", b""
    first = 8 + 8 * len(values)
    for pid, raw in values:
        pairs += struct.pack("<II", pid, first + len(body))
        body += raw
    header = struct.pack("<HHI16sI16sI", 0xFFFE, 0, 0x00020006, bytes(16), 1, bytes(16), 0x30)
    return header + struct.pack("<II", first + len(body), len(values)) + pairs + body


def main():
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds", "storage")
    os.makedirs(here, exist_ok=True)
    elements = [
        (0, "Workbook", bytes(range(256)) * 18),
        (0, "\x05SummaryInformation", property_set()),
        (0, "Empty", b""),
        (0, "_VBA_PROJECT_CUR", None),
        (4, "dir", b"module" * 50),
    ]
    with open(os.path.join(here, "v3"), "wb") as f:
        f.write(build(9, elements))
    with open(os.path.join(here, "v4"), "wb") as f:
        f.write(build(12, [(0, "Book", bytes(range(256)) * 4), (0, "Sub", None), (2, "Inner", b"x" * 5000)]))


if __name__ == "__main__":
    main()
