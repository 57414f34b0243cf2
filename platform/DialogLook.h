#pragma once
// What every dialog of the program shares: its font, the Enter/Esc key
// filter and window frames.
//
// Layout: the dialogs were laid out in dialog units of a 9-point "ＭＳ Ｐゴシック".
// At 96 dpi that font has dialog base units of 6.5 x 12 pixels, so one
// horizontal unit is 6.5 / 4 = 1.625 pixels and one vertical unit is
// 12 / 8 = 1.5 pixels; every .ui file holds positions mapped this way
// (x, width: round(units * 1.625); y, height: round(units * 1.5)), written
// by scripts/uigen.py from tables in units. Qt draws a titled group's frame
// line below the title, about 12 pixels lower than the line through the
// title that the layout was made for, so each row of titled groups opens a
// band of 10 pixels below its top edge; check boxes and radio buttons with a
// caption are 4 pixels wider and one-line static texts 2 pixels higher, for
// Qt's wider indicator spacing and taller line. uigen.py has the details.

#include <QObject>
#include <QStringList>

class QWidget;

namespace DialogLook {

// Horizontal and vertical dialog units to pixels.
int dluX(int units);
int dluY(int units);

// The font families asked for, in order: the named font, then installed
// Japanese proportional Gothics, so that every glyph comes from one face.
QStringList fontFamilies();

// Gives the widget (and so its children) the dialogs' 9-point font, and
// makes it the font of every drop-down menu created from then on.
void applyFont(QWidget* widget);

// Consumes every key press of Enter, Return and Esc aimed at the widget or
// any of its children, so these keys neither close it nor press a button.
void installEnterEscFilter(QWidget* root);

// Title bar without a close box (and without a system menu).
void removeCloseBox(QWidget* dialog);

class EnterEscFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace DialogLook
