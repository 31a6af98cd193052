#!/usr/bin/env python3
"""Writes the seeds of the Lotus fuzz target into fuzz/seeds/lotus: the
sample budget (release 2 layout) and small files of the release 3 and later
layout that touch every record type the reader handles."""
import os
import struct
import sys

sys.dont_write_bytecode = True

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "samples"))
import make_budget  # noqa: E402


def rec(rtype, data=b""):
    return struct.pack("<HH", rtype, len(data)) + data


def cell3(sheet, row, col):
    return struct.pack("<HBB", row, sheet, col)


def ext80(mantissa, sign_exponent):
    return struct.pack("<QH", mantissa, sign_exponent)


def multi_sheet():
    out = rec(0x00, struct.pack("<HH", 0x1002, 4) + bytes(22))
    out += rec(0x1B, b"\xb0\x36" + struct.pack("<H", 0) + b"Income\0")
    out += rec(0x1B, b"\xb0\x36" + struct.pack("<H", 1) + b"Costs\0")
    out += rec(0x13, bytes([0, 0]) + struct.pack("<H", 1) + bytes([0x11, 0, 0, 0x40, 0x22, 0, 0, 0xC0, 3]))
    out += rec(0x1B, b"\xd7\x07\x00\x00" + struct.pack("<HHHH", 1, 640, 0, 0))
    out += rec(0x24, bytes([0, 3, 0, 12]))
    out += rec(0x16, cell3(0, 0, 0) + b"^Title\0")
    out += rec(0x17, cell3(0, 1, 0) + ext80(0xA000000000000000, 0x4001))  # 5
    out += rec(0x18, cell3(0, 1, 1) + struct.pack("<H", 0x0015))
    out += rec(0x19, cell3(1, 2, 0) + ext80(0xC000000000000000, 0xFFFF) + b"\x03")
    out += rec(0x1A, cell3(1, 2, 0) + b"text\0")
    out += rec(0x23, struct.pack("<HBB", 0, 2, 0) + b"Third\0")
    return out + rec(0x01)


def release9():
    out = rec(0x00, struct.pack("<HH", 0x1005, 4) + bytes(22))
    out += rec(0x25, cell3(0, 0, 0) + struct.pack("<I", 0xD1))
    out += rec(0x27, cell3(0, 0, 1) + struct.pack("<d", 2.5))
    out += rec(0x28, cell3(0, 0, 2) + struct.pack("<d", float("nan")) + b"\x03")
    out += rec(0x16, cell3(0, 1, 0) + b"\"right\0")
    return out + rec(0x01) + b"trailing data after the end"


def protected():
    return rec(0x00, struct.pack("<H", 0x0404)) + rec(0x37, bytes(4)) + rec(0x01)


def main():
    seeds = {
        "budget.wk1": make_budget.build(),
        "sheets.wk4": multi_sheet(),
        "numbers.123": release9(),
        "protected.wks": protected(),
    }
    target = os.path.join(HERE, "lotus")
    os.makedirs(target, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(target, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
