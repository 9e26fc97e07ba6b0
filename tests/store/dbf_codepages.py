#!/usr/bin/python3
"""Prints the independent reader's (dbfread's) table of language-driver
bytes and their code pages as JSON: {"byte": "cpNNN", ...}."""
import json
from dbfread.codepages import codepages

print(json.dumps({str(k): v[0] for k, v in codepages.items()}))
