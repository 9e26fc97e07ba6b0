#!/usr/bin/python3
"""Writes a small Visual FoxPro-style table with another program's writer
(the dbf module): binary currency, double and integer fields beside text."""
import sys
import dbf

t = dbf.Table(sys.argv[1], "NAME C(10); PRICE Y; RATE B; QTY I", dbf_type="vfp", codepage="cp1252")
t.open(mode=dbf.READ_WRITE)
t.append(("first", 1.5, 2.25, 3))
t.close()
