#!/usr/bin/python3
"""Writes a small dBASE III table with another program's writer (the dbf
module), for the engine to read: three records, one of them deleted."""
import datetime, sys
import dbf

t = dbf.Table(sys.argv[1], "NAME C(20); QTY N(5,0); PRICE N(10,2); BOUGHT D; OK L",
              dbf_type="db3", codepage="cp1252")
t.open(mode=dbf.READ_WRITE)
t.append(("Camera", 2, 249.5, datetime.date(1996, 3, 7), True))
t.append(("Caf\u00e9 table", 1, 1234.25, None, False))
t.append(("Gone", 9, 1.0, datetime.date(2001, 1, 2), True))
dbf.delete(t[2])
t.close()
