#!/usr/bin/env python3
"""Writes the seed inputs of the zip and xml fuzz targets (run from fuzz/)."""
import io
import zipfile


def make_zip(name, entries, comment=b'', method=zipfile.ZIP_DEFLATED, force64=False):
    b = io.BytesIO()
    with zipfile.ZipFile(b, 'w', method) as z:
        for n, d in entries:
            if force64:
                with z.open(n, 'w', force_zip64=True) as f:
                    f.write(d)
            else:
                z.writestr(n, d)
        z.comment = comment
    open('seeds/zip/' + name, 'wb').write(b.getvalue())


class Unseekable(io.RawIOBase):
    """Makes zipfile write data descriptors."""
    def __init__(self):
        self.b = bytearray()

    def writable(self):
        return True

    def write(self, d):
        self.b += d
        return len(d)


sheet = (b'<?xml version="1.0" encoding="UTF-8"?><worksheet><sheetData><row r="1">'
         b'<c r="A1" t="s"><v>0</v></c></row></sheetData></worksheet>')
make_zip('package', [('[Content_Types].xml', b'<Types/>'),
                     ('xl/workbook.xml', b'<workbook><sheets><sheet name="S" r:id="rId1"/></sheets></workbook>'),
                     ('xl/worksheets/sheet1.xml', sheet)])
make_zip('stored-comment', [('mimetype', b'application/vnd.oasis.opendocument.spreadsheet'),
                            ('content.xml', b'<office:document-content><table:table table:name="T"/>'
                                            b'</office:document-content>')],
         comment=b'a comment', method=zipfile.ZIP_STORED)
make_zip('zip64', [('a.xml', sheet)], force64=True)
u = Unseekable()
with zipfile.ZipFile(u, 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('xl/styles.xml', b'<styleSheet><cellXfs><xf numFmtId="14"/></cellXfs></styleSheet>')
open('seeds/zip/descriptor', 'wb').write(bytes(u.b))

docs = {
    'worksheet': sheet,
    'declared-1252': b'<?xml version="1.0" encoding="windows-1252"?><a n="\xe9">caf\xe9</a>',
    'mixed': b'<r><![CDATA[x]]>t<!--c-->u<?p?><e a=\'1/2\' b="3>4"/>v<f>\xd0\x96</f></r>\n',
    'utf16': '\ufeff<a b="\u0416">\U0001F363</a>'.encode('utf-16-le'),
    'sharedstrings': b'<sst><si><t xml:space="preserve"> a </t></si><si><r><rPr/><t>b</t></r></si></sst>',
}
for k, v in docs.items():
    open('seeds/xml/' + k, 'wb').write(v)
