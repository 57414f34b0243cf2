#!/usr/bin/python3
"""Writes Qt Designer .ui files from dialog templates given in dialog units.

One horizontal dialog unit is 1.625 pixels and one vertical unit 1.5 pixels
(the base units 6.5 x 12 of a 9-point proportional Gothic at 96 dpi); see
platform/DialogLook.h. Group boxes are written first so that they lie beneath the
controls they frame; the tab order follows the order of the other controls.

Three things are drawn larger by Qt than by the window system the templates
were made for, and the mapping makes room for them:

- Group titles. The window system draws a titled group's frame line through
  the middle of its title, 6 pixels below the group's top; Qt draws the title
  above the line, which lies about 18 pixels below the top. Every row of
  titled groups (visible groups with a title whose tops lie at the same
  vertical unit) therefore opens a band of TITLE_BAND pixels: each group of
  the row keeps its top, and everything below that top, the group's own
  controls and bottom edge included, moves down by the band. Controls keep
  their sizes and their distances to one another; groups grow by the band.
- Check boxes and radio buttons: Qt puts the caption CHECK_EXTRA pixels
  further from the box, so those with a caption are that much wider.
- Lines of static text: the proportional Gothic Qt finds (IPA) has a line of
  13 pixels where the templates counted 12 (8 units); a static text of one
  line gets a pixel more above and below.
"""
from xml.sax.saxutils import escape

TITLE_BAND = 10
CHECK_EXTRA = 4
ONE_LINE = 8
LINE_EXTRA = 1


def dlu_x(v):
    return int(v * 6.5 / 4.0 + 0.5)


def dlu_y(v):
    return int(v * 12.0 / 8.0 + 0.5)


def prop(name, inner, stdset=True):
    extra = '' if stdset else ' stdset="0"'
    return f'<property name="{name}"{extra}>{inner}</property>'


def string(v):
    return f'<string>{escape(v)}</string>'


class Control:
    """One control of a template; x, y, w, h in dialog units. `pixels` gives
    a size in pixels instead (a static showing an icon takes the icon's size)."""

    def __init__(self, cls, name, text, x, y, w, h, cid=None, access=None, desc=None,
                 hidden=False, disabled=False, extra=None, focus=None, tab=True, pixels=None):
        self.cls, self.name, self.text = cls, name, text
        self.units = (x, y, w, h)
        self.pixels = pixels
        self.rect = None
        self.cid, self.access, self.desc = cid, access, desc
        self.hidden, self.disabled = hidden, disabled
        self.extra = extra or []
        self.focus = focus
        self.tab = tab

    def xml(self, indent):
        x, y, w, h = self.rect
        p = [prop('geometry', f'<rect><x>{x}</x><y>{y}</y><width>{w}</width><height>{h}</height></rect>')]
        if self.text is not None:
            key = 'title' if self.cls == 'QGroupBox' else 'text'
            p.append(prop(key, string(self.text)))
        if self.disabled:
            p.append(prop('enabled', '<bool>false</bool>'))
        if self.hidden:
            p.append(prop('visible', '<bool>false</bool>'))
        if self.cid is not None:
            p.append(prop('controlId', f'<number>{self.cid}</number>', stdset=False))
        if self.access is not None:
            p.append(prop('accessibleName', string(self.access)))
        if self.desc is not None:
            p.append(prop('accessibleDescription', string(self.desc)))
        if self.focus:
            p.append(prop('focusPolicy', f'<enum>Qt::{self.focus}</enum>'))
        p.extend(self.extra)
        pad = ' ' * indent
        body = ''.join(f'{pad} {x}\n' for x in p)
        return f'{pad}<widget class="{self.cls}" name="{self.name}">\n{body}{pad}</widget>\n'


SUNKEN_CENTRED = [prop('frameShape', '<enum>QFrame::Panel</enum>'),
                  prop('frameShadow', '<enum>QFrame::Sunken</enum>'),
                  prop('alignment', '<set>Qt::AlignCenter</set>')]


CUSTOM = {'CLampStatic': ('QLabel', 'dialogs/CLampStatic.h')}


def title_rows(controls):
    """Tops (in units) of the rows of visible titled groups."""
    return sorted({c.units[1] for c in controls if c.cls == 'QGroupBox' and c.text and not c.hidden})


def map_y(v, rows):
    """A vertical position in units to pixels, below every band above it."""
    return dlu_y(v) + TITLE_BAND * sum(1 for r in rows if r < v)


def place(c, rows):
    x, y, w, h = c.units
    top = map_y(y, rows)
    if c.pixels:
        c.rect = (dlu_x(x), top) + tuple(c.pixels)
    elif c.cls == 'QGroupBox':
        c.rect = (dlu_x(x), top, dlu_x(w), map_y(y + h, rows) - top)
    else:
        width, height = dlu_x(w), dlu_y(h)
        if c.cls in ('QCheckBox', 'QRadioButton') and c.text:
            width += CHECK_EXTRA
        if c.cls == 'QLabel' and c.text and h <= ONE_LINE:
            top, height = top - LINE_EXTRA, height + 2 * LINE_EXTRA
        c.rect = (dlu_x(x), top, width, height)


def write(path, cls, title, width, height, controls, menu_layout=False):
    groups = [c for c in controls if c.cls == 'QGroupBox']
    others = [c for c in controls if c.cls != 'QGroupBox']
    rows = title_rows(controls)
    for c in controls:
        place(c, rows)
    w, h = dlu_x(width), map_y(height, rows)
    out = ['<?xml version="1.0" encoding="UTF-8"?>\n<ui version="4.0">\n',
           f' <class>{cls}</class>\n',
           f' <widget class="QDialog" name="{cls}">\n',
           f'  <property name="geometry"><rect><x>0</x><y>0</y><width>{w}</width><height>{h}</height></rect></property>\n',
           f'  <property name="windowTitle">{string(title)}</property>\n']
    indent = 2
    if menu_layout:
        out.append('  <layout class="QVBoxLayout" name="windowLayout">\n'
                   '   <property name="spacing"><number>0</number></property>\n'
                   '   <property name="sizeConstraint"><enum>QLayout::SetFixedSize</enum></property>\n'
                   '   <property name="leftMargin"><number>0</number></property>\n'
                   '   <property name="topMargin"><number>0</number></property>\n'
                   '   <property name="rightMargin"><number>0</number></property>\n'
                   '   <property name="bottomMargin"><number>0</number></property>\n'
                   '   <item>\n'
                   '    <widget class="QWidget" name="client">\n'
                   f'     <property name="minimumSize"><size><width>{w}</width><height>{h}</height></size></property>\n'
                   f'     <property name="maximumSize"><size><width>{w}</width><height>{h}</height></size></property>\n')
        indent = 4
    for c in groups + others:
        out.append(c.xml(indent + 1))
    if menu_layout:
        out.append('    </widget>\n   </item>\n  </layout>\n')
    out.append(' </widget>\n')
    tabs = [c.name for c in others if c.tab]
    if tabs:
        out.append(' <tabstops>\n' + ''.join(f'  <tabstop>{t}</tabstop>\n' for t in tabs) + ' </tabstops>\n')
    custom = sorted({c.cls for c in controls if c.cls in CUSTOM})
    if custom:
        out.append(' <customwidgets>\n')
        for name in custom:
            base, header = CUSTOM[name]
            out.append(f'  <customwidget>\n   <class>{name}</class>\n   <extends>{base}</extends>\n'
                       f'   <header>{header}</header>\n  </customwidget>\n')
        out.append(' </customwidgets>\n')
    out.append(' <resources/>\n <connections/>\n</ui>\n')
    with open(path, 'w', encoding='utf-8') as f:
        f.write(''.join(out))
