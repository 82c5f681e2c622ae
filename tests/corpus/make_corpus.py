"""The sources of the corpus: flat OpenDocument files written here by hand and a Markdown file,
in Japanese, holding the features the corpus test follows. The other programs turn them into
Word files and RTF; nothing of it is kept in the source tree."""

import base64
import struct
import zlib
from pathlib import Path


def png(width, height, colour):
    """A PNG of one colour (RGB), small enough to write out here."""
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    rows = b''.join(b'\0' + bytes(colour) * width for _ in range(height))
    header = struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(rows))
            + chunk(b'IEND', b''))


HEAD = '''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
<office:font-face-decls>
 <style:font-face style:name="IPAMincho" svg:font-family="IPAMincho" style:font-family-generic="roman"/>
</office:font-face-decls>
<office:styles>
 <style:default-style style:family="paragraph">
  <style:text-properties style:font-name="IPAMincho" fo:font-size="10.5pt"
   style:font-name-asian="IPAMincho" style:font-size-asian="10.5pt" fo:language="ja" fo:country="JP"
   style:language-asian="ja" style:country-asian="JP"/>
 </style:default-style>
 <style:style style:name="Standard" style:family="paragraph"/>
</office:styles>
<office:automatic-styles>
 <style:style style:name="Bold" style:family="text"><style:text-properties fo:font-weight="bold" style:font-weight-asian="bold"/></style:style>
 <style:style style:name="Italic" style:family="text"><style:text-properties fo:font-style="italic" style:font-style-asian="italic"/></style:style>
 <style:style style:name="Large" style:family="text"><style:text-properties fo:font-size="16pt" style:font-size-asian="16pt"/></style:style>
 <style:style style:name="BoldLarge" style:family="text"><style:text-properties fo:font-weight="bold" style:font-weight-asian="bold" fo:font-size="14pt" style:font-size-asian="14pt"/></style:style>
 <style:style style:name="Super" style:family="text"><style:text-properties style:text-position="super 58%"/></style:style>
 <style:style style:name="Sub" style:family="text"><style:text-properties style:text-position="sub 58%"/></style:style>
 <style:style style:name="Marked" style:family="text"><style:text-properties fo:background-color="#ffff00"/></style:style>
 <style:style style:name="Tabs" style:family="paragraph" style:parent-style-name="Standard">
  <style:paragraph-properties><style:tab-stops>
   <style:tab-stop style:position="3cm"/>
   <style:tab-stop style:position="8cm" style:type="center"/>
   <style:tab-stop style:position="14cm" style:type="right"/>
  </style:tab-stops></style:paragraph-properties>
 </style:style>
 <style:style style:name="Spaced" style:family="paragraph" style:parent-style-name="Standard">
  <style:paragraph-properties fo:margin-top="0.5cm" fo:margin-bottom="0.3cm" fo:line-height="150%"/>
 </style:style>
 <style:style style:name="Exact" style:family="paragraph" style:parent-style-name="Standard">
  <style:paragraph-properties fo:margin-top="0.2cm" fo:margin-bottom="0.6cm" fo:line-height="0.8cm"/>
 </style:style>
 <style:style style:name="NewPage" style:family="paragraph" style:parent-style-name="Standard">
  <style:paragraph-properties fo:break-before="page"/>
 </style:style>
 <style:style style:name="Table" style:family="table"><style:table-properties style:width="15cm" table:align="left"/></style:style>
 <style:style style:name="Cell" style:family="table-cell"><style:table-cell-properties fo:border="0.5pt solid #000000"/></style:style>
 <style:style style:name="Shaded" style:family="table-cell"><style:table-cell-properties fo:background-color="#c0c0ff" fo:border="0.5pt solid #000000"/></style:style>
 <style:style style:name="Wrapped" style:family="graphic"><style:graphic-properties style:wrap="parallel" style:horizontal-pos="right" style:horizontal-rel="paragraph"/></style:style>
 <style:style style:name="Inline" style:family="graphic"><style:graphic-properties style:vertical-pos="top" style:vertical-rel="baseline"/></style:style>
 <text:list-style style:name="Bullets">
  <text:list-level-style-bullet text:level="1" text:bullet-char="•"><style:list-level-properties text:space-before="0.6cm" text:min-label-width="0.6cm"/></text:list-level-style-bullet>
  <text:list-level-style-bullet text:level="2" text:bullet-char="◦"><style:list-level-properties text:space-before="1.2cm" text:min-label-width="0.6cm"/></text:list-level-style-bullet>
 </text:list-style>
 <text:list-style style:name="Numbers">
  <text:list-level-style-number text:level="1" style:num-format="1" style:num-suffix="."><style:list-level-properties text:space-before="0.6cm" text:min-label-width="0.6cm"/></text:list-level-style-number>
 </text:list-style>
 <style:style style:name="Wide" style:family="paragraph" style:parent-style-name="Standard" style:master-page-name="Wide"/>
 <style:style style:name="TwoColumns" style:family="section"><style:section-properties><style:columns fo:column-count="2" fo:column-gap="0.5cm"/></style:section-properties></style:style>
 <style:page-layout style:name="WidePage"><style:page-layout-properties fo:page-width="29.7cm" fo:page-height="21cm" style:print-orientation="landscape" fo:margin-top="1.5cm" fo:margin-bottom="1.5cm" fo:margin-left="2.5cm" fo:margin-right="2.5cm"/></style:page-layout>
 <style:page-layout style:name="Page"><style:page-layout-properties fo:page-width="21cm" fo:page-height="29.7cm" fo:margin-top="2cm" fo:margin-bottom="2cm" fo:margin-left="2cm" fo:margin-right="2cm"/><style:header-style/><style:footer-style/></style:page-layout>
</office:automatic-styles>
<office:master-styles>
 <style:master-page style:name="Standard" style:page-layout-name="Page">
@HEADER@
 </style:master-page>
 <style:master-page style:name="Wide" style:page-layout-name="WidePage"/>
</office:master-styles>
<office:body><office:text>
<text:p text:style-name="Standard">文書の始まりの段落です。</text:p>
@BODY@
</office:text></office:body>
</office:document>
'''

HEADER = ('  <style:header><text:p text:style-name="Standard">ヘッダーの文字列</text:p></style:header>\n'
          '  <style:footer><text:p text:style-name="Standard">フッターの文字列</text:p></style:footer>')

RUNS = '''<text:p text:style-name="Standard">普通の文字と<text:span text:style-name="Bold">太字の日本語</text:span>と<text:span text:style-name="Italic">斜体の日本語</text:span>と<text:span text:style-name="Large">大きな文字</text:span>と<text:span text:style-name="BoldLarge">太く大きな見出し</text:span>です。</text:p>
<text:p text:style-name="Standard">水の式はH<text:span text:style-name="Sub">2</text:span>Oで、面積はm<text:span text:style-name="Super">2</text:span>、<text:span text:style-name="Super">上付きの注</text:span>と<text:span text:style-name="Sub">下付きの添字</text:span>。</text:p>
<text:p text:style-name="Standard">ここは<text:span text:style-name="Marked">蛍光ペンで強調した部分</text:span>です。</text:p>
<text:p text:style-name="Tabs">品名<text:tab/>数量<text:tab/>単価<text:tab/>金額</text:p>
<text:p text:style-name="Spaced">前後に間隔があり、行間を一・五倍にした段落です。</text:p>
<text:p text:style-name="Exact">行の高さを固定した段落です。</text:p>
<text:p text:style-name="Standard">詳しくは<text:a xlink:type="simple" xlink:href="https://example.com/penloft/manual">説明書のページ</text:a>をご覧ください。</text:p>
<text:list text:style-name="Bullets">
 <text:list-item><text:p text:style-name="Standard">箇条書きの一つ目</text:p></text:list-item>
 <text:list-item><text:p text:style-name="Standard">箇条書きの二つ目</text:p>
  <text:list><text:list-item><text:p text:style-name="Standard">入れ子の項目</text:p></text:list-item></text:list>
 </text:list-item>
</text:list>
<text:list text:style-name="Numbers">
 <text:list-item><text:p text:style-name="Standard">番号付きの一つ目</text:p></text:list-item>
 <text:list-item><text:p text:style-name="Standard">番号付きの二つ目</text:p></text:list-item>
</text:list>
'''

NOTES = '''<text:p text:style-name="Standard">本文に脚注を付けます<text:note text:id="ftn1" text:note-class="footnote"><text:note-citation>1</text:note-citation><text:note-body><text:p text:style-name="Standard">一つ目の脚注の本文です。</text:p></text:note-body></text:note>。続けて二つ目<text:note text:id="ftn2" text:note-class="footnote"><text:note-citation>2</text:note-citation><text:note-body><text:p text:style-name="Standard">二つ目の脚注です。</text:p></text:note-body></text:note>も付けます。</text:p>
'''

TABLES = '''<table:table table:name="表1" table:style-name="Table">
 <table:table-column table:number-columns-repeated="3"/>
 <table:table-row>
  <table:table-cell table:style-name="Shaded" office:value-type="string"><text:p text:style-name="Standard">見出し一</text:p></table:table-cell>
  <table:table-cell table:style-name="Shaded" office:value-type="string"><text:p text:style-name="Standard">見出し二</text:p></table:table-cell>
  <table:table-cell table:style-name="Shaded" office:value-type="string"><text:p text:style-name="Standard">見出し三</text:p></table:table-cell>
 </table:table-row>
 <table:table-row>
  <table:table-cell table:style-name="Cell" table:number-columns-spanned="2" office:value-type="string"><text:p text:style-name="Standard">横に結合したセル</text:p></table:table-cell>
  <table:covered-table-cell/>
  <table:table-cell table:style-name="Cell" table:number-rows-spanned="2" office:value-type="string"><text:p text:style-name="Standard">縦に結合したセル</text:p></table:table-cell>
 </table:table-row>
 <table:table-row>
  <table:table-cell table:style-name="Cell" office:value-type="string"><text:p text:style-name="Standard">左下</text:p></table:table-cell>
  <table:table-cell table:style-name="Shaded" office:value-type="string"><text:p text:style-name="Standard">網掛けのセル</text:p></table:table-cell>
  <table:covered-table-cell/>
 </table:table-row>
</table:table>
'''

PICTURES = '''<text:p text:style-name="Standard">行内の図<draw:frame draw:style-name="Inline" draw:name="図1" text:anchor-type="as-char" svg:width="2cm" svg:height="1cm"><draw:image><office:binary-data>@RED@</office:binary-data></draw:image></draw:frame>のあとの文字。</text:p>
<text:p text:style-name="Standard"><draw:frame draw:style-name="Wrapped" draw:name="図2" text:anchor-type="paragraph" svg:x="9cm" svg:y="0cm" svg:width="3cm" svg:height="2cm"><draw:image><office:binary-data>@BLUE@</office:binary-data></draw:image></draw:frame>段落に固定した図の横を流れる文章です。</text:p>
'''

# A section of two columns on the page, one column again, then a landscape page: the office suite
# writes each as \\sect and the next section's words.
SECTIONS = '''<text:p text:style-name="Standard">一つ目の節の最後の段落です。</text:p>
<text:section text:style-name="TwoColumns" text:name="二段組">
<text:p text:style-name="Standard">二段組の節の段落です。</text:p>
</text:section>
<text:p text:style-name="Standard">二段組のあとの段落です。</text:p>
<text:p text:style-name="Wide">横向きのページの段落です。</text:p>
<text:p text:style-name="Standard">横向きのページの二つ目の段落です。</text:p>
'''

PAGE_BREAK = '<text:p text:style-name="NewPage">改ページのあとの段落です。</text:p>\n'

MARKDOWN = '''文書の始まりの段落です。

普通の文字と**太字の日本語**と*斜体の日本語*です。水の式はH~2~Oで、面積はm^2^です。

本文に脚注を付けます[^1]。詳しくは[説明書のページ](https://example.com/penloft/manual)をご覧ください。

- 箇条書きの一つ目
- 箇条書きの二つ目

1. 番号付きの一つ目
2. 番号付きの二つ目

| 見出し一 | 見出し二 |
|----------|----------|
| 左のセル | 右のセル |

行内の図![図](picture.png){width=2cm height=1cm}のあとの文字。

[^1]: 一つ目の脚注の本文です。
'''


def write(folder):
    """Writes the sources into `folder`; returns their paths: (flat OpenDocument files,
    Markdown files)."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    red = base64.b64encode(png(40, 20, (220, 40, 40))).decode()
    blue = base64.b64encode(png(30, 20, (40, 40, 220))).decode()
    pictures = PICTURES.replace('@RED@', red).replace('@BLUE@', blue)
    documents = {
        'all': (HEADER, RUNS + NOTES + TABLES + pictures + PAGE_BREAK),
        'runs': ('', RUNS),
        'tables': (HEADER, TABLES + pictures + PAGE_BREAK + NOTES),
        'sections': (HEADER, RUNS + SECTIONS),
    }
    fodt = []
    for name, (header, body) in documents.items():
        path = folder / (name + '.fodt')
        path.write_text(HEAD.replace('@HEADER@', header).replace('@BODY@', body), encoding='utf-8')
        fodt.append(path)
    (folder / 'picture.png').write_bytes(png(40, 20, (220, 40, 40)))
    markdown = folder / 'notes.md'
    markdown.write_text(MARKDOWN, encoding='utf-8')
    return fodt, [markdown]
