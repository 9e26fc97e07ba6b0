#!/usr/bin/env bash
# Writes the fixtures LibreOffice Calc made: a household's list, written by
# openpyxl, opened by Calc and saved with its defaults as a workbook and as
# CSV. Run once on a machine with LibreOffice (Debian libreoffice-calc-nogui);
# the outputs are committed, LibreOffice is not needed by the tests.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
/usr/bin/python3 - "$tmp/household.xlsx" <<'PY'
import datetime, sys, openpyxl
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Household"
ws.append(["Name", "Manufacturer", "Model Number", "Serial Number", "Room", "Purchase Price",
           "Purchase Date", "Warranty Expires", "Quantity", "Notes"])
ws.append(["Lamp", "Acme, Inc.", "L-100", "SN 001", "Attic", 12.5, datetime.date(2024, 3, 31),
           datetime.date(2026, 3, 31), 2, 'the "blue" one'])
ws.append(["Sofa", None, None, None, "Living Room", 1234.56, datetime.date(2000, 2, 29), None, 1,
           "two\nlines"])
ws.append(["Café table", "Möbel", "T 9", "0042", "Kitchen", 0.01, datetime.date(1999, 12, 31),
           datetime.date(2100, 1, 1), None, None])
for row in ws.iter_rows(min_row=2, min_col=7, max_col=8):
    for c in row:
        c.number_format = "yyyy-mm-dd"
wb.create_sheet("Garage").append(["Name", "Room"])
wb["Garage"].append(["Drill", "Garage"])
wb.save(sys.argv[1])
PY
soffice --headless --convert-to xlsx --outdir "$tmp/xlsx" "$tmp/household.xlsx" >/dev/null
soffice --headless --convert-to csv --outdir "$tmp/csv" "$tmp/household.xlsx" >/dev/null
cp "$tmp/xlsx/household.xlsx" libreoffice.xlsx
cp "$tmp/csv/household.csv" libreoffice.csv
