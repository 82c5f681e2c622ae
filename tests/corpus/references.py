"""References for the comparison where a reader misreads the original's own form.

Each rewrite below takes an original the other programs wrote and writes the same document in a
form the readers read as the RTF means it, for one construct that the office suite or the word
processor is known to misread. The saved file is then compared with the readings of the
rewritten original, not of the original: a reader's fault in the original is no loss of ours.
Each rewrite must still change a reading of every document it applies to (the corpus test fails
when it no longer does: take the rewrite off then), so that none outlives the fault it stands for.

The rewrites work on tokens (braces, control words and symbols, text), leave every other byte as
it was, and apply only where the construct stands exactly as described."""

import re

TOKEN = re.compile(rb'''\\[a-zA-Z]+-?[0-9]*[ ]?  # control word with its parameter and delimiter
                      | \\'[0-9a-fA-F]{2}      # escaped byte
                      | \\[^a-zA-Z]            # control symbol
                      | [{}]
                      | [\r\n]+
                      | [^\\{}\r\n]+           # text
                      | \\                     # a backslash at the end
                   ''', re.X)
# Groups whose text is not the paragraph's.
DESTINATIONS = (b'fonttbl', b'colortbl', b'stylesheet', b'info', b'pict', b'shp', b'footnote', b'header',
                b'headerl', b'headerr', b'headerf', b'footer', b'footerl', b'footerr', b'footerf', b'listtext',
                b'pntext', b'field', b'object', b'nonshppict', b'shppict')
SPACING = (b'sa', b'sb')
# Words that end a paragraph (for what the rewrites look at, a cell or a row does too).
BREAKS = (b'par', b'sect', b'cell', b'row')


def tokens(data):
    return TOKEN.findall(data)


def word(token):
    """The name of a control word token (b'par' for b'\\par '), or None; an escaped line break
    is a \\par."""
    if token in (b'\\\r', b'\\\n'):
        return b'par'
    m = re.match(rb'\\([a-zA-Z]+)', token)
    return m.group(1) if m else None


def is_text(token):
    """Whether the token puts text into the paragraph (characters, \\tab, \\uN, \\'hh...)."""
    if token in (b'{', b'}') or token.startswith((b'\r', b'\n')):
        return False
    if not token.startswith(b'\\'):
        return token.strip(b' ') != b''
    return token[1:2] in (b"'", b'~', b'_', b'\\', b'{', b'}') or word(token) in (
        b'u', b'tab', b'bullet', b'emdash', b'endash', b'lquote', b'rquote', b'ldblquote', b'rdblquote')


def group_end(toks, start):
    """The index just past the group that opens at toks[start]."""
    depth = 0
    for i in range(start, len(toks)):
        if toks[i] == b'{':
            depth += 1
        elif toks[i] == b'}':
            depth -= 1
            if depth == 0:
                return i + 1
    return len(toks)


def listtext_paragraphs(data):
    """The word processor writes each list item whole into a {\\listtext ...} group, its text and
    its \\par after the marker's tab, and no \\ls: readers that number lists themselves skip the
    group, and with it the item. The group is meant for the readers that do not number them,
    which read all of it as text; the rewrite reads it so: the group stops being a \\listtext
    destination, only its marker (up to the tab) stays one."""
    toks = tokens(data)
    out = []
    i = 0
    while i < len(toks):
        if toks[i] == b'{' and i + 1 < len(toks) and word(toks[i + 1]) == b'listtext':
            end = group_end(toks, i)
            inner = toks[i + 2:end - 1]
            if any(word(t) == b'par' for t in inner):
                tab = next((k for k, t in enumerate(inner) if word(t) == b'tab'), None)
                if tab is not None:
                    # The marker: up to the group holding the tab, closed where that group closes.
                    depth, close = 0, tab
                    for k in range(tab, -1, -1):
                        depth += {b'}': 1, b'{': -1}.get(inner[k], 0)
                        if depth < 0:
                            close = group_end(inner, k) - 1
                            break
                    lead = next(k for k, t in enumerate(inner) if t == b'{' or is_text(t))
                    out += [b'{'] + inner[:lead] + [b'{\\listtext '] + inner[lead:close + 1] + [b'}']
                    out += inner[close + 1:] + [b'}']
                    i = end
                    continue
        out.append(toks[i])
        i += 1
    return b''.join(out)


def page_after_text(data):
    """In a section that goes on on the same page (\\sbknone), once a picture came before, the
    office suite moves the last character before a \\page to the page after it. It ends the
    paragraph at a \\page and begins the next one with the page break: the rewrite ends the
    paragraph with \\par first (where text precedes the \\page in its paragraph), which it reads
    the same way without moving the character."""
    toks = tokens(data)
    if not any(word(t) == b'sbknone' for t in toks):
        return data
    out = []
    text = picture = False
    i = 0
    while i < len(toks):
        t = toks[i]
        name = word(t)
        if t == b'{' and i + 1 < len(toks) and (toks[i + 1] == b'\\*' or word(toks[i + 1]) in DESTINATIONS):
            end = group_end(toks, i)
            picture = picture or any(word(x) == b'pict' for x in toks[i:end])
            out += toks[i:end]
            i = end
            continue
        if name == b'page' and text and picture:
            out.append(b'\\par')
        if name in BREAKS or name == b'page':
            text = False
        elif is_text(t):
            text = True
        out.append(t)
        i += 1
    return b''.join(out)


def spacing_after_text(data):
    """The office suite takes a paragraph's space before and after (\\sb, \\sa) only from words
    before its first text; RTF gives a paragraph the properties in effect at its \\par. The
    converter writes a list's last item as "\\sa0 ... text\\sa180\\par": the rewrite moves such a
    word before the text where it changes the value in effect there and stands in the same group."""
    toks = tokens(data)
    out = []
    values = [{}]  # the spacing words in effect, by group
    first = None  # the paragraph's first text: (index in out, depth, the values in effect there)
    for t in toks:
        name = word(t)
        if t == b'{':
            values.append(dict(values[-1]))
        elif t == b'}':
            if len(values) > 1:
                values.pop()
            if first and len(values) < first[1]:
                first = None
        if name == b'pard':
            values[-1] = {}
        if name in BREAKS or name == b'pard':
            first = None
        elif first is None and is_text(t):
            first = (len(out), len(values), dict(values[-1]))
        elif name in SPACING:
            value = int(re.match(rb'\\[a-z]+(-?[0-9]*)', t).group(1) or 0)
            values[-1][name] = value
            moves = first is not None and len(values) == first[1] and first[2].get(name, 0) != value \
                and all(x not in (b'{', b'}') for x in out[first[0]:])
            if moves:
                out.insert(first[0], t if t.endswith(b' ') else t + b' ')
                first[2][name] = value
                first = (first[0] + 1, first[1], first[2])
                continue
        out.append(t)
    return b''.join(out)


REWRITES = {
    'listtext-paragraphs': listtext_paragraphs,
    'page-after-text': page_after_text,
    'spacing-after-text': spacing_after_text,
}


def applying(data):
    """The rewrites that change `data`, by name, each with what it makes of `data` alone."""
    found = {}
    for name, rewrite in REWRITES.items():
        rewritten = rewrite(data)
        if rewritten != data:
            found[name] = rewritten
    return found


def rewrite_all(data):
    for rewrite in REWRITES.values():
        data = rewrite(data)
    return data
