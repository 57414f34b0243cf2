#pragma once
// A label painted with a solid background colour of its own: the miss lamps.

#include <QColor>
#include <QLabel>

class CLampStatic : public QLabel {
    Q_OBJECT
public:
    explicit CLampStatic(QWidget* parent = nullptr);

    // Colour in the 0x00BBGGRR layout (red in the low byte). Repaints at once.
    CLampStatic& SetColor(unsigned int bgr);

    // The colour last set; the window colour until then.
    QColor color() const { return m_brush; }

private:
    QColor m_brush;
};
