#include "CLampStatic.h"

#include <QPalette>

CLampStatic::CLampStatic(QWidget* parent) : QLabel(parent), m_brush(palette().color(QPalette::Base))
{
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, m_brush);
    setPalette(p);
}

CLampStatic& CLampStatic::SetColor(unsigned int bgr)
{
    m_brush = QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                     static_cast<int>((bgr >> 16) & 0xFF));
    QPalette p = palette();
    p.setColor(QPalette::Window, m_brush);
    setPalette(p);
    repaint();
    return *this;
}
