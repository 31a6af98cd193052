#!/usr/bin/env python3
"""Writes samples/budget.wk1: a household budget for one quarter as a Lotus
1-2-3 release 2 worksheet, with labels of each alignment prefix, integers,
numbers and @SUM formulas stored with their computed values.

Usage: samples/make_budget.py [output path]
"""
import os
import struct
import sys

PROTECTED_DEFAULT = 0xFF  # protected, default format
COMMA_2 = 0xC2            # protected, comma format, 2 decimals


def record(rtype, data=b""):
    return struct.pack("<HH", rtype, len(data)) + data


def cell(fmt, col, row):
    return struct.pack("<BHH", fmt, col, row)


def label(col, row, prefix, text):
    return record(0x0F, cell(PROTECTED_DEFAULT, col, row) + prefix.encode() + text.encode("cp1252") + b"\0")


def integer(col, row, value):
    return record(0x0D, cell(COMMA_2, col, row) + struct.pack("<h", value))


def number(col, row, value):
    return record(0x0E, cell(COMMA_2, col, row) + struct.pack("<d", value))


def rel(target, here):
    """A relative cell coordinate: bit 15 set, 14-bit signed offset."""
    return 0x8000 | ((target - here) & 0x3FFF)


def sum_formula(col, row, c1, r1, c2, r2, value):
    """@SUM over the range (c1, r1)..(c2, r2), stored with its value."""
    code = struct.pack("<BHHHH", 0x02, rel(c1, col), rel(r1, row), rel(c2, col), rel(r2, row))
    code += bytes([0x50, 1, 0x03])  # @SUM with one argument, then return
    return record(0x10, cell(COMMA_2, col, row) + struct.pack("<dH", value, len(code)) + code)


def minus_formula(col, row, c1, r1, c2, r2, value):
    """(c1, r1) - (c2, r2), stored with its value."""
    code = struct.pack("<BHH", 0x01, rel(c1, col), rel(r1, row))
    code += struct.pack("<BHH", 0x01, rel(c2, col), rel(r2, row))
    code += bytes([0x0A, 0x03])  # subtract, then return
    return record(0x10, cell(COMMA_2, col, row) + struct.pack("<dH", value, len(code)) + code)


def build():
    months = ["Jan", "Feb", "Mar"]
    items = [
        ("Rent", [950, 950, 950]),
        ("Groceries", [412.35, 398.10, 441.72]),
        ("Utilities", [130.50, 142.25, 118.00]),
        ("Transport", [85, 85, 92.40]),
        ("Savings", [300, 300, 300]),
    ]
    income = [2600, 2600, 2750]
    first_item_row, total_row, income_row, left_row = 3, 9, 11, 12
    last_item_row = first_item_row + len(items) - 1

    out = record(0x00, struct.pack("<H", 0x0406))  # 1-2-3 release 2
    out += record(0x06, struct.pack("<HHHH", 0, 0, 4, left_row))  # active range A1..E13
    out += record(0x08, struct.pack("<HB", 0, 14))  # column A is wider
    out += label(0, 0, "^", "Household budget, first quarter")
    out += label(0, 2, "'", "Item")
    for i, month in enumerate(months + ["Total"]):
        out += label(1 + i, 2, '"', month)

    def amount(col, row, value):
        return integer(col, row, value) if isinstance(value, int) else number(col, row, value)

    for r, (name, values) in enumerate(items, start=first_item_row):
        out += label(0, r, "'", name)
        for c, v in enumerate(values, start=1):
            out += amount(c, r, v)
        out += sum_formula(4, r, 1, r, 3, r, round(sum(values), 2))

    out += label(0, total_row, '"', "Total")
    for c in range(1, 5):
        if c < 4:
            col_total = round(sum(values[c - 1] for _, values in items), 2)
        else:
            col_total = round(sum(sum(values) for _, values in items), 2)
        out += sum_formula(c, total_row, c, first_item_row, c, last_item_row, col_total)

    out += label(0, income_row, "'", "Income")
    for c, v in enumerate(income, start=1):
        out += amount(c, income_row, v)
    out += sum_formula(4, income_row, 1, income_row, 3, income_row, sum(income))

    out += label(0, left_row, "'", "Left over")
    for c in range(1, 5):
        spent = sum(values[c - 1] for _, values in items) if c < 4 else sum(sum(v) for _, v in items)
        earned = income[c - 1] if c < 4 else sum(income)
        out += minus_formula(c, left_row, c, income_row, c, total_row, round(earned - spent, 2))

    out += record(0x01)  # end of file
    return out


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "budget.wk1")
    with open(path, "wb") as f:
        f.write(build())


if __name__ == "__main__":
    main()
