#!/usr/bin/python3
"""Writes Qt Designer .ui files from dialog templates given in dialog units.

One horizontal dialog unit is 1.625 pixels and one vertical unit 1.5 pixels
(the base units 6.5 x 12 of a 9-point proportional Gothic at 96 dpi); see
gui/DialogLook.h. Group boxes are written first so that they lie beneath the
controls they frame; the tab order follows the order of the other controls.
"""
from xml.sax.saxutils import escape


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
    def __init__(self, cls, name, text, x, y, w, h, cid=None, access=None, desc=None,
                 hidden=False, disabled=False, extra=None, focus=None, tab=True):
        self.cls, self.name, self.text = cls, name, text
        self.rect = (dlu_x(x), dlu_y(y), dlu_x(w), dlu_y(h))
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


CUSTOM = {'CLampStatic': ('QLabel', 'app/CLampStatic.h')}


def write(path, cls, title, width, height, controls, menu_layout=False):
    groups = [c for c in controls if c.cls == 'QGroupBox']
    others = [c for c in controls if c.cls != 'QGroupBox']
    w, h = dlu_x(width), dlu_y(height)
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
