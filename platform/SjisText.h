#pragma once
// Shift-JIS byte strings to and from what the widgets show.

#include "core/ShiftJis.h"

#include <QString>
#include <string>

inline QString fromSjis(const std::string& bytes)
{
    return QString::fromStdString(sjis::toUtf8(bytes));
}

inline std::string toSjis(const QString& text)
{
    return sjis::fromUtf8(text.toStdString());
}
