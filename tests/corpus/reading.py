"""What the office suite reads in a document: its flat OpenDocument export taken apart into the
features the corpus test compares (footnotes, header and footer text, pictures, table cells,
character runs, tab stops, spacing, page breaks, link targets, list items, sections).

Every feature is a plain value (lists of tuples) so that two readings compare with ==. Lengths
are millimetres rounded to whole ones (or tenths of a point for sizes): two writers rarely agree
on the last twip, and a lost feature differs by far more than that."""

import re
import xml.etree.ElementTree as ET

NS = {
    'office': 'urn:oasis:names:tc:opendocument:xmlns:office:1.0',
    'style': 'urn:oasis:names:tc:opendocument:xmlns:style:1.0',
    'text': 'urn:oasis:names:tc:opendocument:xmlns:text:1.0',
    'table': 'urn:oasis:names:tc:opendocument:xmlns:table:1.0',
    'draw': 'urn:oasis:names:tc:opendocument:xmlns:drawing:1.0',
    'fo': 'urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0',
    'xlink': 'http://www.w3.org/1999/xlink',
    'svg': 'urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0',
    'loext': 'urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0',
}

FEATURES = ['text', 'footnotes', 'header_footer', 'pictures', 'table_cells', 'merged_cells',
            'cell_shading', 'japanese_runs', 'super_sub', 'highlights', 'tab_stops', 'spacing',
            'page_breaks', 'links', 'list_items', 'sections']


def q(name):
    prefix, local = name.split(':')
    return '{%s}%s' % (NS[prefix], local)


def mm(length):
    """A length attribute ("0.5cm", "12pt", "0.25in") in whole millimetres; None when absent."""
    if not length:
        return None
    m = re.fullmatch(r'(-?[\d.]+)(cm|mm|in|pt|pc|px)?', length.strip())
    if not m:
        return length
    factor = {'cm': 10, 'mm': 1, 'in': 25.4, 'pt': 25.4 / 72, 'pc': 25.4 / 6, 'px': 25.4 / 96,
              None: 1}[m.group(2)]
    return round(float(m.group(1)) * factor)


def points(size):
    m = re.fullmatch(r'([\d.]+)pt', (size or '').strip())
    return round(float(m.group(1)), 1) if m else size


# A list item's number or bullet written out as text: the text feature leaves it to list_items.
LABEL = re.compile(r'^\s*(?:[0-9]+[.)]|[a-zA-Z][.)]|[\u2022\u25e6\u25aa\u00b7\u30fb*-])?\t')
# The word processor writes some frame properties where the suite reads them as text
# ("ypos:0.0in; frame-width:1.1in; ..."); the editor rightly leaves them out.
FRAME_PROPERTIES = re.compile(r'(?:[a-z][a-z-]*:[\x21-\x3a\x3c-\x7e]*;\s*)+(?:[a-z][a-z-]*:[\x21-\x3a\x3c-\x7e]*)?')


def plain(text):
    return FRAME_PROPERTIES.sub('', LABEL.sub('', text))


def is_japanese(ch):
    code = ord(ch)
    return (0x3040 <= code <= 0x30FF or 0x4E00 <= code <= 0x9FFF or 0x3400 <= code <= 0x4DBF
            or 0xFF00 <= code <= 0xFFEF or 0x3000 <= code <= 0x303F)


class Styles:
    """Named and automatic styles with their parents, looked up as the suite resolves them."""

    def __init__(self, root):
        self.styles = {}
        self.defaults = {}
        self.list_styles = {}
        for holder in root.iter():
            if holder.tag not in (q('office:styles'), q('office:automatic-styles')):
                continue
            for style in holder:
                if style.tag == q('style:style'):
                    key = (style.get(q('style:family')), style.get(q('style:name')))
                    self.styles[key] = style
                elif style.tag == q('style:default-style'):
                    self.defaults[style.get(q('style:family'))] = style
                elif style.tag == q('text:list-style'):
                    self.list_styles[style.get(q('style:name'))] = style

    def chain(self, family, name):
        """The style and its parents, outermost parent first, after the family's default."""
        found = []
        seen = set()
        while name and (family, name) in self.styles and name not in seen:
            seen.add(name)
            style = self.styles[(family, name)]
            found.append(style)
            name = style.get(q('style:parent-style-name'))
        default = self.defaults.get(family)
        return ([default] if default is not None else []) + list(reversed(found))

    def props(self, family, name, kind):
        """The attributes of the style's <style:KIND> as inherited, by qualified name."""
        merged = {}
        for style in self.chain(family, name):
            for element in style.findall(q('style:' + kind)):
                merged.update(element.attrib)
        return merged

    def tab_stops(self, name):
        stops = None
        for style in self.chain('paragraph', name):
            props = style.find(q('style:paragraph-properties'))
            if props is not None and props.find(q('style:tab-stops')) is not None:
                stops = tuple((mm(t.get(q('style:position'))), t.get(q('style:type'), 'left'))
                              for t in props.find(q('style:tab-stops')))
        return stops or ()

    def list_kind(self, name, level):
        style = self.list_styles.get(name)
        if style is None:
            return 'list'
        for entry in style:
            if entry.get(q('text:level')) == str(level):
                if entry.tag == q('text:list-level-style-number'):
                    fmt = entry.get(q('style:num-format'))
                    return 'number' if fmt else 'none'
                if entry.tag == q('text:list-level-style-bullet'):
                    return 'bullet'
        return 'list'


def char_attrs(text_props, japanese):
    def pick(western, asian):
        if japanese and q(asian) in text_props:
            return text_props[q(asian)]
        return text_props.get(q(western))
    weight = pick('fo:font-weight', 'style:font-weight-asian') or 'normal'
    bold = weight == 'bold' or (weight.isdigit() and int(weight) >= 600)
    italic = (pick('fo:font-style', 'style:font-style-asian') or 'normal') in ('italic', 'oblique')
    size = points(pick('fo:font-size', 'style:font-size-asian'))
    position = (text_props.get(q('style:text-position')) or '').split()
    place = ''
    if position:
        first = position[0]
        if first == 'super' or (first.endswith('%') and float(first[:-1]) > 0):
            place = 'super'
        elif first == 'sub' or (first.endswith('%') and float(first[:-1]) < 0):
            place = 'sub'
    background = text_props.get(q('fo:background-color'))
    if background in (None, 'transparent'):
        background = ''
    return (bold, italic, size, place, background)


class Paragraph:
    def __init__(self, style, text_props, para_props, tabs, in_table, list_item):
        self.style = style
        self.text_props = text_props
        self.para_props = para_props
        self.tabs = tabs
        self.in_table = in_table
        self.list_item = list_item  # (level, kind) or None
        self.chars = []  # (character, attrs, link target)
        self.notes = []  # (position in chars, class, text)
        self.break_before = False

    @property
    def text(self):
        return ''.join(c[0] for c in self.chars)

    def prefix(self):
        return LABEL.sub('', self.text).strip()[:12]


class Reader:
    """Walks the body of one flat OpenDocument file in document order."""

    def __init__(self, root):
        self.styles = Styles(root)
        self.paragraphs = []  # the main flow: body, lists and table cells
        self.frames = []  # (anchor, width, height) of each picture
        self.tables = []  # each: list of rows, each a list of (text, colspan, rowspan, shading)
        self.pending_break = False
        self.sections = []  # (paragraph, page style) or (paragraph, column count) where each begins
        self.layouts = {}  # page style: (width, height) of its page layout
        layouts = {l.get(q('style:name')): l.find(q('style:page-layout-properties'))
                   for l in root.iter(q('style:page-layout'))}
        for master in root.iter(q('style:master-page')):
            props = layouts.get(master.get(q('style:page-layout-name')))
            if props is not None:
                self.layouts[master.get(q('style:name'))] = (mm(props.get(q('fo:page-width'))),
                                                             mm(props.get(q('fo:page-height'))))

    def para_texts(self, element):
        """The text of the paragraphs inside an element (a note body, a header), walked apart
        from the main flow."""
        saved = self.paragraphs, self.pending_break
        self.paragraphs = []
        self.blocks(element, False, None)
        texts = [p.text for p in self.paragraphs]
        self.paragraphs, self.pending_break = saved
        return texts

    def blocks(self, element, in_table, list_item):
        for child in element:
            tag = child.tag
            if tag in (q('text:p'), q('text:h')):
                self.paragraph(child, in_table, list_item)
            elif tag == q('text:list'):
                self.list(child, in_table, 1, child.get(q('text:style-name')))
            elif tag == q('table:table'):
                self.table(child)
            elif tag in (q('text:section'), q('text:index-body'), q('text:table-of-content')):
                columns = self.section_columns(child) if tag == q('text:section') else 1
                first = len(self.paragraphs)
                self.blocks(child, in_table, list_item)
                if columns > 1 and len(self.paragraphs) > first:
                    self.sections.append((self.paragraphs[first], columns))

    def section_columns(self, element):
        for style in self.styles.chain('section', element.get(q('text:style-name'))):
            for columns in style.iter(q('style:columns')):
                return int(columns.get(q('fo:column-count')) or 1)
        return 1

    def list(self, element, in_table, level, style):
        for item in element:
            if item.tag not in (q('text:list-item'), q('text:list-header')):
                continue
            kind = self.styles.list_kind(style, level) if item.tag == q('text:list-item') else None
            for child in item:
                if child.tag == q('text:list'):
                    self.list(child, in_table, level + 1, child.get(q('text:style-name')) or style)
                else:
                    self.blocks([child], in_table, (level, kind) if kind else None)
                    kind = None  # the item's later paragraphs continue it

    def table(self, element):
        props = self.styles.props('table', element.get(q('table:style-name')), 'table-properties')
        if props.get(q('fo:break-before')) == 'page':
            self.pending_break = True
        rows = []
        for row in element.iter(q('table:table-row')):
            cells = []
            for cell in row:
                if cell.tag != q('table:table-cell'):
                    continue
                first = len(self.paragraphs)
                self.blocks(cell, True, None)
                text = '\n'.join(p.text for p in self.paragraphs[first:])
                shade = self.styles.props('table-cell', cell.get(q('table:style-name')),
                                          'table-cell-properties').get(q('fo:background-color'))
                cells.append((text, int(cell.get(q('table:number-columns-spanned'), '1')),
                              int(cell.get(q('table:number-rows-spanned'), '1')),
                              '' if shade in (None, 'transparent') else shade.lower()))
            rows.append(cells)
        self.tables.append(rows)
        if props.get(q('fo:break-after')) == 'page':
            self.pending_break = True

    def paragraph(self, element, in_table, list_item):
        name = element.get(q('text:style-name'))
        para_props = self.styles.props('paragraph', name, 'paragraph-properties')
        para = Paragraph(name, self.styles.props('paragraph', name, 'text-properties'), para_props,
                         self.styles.tab_stops(name), in_table, list_item)
        master = self.styles.chain('paragraph', name)[-1].get(q('style:master-page-name')) \
            if self.styles.chain('paragraph', name) else None
        if master:
            self.sections.append((para, self.layouts.get(master)))
        para.break_before = self.pending_break or para_props.get(q('fo:break-before')) == 'page' \
            or (bool(master) and bool(self.paragraphs))
        self.pending_break = para_props.get(q('fo:break-after')) == 'page'
        self.paragraphs.append(para)
        self.inline(element, para, para.text_props, None)

    def inline(self, element, para, props, link):
        if element.text:
            self.add(para, element.text, props, link)
        for child in element:
            tag = child.tag
            if tag == q('text:span'):
                inner = dict(props)
                inner.update(self.styles.props('text', child.get(q('text:style-name')), 'text-properties'))
                self.inline(child, para, inner, link)
            elif tag in (q('text:a'), q('draw:a')):
                self.inline(child, para, props, child.get(q('xlink:href')))
            elif tag == q('text:s'):
                self.add(para, ' ' * int(child.get(q('text:c'), '1')), props, link)
            elif tag == q('text:tab'):
                self.add(para, '\t', props, link)
            elif tag == q('text:line-break'):
                self.add(para, '\n', props, link)
            elif tag == q('text:note'):
                body = child.find(q('text:note-body'))
                texts = self.para_texts(body) if body is not None else []
                para.notes.append((len(para.chars), child.get(q('text:note-class')), '\n'.join(texts)))
            elif tag == q('draw:frame'):
                self.frame(child, para)
            elif tag in (q('office:annotation'), q('text:bookmark'), q('text:bookmark-start'),
                         q('text:bookmark-end'), q('text:soft-page-break'), q('draw:custom-shape')):
                pass
            else:
                self.inline(child, para, props, link)
            if child.tail:
                self.add(para, child.tail, props, link)

    def frame(self, element, para):
        anchor = element.get(q('text:anchor-type'), 'paragraph')
        size = (mm(element.get(q('svg:width'))), mm(element.get(q('svg:height'))))
        if element.find(q('draw:image')) is not None or element.find(q('draw:object-ole')) is not None:
            self.frames.append(('inline' if anchor == 'as-char' else 'anchored',) + size)
        box = element.find(q('draw:text-box'))
        if box is not None:
            for inner in box.iter(q('draw:frame')):
                self.frame(inner, para)

    def add(self, para, text, props, link):
        for ch in text:
            para.chars.append((ch, char_attrs(props, is_japanese(ch)), link))


def runs(chars, key):
    """Maximal runs of consecutive characters with the same key (None breaks a run), as
    (text, key) pairs."""
    found = []
    for ch, attrs, link in chars:
        k = key(ch, attrs, link)
        if k is not None and found and found[-1][1] == k and found[-1][2]:
            found[-1][0] += ch
        elif k is not None:
            found.append([ch, k, True])
        elif found:
            found[-1][2] = False
    return [(text.strip(), k) for text, k, _ in found if text.strip()]


def spacing_of(para):
    props = para.para_props
    line = props.get(q('fo:line-height')) or ''
    if line.endswith('%'):
        line = '' if line == '100%' else line
    elif line:
        line = 'exact %s' % mm(line)
    if props.get(q('style:line-height-at-least')):
        line = 'least %s' % mm(props[q('style:line-height-at-least')])
    if props.get(q('style:line-spacing')):
        line = 'leading %s' % mm(props[q('style:line-spacing')])
    before = mm(props.get(q('fo:margin-top'))) or 0
    after = mm(props.get(q('fo:margin-bottom'))) or 0
    return (before, after, line) if (before or after or line) else None


def header_footer(root, reader):
    texts = set()
    for master in root.iter(q('style:master-page')):
        for part in master:
            if part.tag.split('}')[1].startswith(('header', 'footer')):
                for text in reader.para_texts(part):
                    if text.strip():
                        texts.add(('header' if 'header' in part.tag else 'footer', text.strip()))
    return sorted(texts)


def sections_of(reader):
    """Where each page style or column layout begins, and what it is (page size, or number of
    columns); empty for a document of one page style in one column. A page style that repeats
    the page before it is a page break (see page_breaks), not a section."""
    sections, page = [], None
    for p, kind in reader.sections:
        if p.in_table or (not isinstance(kind, int) and kind == page):
            continue
        if not isinstance(kind, int):
            page = kind
        sections.append((p.prefix(), kind))
    if len(sections) < 2 and not any(isinstance(kind, int) for _, kind in sections):
        return []
    return sections


def features(path, typed=None):
    """The features of a flat OpenDocument file. `typed`: the character the editor typed at the
    start, taken off the first paragraph (None when it is not there: a feature of its own)."""
    root = ET.parse(path).getroot()
    reader = Reader(root)
    body = root.find(q('office:body')).find(q('office:text'))
    reader.blocks(body, False, None)
    main = reader.paragraphs
    typed_ok = True
    if typed is not None:
        first = next((p for p in main if p.chars), None)
        typed_ok = first is not None and first.chars[0][0] == typed
        if typed_ok:
            del first.chars[0]
            first.notes = [(pos - 1 if pos > 0 else 0, cls, text) for pos, cls, text in first.notes]
    chars = [c for p in main for c in p.chars + [('\n', None, None)]]
    result = {
        'text': [plain(p.text) for p in main if plain(p.text).strip()],
        'footnotes': [(cls, text, p.text[max(0, pos - 8):pos]) for p in main for pos, cls, text in p.notes],
        'header_footer': header_footer(root, reader),
        'pictures': reader.frames,
        'table_cells': [[[c[0] for c in row] for row in t] for t in reader.tables],
        'merged_cells': [(c[0], c[1], c[2]) for t in reader.tables for row in t for c in row
                         if c[1] > 1 or c[2] > 1],
        'cell_shading': [(c[0], c[3]) for t in reader.tables for row in t for c in row if c[3]],
        'japanese_runs': runs(chars, lambda ch, a, l: a[:3] if a and is_japanese(ch) else None),
        'super_sub': runs(chars, lambda ch, a, l: a[3] if a and a[3] else None),
        'highlights': runs(chars, lambda ch, a, l: a[4] if a and a[4] else None),
        'tab_stops': [(p.prefix(), p.tabs) for p in main if p.tabs],
        'spacing': [(p.prefix(), spacing_of(p)) for p in main if spacing_of(p)],
        'page_breaks': [p.prefix() for i, p in enumerate(main) if p.break_before and i > 0],
        'links': runs(chars, lambda ch, a, l: l),
        'list_items': [(p.text.strip(), p.list_item[0], p.list_item[1]) for p in main if p.list_item],
        'sections': sections_of(reader),
    }
    return result, typed_ok
