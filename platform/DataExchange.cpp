#include "DataExchange.h"

#include "SjisText.h"

#include <QLabel>
#include <QLineEdit>

namespace DataExchange {

void exchangeText(bool save, QLineEdit* edit, std::string& member)
{
    if (save) {
        const QString shown = edit->text();
        if (shown != fromSjis(member))
            member = toSjis(shown);
    } else {
        edit->setText(fromSjis(member));
        edit->setCursorPosition(0);
    }
}

void exchangeText(bool save, QLabel* label, std::string& member)
{
    if (save) {
        const QString shown = label->text();
        if (shown != fromSjis(member))
            member = toSjis(shown);
    } else {
        label->setText(fromSjis(member));
    }
}

} // namespace DataExchange
