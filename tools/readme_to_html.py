#!/usr/bin/env python3
"""Turns the README into the HTML help page installed with Tarvex.

Handles what the README uses: headings (with ids for links), paragraphs,
fenced code, tables and inline code.

  readme_to_html.py README.md OUTPUT.html
"""
import html
import re
import sys


def inline(text):
    parts = re.split(r"(`[^`]*`)", text)
    return "".join(f"<code>{html.escape(p[1:-1])}</code>" if p.startswith("`") and p.endswith("`")
                   else html.escape(p) for p in parts)


def slug(title):
    return re.sub(r"[^a-z0-9]+", "-", title.lower()).strip("-")


def convert(lines):
    out, paragraph, table, code = [], [], [], None

    def flush():
        if paragraph:
            out.append(f"<p>{inline(' '.join(paragraph))}</p>")
            paragraph.clear()
        if table:
            rows = [r for r in table if not re.fullmatch(r"\|[-| :]+\|", r)]
            cells = [[c.strip() for c in r.strip("|").split("|")] for r in rows]
            out.append("<table>")
            for i, row in enumerate(cells):
                tag = "th" if i == 0 else "td"
                out.append("<tr>" + "".join(f"<{tag}>{inline(c)}</{tag}>" for c in row) + "</tr>")
            out.append("</table>")
            table.clear()

    for line in lines:
        if code is not None:
            if line.startswith("```"):
                out.append(f"<pre><code>{html.escape(chr(10).join(code))}</code></pre>")
                code = None
            else:
                code.append(line)
        elif line.startswith("```"):
            flush()
            code = []
        elif line.startswith("#"):
            flush()
            level = len(line) - len(line.lstrip("#"))
            title = line[level:].strip()
            out.append(f'<h{level} id="{slug(title)}">{inline(title)}</h{level}>')
        elif line.startswith("|"):
            paragraph and flush()
            table.append(line.strip())
        elif not line.strip():
            flush()
        else:
            table and flush()
            paragraph.append(line.strip())
    flush()
    return out


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        body = convert(f.read().splitlines())
    with open(sys.argv[2], "w", encoding="utf-8") as f:
        f.write("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Tarvex help</title>"
                "<style>body{font-family:sans-serif;max-width:50em;margin:2em auto}"
                "table{border-collapse:collapse}td,th{border:1px solid #999;padding:.2em .5em}"
                "pre{background:#f4f4f4;padding:.5em}</style></head><body>\n")
        f.write("\n".join(body))
        f.write("\n</body></html>\n")


if __name__ == "__main__":
    main()
