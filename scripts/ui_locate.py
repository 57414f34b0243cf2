#!/usr/bin/env python3
"""Where a control of a dialog template lies, for driving the real program:

    python3 scripts/ui_locate.py res/CTestDlg.ui startButton [window-height]

prints the centre of the control as "x y" in the window's coordinates: the
control's rectangle plus those of every widget it lies in. With the real
window's height given, anything the program puts above the template (the
main window's menu bar) is added, as the difference between that height and
the template's.
"""
import sys
import xml.etree.ElementTree as ET


def rect_of(widget):
    for prop in widget.findall("property"):
        if prop.get("name") == "geometry":
            r = prop.find("rect")
            return tuple(int(r.find(k).text) for k in ("x", "y", "width", "height"))
    return None


def form_height(widget):
    r = rect_of(widget)
    return r[3] if r else 0


def find(widget, name, trail):
    for child in list(widget):
        if child.tag == "widget":
            if child.get("name") == name:
                return trail + [child]
            found = find(child, name, trail + [child])
            if found:
                return found
        elif child.tag in ("layout", "item"):
            found = find(child, name, trail)
            if found:
                return found
    return None


def main():
    ui, name = sys.argv[1], sys.argv[2]
    top = ET.parse(ui).getroot().find("widget")
    trail = find(top, name, [])
    if not trail:
        sys.exit(f"ui_locate: no control {name} in {ui}")
    x = y = 0
    for widget in trail[:-1]:
        r = rect_of(widget)
        if r:
            x += r[0]
            y += r[1]
    r = rect_of(trail[-1])
    if not r:
        sys.exit(f"ui_locate: {name} has no rectangle in {ui}")
    x += r[0] + r[2] // 2
    y += r[1] + r[3] // 2
    if len(sys.argv) > 3:
        y += int(sys.argv[3]) - form_height(top)
    print(x, y)


if __name__ == "__main__":
    main()
