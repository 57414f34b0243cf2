#!/usr/bin/env python3
"""Checks an installed Molvane tree (a package unpacked into a folder):

    python3 scripts/check_installed_tree.py <root>

- every program in usr/bin has its man page in usr/share/man/man1;
- the icon exists in every hicolor size, at that size, and as SVG;
- every link and picture of the manual leads to a file of the tree (and to
  an anchor there, where it names one); links out of the tree are refused;
- every picture of the manual is declared at the size it has, so that no
  screenshot is shown squeezed or stretched.

Prints each fault and exits 1 when there was any.
"""
import html.parser
import os
import struct
import sys
import urllib.parse

APP_ID = "org.molvane.Molvane"
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.links = []
        self.anchors = set()
        self.pictures = []  # (src, width, height) as declared

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.anchors.add(attrs["id"])
        if tag == "a" and "name" in attrs:
            self.anchors.add(attrs["name"])
        if tag == "img" and attrs.get("src"):
            self.pictures.append((attrs["src"], attrs.get("width"), attrs.get("height")))
        for name in ("href", "src"):
            if name in attrs and attrs[name] is not None:
                self.links.append(attrs[name])


def parse(path):
    page = Page()
    with open(path, encoding="utf-8") as f:
        page.feed(f.read())
    return page


def check_manual(root, faults):
    manual = os.path.join(root, "usr/share/molvane/manual")
    if not os.path.isfile(os.path.join(manual, "index.html")):
        faults.append("manual: index.html missing")
        return
    pages = {}
    for folder, _, files in os.walk(manual):
        for name in files:
            if name.endswith(".html"):
                path = os.path.realpath(os.path.join(folder, name))
                pages[path] = parse(path)
    for path, page in sorted(pages.items()):
        shown = os.path.relpath(path, manual)
        for link in page.links:
            url = urllib.parse.urlsplit(link)
            if url.scheme in ("http", "https", "mailto"):
                faults.append(f"manual {shown}: links out of the manual: {link}")
                continue
            if url.scheme or url.netloc:
                faults.append(f"manual {shown}: unexpected link {link}")
                continue
            target = path if not url.path else os.path.realpath(
                os.path.join(os.path.dirname(path), urllib.parse.unquote(url.path)))
            if not target.startswith(os.path.realpath(manual) + os.sep):
                faults.append(f"manual {shown}: leads out of the manual: {link}")
            elif not os.path.isfile(target):
                faults.append(f"manual {shown}: broken link {link}")
            elif url.fragment:
                anchors = pages[target].anchors if target in pages else set()
                if url.fragment not in anchors:
                    faults.append(f"manual {shown}: no anchor for {link}")
        for src, width, height in page.pictures:
            picture = os.path.join(os.path.dirname(path), urllib.parse.unquote(src))
            if not src.endswith(".png") or not os.path.isfile(picture):
                continue
            size = png_size(picture)
            if size != (int(width or 0), int(height or 0)):
                faults.append(f"manual {shown}: {src} is {size[0]}x{size[1]}, declared {width}x{height}")
    return len(pages)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", head[16:24])


def check_icons(root, faults):
    base = os.path.join(root, "usr/share/icons/hicolor")
    for size in ICON_SIZES:
        path = os.path.join(base, f"{size}x{size}/apps/{APP_ID}.png")
        if not os.path.isfile(path):
            faults.append(f"icon {size}x{size} missing")
        elif png_size(path) != (size, size):
            faults.append(f"icon {size}x{size} is {png_size(path)}")
    if not os.path.isfile(os.path.join(base, f"scalable/apps/{APP_ID}.svg")):
        faults.append("scalable icon missing")


def check_man_pages(root, faults):
    programs = sorted(os.listdir(os.path.join(root, "usr/bin")))
    for program in programs:
        if not os.path.isfile(os.path.join(root, f"usr/share/man/man1/{program}.1.gz")):
            faults.append(f"{program}: no man page")
    return programs


def main():
    root = sys.argv[1]
    faults = []
    programs = check_man_pages(root, faults)
    check_icons(root, faults)
    pages = check_manual(root, faults)
    for fault in faults:
        print("FAULT:", fault)
    print(f"checked {len(programs)} program(s), {len(ICON_SIZES)} icon sizes, {pages} manual page(s): "
          f"{len(faults)} fault(s)")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
