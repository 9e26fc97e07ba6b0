#!/usr/bin/env python3
"""Writes the workbook fixtures: one by openpyxl as a household's script
would, the others part by part with zipfile, as spreadsheet programs lay
them out (shared texts, rich runs, styles) and as damaged or hostile files
come. Run once; the output is committed (python3 make_workbooks.py)."""
import datetime
import struct
import zipfile

import openpyxl

NS = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
RNS = 'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
CONTENT_TYPES = ('<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/'
                 'content-types"><Default Extension="xml" ContentType="application/xml"/></Types>')
ROOT_RELS = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/'
             '2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
             'relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>')
STYLES = (f'<?xml version="1.0" encoding="UTF-8"?><styleSheet {NS}><numFmts count="2">'
          '<numFmt numFmtId="165" formatCode="DD.MM.YYYY"/><numFmt numFmtId="166" formatCode="&quot;day&quot; 0.00"/>'
          '</numFmts><cellStyleXfs count="1"><xf numFmtId="14"/></cellStyleXfs><cellXfs count="5">'
          '<xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="165"/><xf numFmtId="166"/><xf numFmtId="4"/></cellXfs>'
          '</styleSheet>')


def workbook(path, sheets, shared=None, date1904=False, styles=STYLES, sheet_parts=None):
    """sheets: [(name, sheetData xml)]; shared: the sst part's xml or None."""
    pr = '<workbookPr date1904="1"/>' if date1904 else '<workbookPr/>'
    names = ''.join(f'<sheet name="{n}" sheetId="{i + 1}" r:id="rId{i + 1}"/>' for i, (n, _) in enumerate(sheets))
    rels = ''.join(f'<Relationship Id="rId{i + 1}" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
                   f'relationships/worksheet" Target="worksheets/sheet{i + 1}.xml"/>' for i in range(len(sheets)))
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
        z.writestr('[Content_Types].xml', CONTENT_TYPES)
        z.writestr('_rels/.rels', ROOT_RELS)
        z.writestr('xl/workbook.xml', f'<?xml version="1.0" encoding="UTF-8"?><workbook {NS} {RNS}>{pr}'
                                      f'<sheets>{names}</sheets></workbook>')
        z.writestr('xl/_rels/workbook.xml.rels', '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns='
                   f'"http://schemas.openxmlformats.org/package/2006/relationships">{rels}</Relationships>')
        z.writestr('xl/styles.xml', styles)
        if shared is not None:
            z.writestr('xl/sharedStrings.xml', shared)
        for i, (_, data) in enumerate(sheets):
            part = (sheet_parts or {}).get(i)
            z.writestr(f'xl/worksheets/sheet{i + 1}.xml', part if part is not None else
                       f'<?xml version="1.0" encoding="UTF-8"?><worksheet {NS}><sheetData>{data}</sheetData></worksheet>')


def sst(texts):
    items = ''.join(t if t.startswith('<') else f'<si><t xml:space="preserve">{t}</t></si>' for t in texts)
    return f'<?xml version="1.0" encoding="UTF-8"?><sst {NS} count="{len(texts)}" uniqueCount="{len(texts)}">{items}</sst>'


def s(ref, index, style=0):
    return f'<c r="{ref}" s="{style}" t="s"><v>{index}</v></c>'


# A spreadsheet program's layout: shared texts (one of rich runs with a
# phonetic reading), a built-in and a custom date style, a number style
# that only looks like one, a formula's text, a truth value, an error, a
# cell without its reference, a row left out, a styled empty cell far out,
# a character written as its code and an underscore kept from being read so.
TEXTS = ['Name', 'Purchase Price', 'Purchase Date', 'Warranty', 'Qty', 'Notes', 'Lamp',
         '<si><r><t>Rich </t></r><r><rPr><b/></rPr><t>text</t></r><rPh sb="0" eb="1"><t>ignored</t></rPh></si>',
         'two&#10;lines', 'Caf&#233;', 'Kitchen thing', 'a_x000D_b', '_x005F_x0041_']
ROWS = ('<row r="1">' + ''.join(s(f'{c}1', i) for i, c in enumerate('ABCDEF')) + '</row>'
        '<row r="2">' + s('A2', 6) + '<c r="B2" s="4"><v>1234.5</v></c><c r="C2" s="1"><v>45351</v></c>'
        '<c r="D2" t="b"><v>1</v></c><c r="E2"><f>1+1</f><v>2</v></c>' + s('F2', 8) + '</row>'
        '<row r="5">' + s('A5', 7) + '<c s="3"><v>0.01</v></c><c s="2"><v>36585</v></c>'
        '<c t="b"><v>0</v></c><c t="str"><f>"x"</f><v>formula text</v></c><c t="e"><v>#N/A</v></c>'
        '<c r="XFD5" s="1"/></row>'
        '<row r="6"><c r="A6" t="inlineStr"><is><t>Inline</t></is></c><c r="C6" t="d"><v>2000-02-29T00:00:00</v></c>'
        '<c r="D6" t="inlineStr"><is><t>no</t></is></c></row>'
        '<row r="7">' + s('A7', 9) + s('B7', 11) + '<c r="C7" s="1"><v>60</v></c>' + s('D7', 12) + '</row>')
workbook('calc-like.xlsx', [('Things', ROWS), ('Kitchen', '<row r="1">' + s('A1', 0) + '</row><row r="2">' +
                                               s('A2', 10) + '</row>')], sst(TEXTS))

# Day numbers counted from 1904; 0 is its first day.
workbook('date1904.xlsx', [('Sheet1', '<row r="1"><c r="A1" t="inlineStr"><is><t>Purchase Date</t></is></c></row>'
                                      '<row r="2"><c r="A2" s="1"><v>0</v></c></row>'
                                      '<row r="3"><c r="A3" s="1"><v>43889</v></c></row>')], date1904=True)

wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'Inventory'
ws.append(['Name', 'Manufacturer', 'Purchase Price', 'Purchase Date', 'Warranty', 'Quantity', 'Notes'])
ws.append(['Lamp', 'Acme, Inc.', 12.5, datetime.date(2024, 3, 31), True, 2, 'the "blue" one'])
ws.append(['Sofa', None, 899, datetime.date(2000, 2, 29), False, 1, 'two\nlines'])
ws.append(['Café table', 'Möbel', 0.01, None, None, None, None])
garage = wb.create_sheet('Garage')
garage.append(['Name', 'Room', 'Purchase Date'])
garage.append(['Drill', 'Garage', datetime.datetime(2023, 7, 4, 15, 30)])
wb.save('openpyxl.xlsx')

# Damaged and hostile files.
with open('not-a-zip.xlsx', 'w') as f:
    f.write('Name,Cost\nLamp,1\n')
workbook('malformed.xlsx', [('Sheet1', '<row r="1"><c r="A1" t="inlineStr"><is><t>Name</t></is></c></row>\n'
                                       '<row r="2"><c r="A2"><v>1</v></row>')])
workbook('bad-shared-index.xlsx', [('Sheet1', '<row r="1">' + s('A1', 0) + '</row><row r="2">' + s('A2', 7) +
                                    '</row>')], sst(['Name']))
workbook('too-wide.xlsx', [('Sheet1', '<row r="1"><c r="A1" t="inlineStr"><is><t>Name</t></is></c>'
                                      '<c r="AMJ1" t="inlineStr"><is><t>Last</t></is></c></row>'
                                      '<row r="2"><c r="AMK2"><v>1</v></c></row>')])
workbook('no-sheet.xlsx', [])
workbook('many-texts.xlsx', [('Sheet1', '<row r="1">' + s('A1', 0) + '</row>')],
         f'<?xml version="1.0" encoding="UTF-8"?><sst {NS} count="99999999" uniqueCount="99999999">'
         '<si><t>Name</t></si></sst>')

# A table of shared texts that says it holds as many as a workbook may.
workbook('texts-at-the-limit.xlsx', [('Sheet1', '<row r="1">' + s('A1', 0) + '</row>')],
         f'<?xml version="1.0" encoding="UTF-8"?><sst {NS} count="16777216" uniqueCount="16777216">'
         '<si><t>Name</t></si></sst>')

# 20 MB of blanks in a sheet: packed about a thousand to one, as no
# spreadsheet is. The second copy says it is 1000 bytes, and is read no
# further.
BLANKS = f'<?xml version="1.0" encoding="UTF-8"?><worksheet {NS}><sheetData>' + ' ' * (20 << 20) + '</sheetData></worksheet>'
workbook('bomb.xlsx', [('Sheet1', '')], sheet_parts={0: BLANKS})
workbook('liar.xlsx', [('Sheet1', '')], sheet_parts={0: BLANKS})
data = bytearray(open('liar.xlsx', 'rb').read())
name = b'xl/worksheets/sheet1.xml'
with zipfile.ZipFile('liar.xlsx') as z:
    offset = z.getinfo(name.decode()).header_offset
struct.pack_into('<I', data, offset + 22, 1000)                 # the local header's size
pos = 0
while True:
    pos = data.find(b'PK\x01\x02', pos)
    if pos < 0:
        break
    length = struct.unpack_from('<H', data, pos + 28)[0]
    if data[pos + 46:pos + 46 + length] == name:
        struct.pack_into('<I', data, pos + 24, 1000)            # the central directory's
    pos += 4
open('liar.xlsx', 'wb').write(bytes(data))

# Number formats as spreadsheet programs write them for another language
# or with a colour: a bracket's letters are no date's, what follows it is;
# the sheet's part ends with a line break, as some programs write it.
FORMATS = (f'<?xml version="1.0" encoding="UTF-8"?><styleSheet {NS}><numFmts count="2">'
           '<numFmt numFmtId="170" formatCode="[$-409]d-mmm-yy;@"/><numFmt numFmtId="171" formatCode="[Red]0.00"/>'
           '</numFmts><cellXfs count="3"><xf numFmtId="0"/><xf numFmtId="170"/><xf numFmtId="171"/></cellXfs>'
           '</styleSheet>')
FORMATS_ROWS = ('<row r="1"><c r="A1" t="inlineStr"><is><t>Purchase Date</t></is></c></row>'
                '<row r="2"><c r="A2" s="1"><v>45351</v></c></row><row r="3"><c r="A3" s="2"><v>12.5</v></c></row>')
workbook('formats.xlsx', [('Sheet1', FORMATS_ROWS)], styles=FORMATS,
         sheet_parts={0: f'<?xml version="1.0" encoding="UTF-8"?><worksheet {NS}><sheetData>{FORMATS_ROWS}'
                         '</sheetData></worksheet>\r\n'})
