#!/usr/bin/env python3
"""Writes the CSV fixtures with python's own csv module, as a household's
script would: run once, the output is committed (python3 make_fixtures.py)."""
import csv

HEADER = ["Name", "Manufacturer", "Purchase Price", "Purchase Date", "Notes"]
ROWS = [
    ["Lamp", "Acme, Inc.", 12.5, "2024-03-31", 'the "blue" one'],
    ["Sofa", "", 899, "31.03.2024", "two\r\nlines"],
    ["Café table", "Möbel", 0.01, "", ""],
]

with open("python-minimal.csv", "w", newline="", encoding="utf-8") as f:
    csv.writer(f).writerows([HEADER] + ROWS)

with open("python-semicolon-bom.csv", "w", newline="", encoding="utf-8-sig") as f:
    w = csv.writer(f, delimiter=";")
    w.writerow(HEADER)
    for r in ROWS:
        w.writerow([str(v).replace(".", ",") if isinstance(v, float) else v for v in r])

with open("python-tab-lf.csv", "w", newline="", encoding="utf-8") as f:
    csv.writer(f, delimiter="\t", lineterminator="\n").writerows([HEADER] + ROWS)

with open("python-cp1252.csv", "w", newline="", encoding="cp1252") as f:
    csv.writer(f).writerows([HEADER] + ROWS + [["Clock", "€uro", 5, "", ""]])
