#!/usr/bin/env python3
"""Writes a C++ source with the non-ASCII characters of its string and character literals as
octal escapes of their UTF-8 bytes, so that every compiler gives the programs the same bytes
whatever its execution character set.

    escape_codepage.py SOURCE OUTPUT    write the escaped copy (a #line keeps SOURCE in messages)
    escape_codepage.py --list LIST FILE...
        write to LIST, ';'-separated, the files that need a copy; when LIST existed and said
        otherwise, fail: the build that runs this must be configured again (LIST is one of its
        configure dependencies, so the next build does that)
"""
import os
import sys


def escaped(text, path):
    """text with every non-ASCII character inside a literal turned into octal escapes."""
    out = []
    i, n = 0, len(text)
    quote = None  # the quote character of the literal we are in
    while i < n:
        c = text[i]
        if quote is None:
            if text.startswith('//', i):
                end = text.find('\n', i)
                end = n if end < 0 else end
                out.append(text[i:end])
                i = end
                continue
            if text.startswith('/*', i):
                end = text.find('*/', i + 2)
                end = n if end < 0 else end + 2
                out.append(text[i:end])
                i = end
                continue
            if c in '"\'':
                quote = c
            out.append(c)
            i += 1
            continue
        if c == '\\':
            out.append(text[i:i + 2])
            i += 2
            continue
        if c == quote:
            quote = None
        if ord(c) < 0x80:
            out.append(c)
        else:
            data = c.encode('utf-8')
            # Three octal digits always end the escape, whatever character follows.
            out.append(''.join(f'\\{b:03o}' for b in data))
        i += 1
    return ''.join(out)


def needs_copy(text):
    return escaped(text, '') != text


def main(argv):
    if len(argv) >= 3 and argv[1] == '--list':
        hits = []
        for path in argv[3:]:
            with open(path, encoding='utf-8') as f:
                if needs_copy(f.read()):
                    hits.append(path)
        listing = ';'.join(hits)
        try:
            with open(argv[2], encoding='utf-8') as f:
                before = f.read()
        except OSError:
            before = None
        if before == listing:
            return 0
        with open(argv[2], 'w', encoding='utf-8') as f:
            f.write(listing)
        if before is not None:
            sys.exit('escape_codepage.py: the sources holding code-page texts changed; '
                     'build again (the build configures itself anew)')
        return 0
    if len(argv) != 3:
        sys.exit(__doc__)
    source, output = argv[1], argv[2]
    with open(source, encoding='utf-8') as f:
        text = f.read()
    result = f'#line 1 "{source}"\n' + escaped(text, source)
    try:
        with open(output, encoding='utf-8') as f:
            if f.read() == result:
                return 0  # unchanged: keep the time stamp, and the object file
    except OSError:
        pass
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with open(output, 'w', encoding='utf-8') as f:
        f.write(result)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
