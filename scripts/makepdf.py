#!/usr/bin/env python3
"""Writes a plain PDF 1.4 document for tests, samples and benchmarks.

Usage:
  makepdf.py OUT.pdf [--pages N] [--size WxH] [--page WxH]... [--link P:X0,Y0,X1,Y1:URI]...
                     [--goto P:X0,Y0,X1,Y1:TARGETPAGE]... [--words W]... [--line TEXT]...
                     [--bookmark LEVEL:PAGE:TITLE]... [--bookmarks N]

Pages are added in command-line order: --page WxH adds one page of that size in points; --pages N
adds N pages of --size (default 612x792). With neither, the document is one Letter page.

Every page has a heading "Page n", a dozen lines of English body text, any --words (each once per
page), any --line below them (each its own line, e.g. a word hyphenated at a line end), and a thin
black border 1 pt inside its edges, so tests can find the page by its pixels.
--link adds a URI link on page P (1-based) over that rectangle in PDF user space, with the word
"link" drawn in blue inside it; --goto adds a link to page TARGETPAGE the same way.
--bookmark adds an outline item at LEVEL (1 is the top) leading to the top of PAGE, in command-line
order, each under the last item of the level above; --bookmarks N adds N generated ones on three
levels ("Chapter c", "Section c.s", "Item c.s.i") spread over the pages.
Fonts are the standard Helvetica, not embedded. Pages share the font, the resources and the body
text streams, so thousands of pages take little time and space.
"""
import argparse
import sys

LETTER = (612.0, 792.0)
BODY_SIZE = 11
BODY_LEADING = 15
HEADING_SIZE = 24
BODY_LINES = 12
LINK_TEXT = "link"

# Ordinary sentences, so that text search has real words to find. Each page takes BODY_LINES of
# them, starting at a place that depends on its number, so neighbouring pages differ.
SENTENCES = [
    "A light breeze came off the harbour and carried the smell of salt and rope.",
    "The old lighthouse keeper counted the ships that passed before the storm.",
    "Maps of the northern coast were drawn by hand on thick yellow paper.",
    "She opened the window and listened to the wind moving through the pines.",
    "Every morning the baker set out bread, honey and a pot of strong coffee.",
    "The library kept its rarest books in a quiet room behind a green door.",
    "Children ran along the river, chasing paper boats towards the bridge.",
    "A careful reader notices the small details that others pass over.",
    "The garden was full of tomatoes, beans, lavender and tall sunflowers.",
    "Clouds gathered over the valley, and the first drops fell on the roofs.",
    "He wrote long letters to his sister, describing each town on the road.",
    "The museum displayed a clock that had not stopped for two hundred years.",
    "Fishermen mended their nets while gulls circled above the quiet boats.",
    "In winter the village square was lit by lanterns and warm windows.",
    "The train climbed slowly through the mountains, past lakes and forests.",
    "A small cat slept on the piano, ignoring the music and the visitors.",
    "The market sold apples, cheese, fresh herbs and baskets of wild berries.",
    "Students gathered in the hall to hear a lecture about distant planets.",
    "The bridge was painted blue, and its lamps were reflected in the water.",
    "An orchestra rehearsed in the theatre while the city was still asleep.",
    "Sailors told stories of islands where the sand was as white as snow.",
    "The teacher drew a large triangle on the board and asked for its area.",
    "A hot summer afternoon ended with thunder and a long evening of rain.",
    "Travellers rested at the inn, sharing soup, bread and news of the road.",
]


class UsageError(Exception):
    pass


# --- Command line ----------------------------------------------------------------------------

def parse_size(text):
    try:
        width, height = (float(part) for part in text.lower().split("x"))
    except ValueError:
        raise UsageError(f"size {text!r} is not WxH")
    if not (0 < width <= 14400 and 0 < height <= 14400):  # PDF 1.4's largest page is 200 inches
        raise UsageError(f"size {text!r} is outside 0 < W, H <= 14400 points")
    return width, height


def parse_rect(text):
    try:
        x0, y0, x1, y1 = (float(part) for part in text.split(","))
    except ValueError:
        raise UsageError(f"rectangle {text!r} is not X0,Y0,X1,Y1")
    return min(x0, x1), min(y0, y1), max(x0, x1), max(y0, y1)


def parse_link(text):
    """P:X0,Y0,X1,Y1:REST -> (page index from 0, rectangle, REST). REST may hold colons."""
    parts = text.split(":", 2)
    if len(parts) != 3 or not parts[0].isdigit() or not parts[2]:
        raise UsageError(f"link {text!r} is not P:X0,Y0,X1,Y1:TARGET")
    return int(parts[0]) - 1, parse_rect(parts[1]), parts[2]


class AddPages(argparse.Action):
    """Records --page and --pages in command-line order; --pages takes --size at the end."""

    def __call__(self, parser, namespace, value, option):
        order = getattr(namespace, "order", None) or []
        order.append((option, value))
        namespace.order = order


def parse_arguments(argv):
    global BODY_LINES
    parser = argparse.ArgumentParser(description="Writes a plain PDF 1.4 document for tests.")
    parser.add_argument("out")
    parser.add_argument("--pages", action=AddPages, type=int, metavar="N")
    parser.add_argument("--page", action=AddPages, metavar="WxH")
    parser.add_argument("--size", default="612x792", metavar="WxH")
    parser.add_argument("--link", action="append", default=[], metavar="P:X0,Y0,X1,Y1:URI")
    parser.add_argument("--goto", action="append", default=[], metavar="P:X0,Y0,X1,Y1:TARGETPAGE")
    parser.add_argument("--words", action="append", default=[], metavar="W")
    parser.add_argument("--line", action="append", default=[], metavar="TEXT")
    parser.add_argument("--bookmark", action="append", default=[], metavar="LEVEL:PAGE:TITLE")
    parser.add_argument("--bookmarks", type=int, default=0, metavar="N")
    parser.add_argument("--lines", type=int, default=12, metavar="N",
                        help="lines of body text on each page (a full page of text for benchmarks)")
    args = parser.parse_args(argv)
    if not 0 <= args.lines <= 400:
        raise UsageError("--lines must be between 0 and 400")
    BODY_LINES = args.lines

    sizes = []
    for option, value in getattr(args, "order", None) or []:
        if option == "--page":
            sizes.append(parse_size(value))
        elif value < 0:
            raise UsageError("--pages must not be negative")
        else:
            sizes.extend([parse_size(args.size)] * value)
    if not getattr(args, "order", None):
        sizes = [LETTER]
    if not sizes:
        raise UsageError("the document would have no page")

    links = [[] for _ in sizes]
    for text in args.link:
        page, rect, uri = parse_link(text)
        if not 0 <= page < len(sizes):
            raise UsageError(f"link {text!r}: no page {page + 1}")
        links[page].append((rect, ("uri", uri)))
    for text in args.goto:
        page, rect, target = parse_link(text)
        if not 0 <= page < len(sizes):
            raise UsageError(f"goto {text!r}: no page {page + 1}")
        if not target.isdigit() or not 1 <= int(target) <= len(sizes):
            raise UsageError(f"goto {text!r}: no target page {target}")
        links[page].append((rect, ("goto", int(target) - 1)))
    for word in args.words + args.line:
        pdf_text(word)  # refuses words that Helvetica's encoding cannot show
    bookmarks = [parse_bookmark(text, len(sizes)) for text in args.bookmark]
    bookmarks += generated_bookmarks(args.bookmarks, len(sizes))
    if bookmarks and bookmarks[0][0] != 1 or any(b[0] > a[0] + 1 for a, b in zip(bookmarks, bookmarks[1:])):
        raise UsageError("each bookmark is at most one level below the one before it, the first at level 1")
    return args.out, sizes, links, args.words, args.line, bookmarks


def parse_bookmark(text, page_count):
    """LEVEL:PAGE:TITLE -> (level, page index from 0, title)."""
    parts = text.split(":", 2)
    if len(parts) != 3 or not parts[0].isdigit() or not parts[1].isdigit() or int(parts[0]) < 1:
        raise UsageError(f"bookmark {text!r} is not LEVEL:PAGE:TITLE")
    if not 1 <= int(parts[1]) <= page_count:
        raise UsageError(f"bookmark {text!r}: no page {parts[1]}")
    pdf_text(parts[2])
    return int(parts[0]), int(parts[1]) - 1, parts[2]


def generated_bookmarks(count, page_count):
    """Chapters of 10 sections of 10 items, one page after another."""
    out = []
    for n in range(count):
        c, k = n // 111, n % 111
        page = n * page_count // max(count, 1)
        if k == 0:
            out.append((1, page, f"Chapter {c + 1}"))
        elif (k - 1) % 11 == 0:
            out.append((2, page, f"Section {c + 1}.{(k - 1) // 11 + 1}"))
        else:
            out.append((3, page, f"Item {c + 1}.{(k - 1) // 11 + 1}.{(k - 1) % 11}"))
    return out


# --- PDF syntax ------------------------------------------------------------------------------

def number(value):
    """A PDF number: integers without a point, others with at most three decimals."""
    if value == int(value):
        return str(int(value))
    return f"{value:.3f}".rstrip("0").rstrip(".")


def pdf_text(text):
    """A literal string in WinAnsiEncoding, with the characters PDF treats specially escaped."""
    try:
        raw = text.encode("cp1252")
    except UnicodeEncodeError:
        raise UsageError(f"{text!r} cannot be written in Helvetica's WinAnsiEncoding")
    raw = raw.replace(b"\\", b"\\\\").replace(b"(", b"\\(").replace(b")", b"\\)")
    raw = raw.replace(b"\r", b"\\r").replace(b"\n", b"\\n")
    return b"(" + raw + b")"


class PdfWriter:
    """Collects numbered objects and writes them with a cross-reference table."""

    def __init__(self):
        self.objects = [None]  # object 0 is the head of the free list

    def reserve(self):
        self.objects.append(None)
        return len(self.objects) - 1

    def set(self, number_, body):
        self.objects[number_] = body

    def add(self, body):
        number_ = self.reserve()
        self.set(number_, body)
        return number_

    def add_stream(self, content):
        return self.add(b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream")

    def write(self, path, root):
        out = [b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n"]
        offsets = []
        position = len(out[0])
        for index, body in enumerate(self.objects[1:], start=1):
            if body is None:
                raise RuntimeError(f"object {index} was reserved but never written")
            chunk = b"%d 0 obj\n" % index + body + b"\nendobj\n"
            offsets.append(position)
            out.append(chunk)
            position += len(chunk)
        xref = [b"xref\n0 %d\n" % len(self.objects), b"0000000000 65535 f \n"]
        xref += [b"%010d 00000 n \n" % offset for offset in offsets]
        out += xref
        out.append(b"trailer\n<< /Size %d /Root %d 0 R >>\nstartxref\n%d\n%%%%EOF\n"
                   % (len(self.objects), root, position))
        with open(path, "wb") as f:
            f.write(b"".join(out))


# --- Page content ----------------------------------------------------------------------------

def margin_of(width, height):
    """An inch, or less on small pages, so that the text starts on the page."""
    return min(72.0, min(width, height) / 10)


def heading_baseline(width, height):
    return height - margin_of(width, height) - HEADING_SIZE


def body_top(width, height):
    """The first body line's baseline, two lines below the heading's."""
    return heading_baseline(width, height) - 2 * BODY_LEADING


def body_lines(variant):
    return [SENTENCES[(variant + i) % len(SENTENCES)] for i in range(BODY_LINES)]


def body_stream(variant, width, height):
    """The shared body text: the same for every page of one size and variant."""
    left, top = number(margin_of(width, height)).encode(), number(body_top(width, height)).encode()
    parts = [b"BT /F1 %d Tf %d TL 0 g %s %s Td" % (BODY_SIZE, BODY_LEADING, left, top)]
    for i, line in enumerate(body_lines(variant)):
        parts.append((b"" if i == 0 else b"T* ") + pdf_text(line) + b" Tj")
    parts.append(b"ET")
    return b"\n".join(parts)


def page_stream(page_number, width, height, words, lines, links):
    """What differs between pages: the heading, the border, the extra words and lines, the link labels."""
    margin = margin_of(width, height)
    n = number
    parts = [
        # The border, 1 pt inside the edges.
        b"q 0 G 1 w 1 1 %s %s re S Q" % (n(width - 2).encode(), n(height - 2).encode()),
        b"BT /F1 %d Tf 0 g %s %s Td %s Tj ET" % (HEADING_SIZE, n(margin).encode(),
                                                  n(heading_baseline(width, height)).encode(),
                                                  pdf_text(f"Page {page_number}")),
    ]
    y = body_top(width, height) - BODY_LEADING * BODY_LINES
    if words:
        line = pdf_text("Also on this page: " + " ".join(words) + ".")
        parts.append(b"BT /F1 %d Tf 0 g %s %s Td %s Tj ET" % (BODY_SIZE, n(margin).encode(), n(y).encode(), line))
        y -= BODY_LEADING
    for text in lines:
        parts.append(b"BT /F1 %d Tf 0 g %s %s Td %s Tj ET" % (BODY_SIZE, n(margin).encode(), n(y).encode(),
                                                             pdf_text(text)))
        y -= BODY_LEADING
    for (x0, y0, x1, y1), _ in links:
        size = max(1.0, min(12.0, (y1 - y0) * 0.7))
        baseline = y0 + (y1 - y0 - size * 0.7) / 2  # Helvetica's capitals are ~0.7 em tall
        parts.append(b"BT /F1 %s Tf 0 0 1 rg %s %s Td %s Tj ET" % (
            n(size).encode(), n(x0 + 2).encode(), n(baseline).encode(), pdf_text(LINK_TEXT)))
    return b"\n".join(parts)


def annotation(rect, action, page_refs):
    x0, y0, x1, y1 = (number(v).encode() for v in rect)
    head = b"<< /Type /Annot /Subtype /Link /Rect [%s %s %s %s] /Border [0 0 0]" % (x0, y0, x1, y1)
    kind, target = action
    if kind == "uri":
        return head + b" /A << /S /URI /URI " + pdf_text(target) + b" >> >>"
    return head + b" /Dest [%d 0 R /Fit] >>" % page_refs[target]


# --- The document ----------------------------------------------------------------------------

def add_outline(pdf, bookmarks, page_refs):
    """The outline's objects; the root's number, or None without bookmarks."""
    if not bookmarks:
        return None
    root = pdf.reserve()
    numbers = [pdf.reserve() for _ in bookmarks]
    children = {root: []}
    parents, stack = [], [root]
    for index, (level, _, _) in enumerate(bookmarks):
        del stack[level:]
        parents.append(stack[-1])
        children[stack[-1]].append(numbers[index])
        children[numbers[index]] = []
        stack.append(numbers[index])
    for index, (level, page, title) in enumerate(bookmarks):
        number_ = numbers[index]
        siblings = children[parents[index]]
        at = siblings.index(number_)
        body = b"<< /Title " + pdf_text(title) + b" /Parent %d 0 R /Dest [%d 0 R /Fit]" % (parents[index],
                                                                                        page_refs[page])
        if at > 0:
            body += b" /Prev %d 0 R" % siblings[at - 1]
        if at + 1 < len(siblings):
            body += b" /Next %d 0 R" % siblings[at + 1]
        if children[number_]:
            body += b" /First %d 0 R /Last %d 0 R /Count -%d" % (children[number_][0], children[number_][-1],
                                                                 len(children[number_]))
        pdf.set(number_, body + b" >>")
    top = children[root]
    pdf.set(root, b"<< /Type /Outlines /First %d 0 R /Last %d 0 R /Count %d >>" % (top[0], top[-1], len(top)))
    return root


def build(out, sizes, links, words, lines, bookmarks=()):
    pdf = PdfWriter()
    catalog = pdf.reserve()
    pages = pdf.reserve()
    font = pdf.add(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>")
    resources = pdf.add(b"<< /Font << /F1 %d 0 R >> /ProcSet [/PDF /Text] >>" % font)
    page_refs = [pdf.reserve() for _ in sizes]

    bodies = {}
    for index, (width, height) in enumerate(sizes):
        variant = (index * 5) % len(SENTENCES)
        key = (variant, width, height)
        if key not in bodies:
            bodies[key] = pdf.add_stream(body_stream(variant, width, height))
        own = pdf.add_stream(page_stream(index + 1, width, height, words, lines, links[index]))
        annots = [pdf.add(annotation(rect, action, page_refs)) for rect, action in links[index]]
        dictionary = b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 %s %s] /Resources %d 0 R " \
                     b"/Contents [%d 0 R %d 0 R]" % (pages, number(width).encode(), number(height).encode(),
                                                     resources, own, bodies[key])
        if annots:
            dictionary += b" /Annots [" + b" ".join(b"%d 0 R" % a for a in annots) + b"]"
        pdf.set(page_refs[index], dictionary + b" >>")

    kids = b" ".join(b"%d 0 R" % ref for ref in page_refs)
    pdf.set(pages, b"<< /Type /Pages /Kids [%s] /Count %d >>" % (kids, len(sizes)))
    outline = add_outline(pdf, bookmarks, page_refs)
    pdf.set(catalog, b"<< /Type /Catalog /Pages %d 0 R%s >>" % (pages, b" /Outlines %d 0 R" % outline if outline else b""))
    pdf.write(out, catalog)


def main(argv):
    try:
        out, sizes, links, words, lines, bookmarks = parse_arguments(argv)
        build(out, sizes, links, words, lines, bookmarks)
    except UsageError as error:
        print(f"makepdf: {error}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
