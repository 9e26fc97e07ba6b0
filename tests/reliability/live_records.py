#!/usr/bin/python3
"""Prints the live records of a .DBF file as an independent reader
(dbfread) sees them: Item, Category and UserDef1, one record a line,
tab-separated; then a line "deleted N"."""
import sys
import dbfread

t = dbfread.DBF(sys.argv[1], encoding="cp1252", char_decode_errors="strict")
for record in t.records:
    r = {name.upper(): value for name, value in record.items()}
    print("\t".join((r["ITEM"] or "", r["CATEGORY"] or "", r["USERDEF1"] or "")))
print("deleted", len(list(t.deleted)))
