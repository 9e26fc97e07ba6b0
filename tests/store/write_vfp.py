#!/usr/bin/python3
"""Writes a small Visual FoxPro-style table with another program's writer
(the dbf module): binary currency, double, integer and date-time fields beside text."""
import datetime
import sys
import dbf

t = dbf.Table(sys.argv[1], "NAME C(10); PRICE Y; RATE B; QTY I; SEEN T", dbf_type="vfp", codepage="cp1252")
t.open(mode=dbf.READ_WRITE)
t.append(("first", 1.5, 2.25, 3, datetime.datetime(2024, 2, 29, 13, 45)))
t.close()
