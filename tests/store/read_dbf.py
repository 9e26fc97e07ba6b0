#!/usr/bin/python3
"""Prints a .DBF file as JSON through an independent reader (dbfread):
its fields and every record, live and deleted, values as text."""
import datetime, json, sys
import dbfread

def text(v):
    if v is None:
        return ""
    if isinstance(v, (datetime.date, datetime.datetime)):
        return v.strftime("%Y%m%d")
    if isinstance(v, bool):
        return "T" if v else "F"
    if isinstance(v, float):
        return repr(v)
    return str(v)

t = dbfread.DBF(sys.argv[1], encoding=sys.argv[2] if len(sys.argv) > 2 else None,
                char_decode_errors="strict", ignore_missing_memofile=True,
                recfactory=lambda items: [v for _, v in items])
out = {
    "fields": [[f.name, f.type, f.length, f.decimal_count] for f in t.fields],
    "records": [[text(v) for v in r] for r in t.records],
    "deleted": [[text(v) for v in r] for r in t.deleted],
    "encoding": t.encoding,
}
print(json.dumps(out))
