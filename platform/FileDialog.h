#pragma once
// The open-file and save-file dialogs, in one place that tests can answer.
// Filters are given in the "description(*.ext)|*.ext||" form the program's
// texts use.

#include <QString>
#include <functional>

class QWidget;

namespace FileDialog {

enum class Kind { Open, Save };

struct Request {
    Kind kind;
    QString filter;        // as given, e.g. "BMPファイル(*.bmp)|*.bmp||"
    QString defaultSuffix; // e.g. "bmp"
};

// The chosen file's full path, or an empty string when cancelled.
QString getOpenFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix);
// As above; asks before an existing file is replaced.
QString getSaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix);

// "BMPファイル(*.bmp)|*.bmp||" -> "BMPファイル (*.bmp)"
QString toQtFilter(const QString& filter);

using Handler = std::function<QString(const Request&)>;
void setHandler(Handler handler);

} // namespace FileDialog
