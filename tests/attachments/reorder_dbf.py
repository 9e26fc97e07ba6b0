#!/usr/bin/python3
"""Reorders the records of a .DBF table the way another program might: the
values of every record rewritten in place so that record i holds what record
order[i] held (record numbers from 0, a permutation, separated by commas)."""
import sys
import dbf

path, order = sys.argv[1], [int(n) for n in sys.argv[2].split(",") if n]
table = dbf.Table(path)
table.open(mode=dbf.READ_WRITE)
names = table.field_names
rows = [{name: table[n][name] for name in names} for n in range(len(table))]
for i, n in enumerate(order):
    dbf.write(table[i], **rows[n])
table.close()
