#include "FileDialog.h"

#include "platform/DialogLook.h"

#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QStringList>
#include <QTreeView>

namespace FileDialog {
namespace {
Handler& handler()
{
    static Handler h;
    return h;
}

// The type column in Japanese, whatever the toolkit's translation and the
// system's language give: "フォルダ", and a file by its extension in the way
// the filters name it ("TXTファイル").
class JapaneseTypes : public QFileIconProvider {
public:
    QString type(const QFileInfo& info) const override
    {
        if (info.isDir())
            return QStringLiteral("フォルダ");
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QStringLiteral("ファイル") : suffix.toUpper() + QStringLiteral("ファイル");
    }
};

QString run(QWidget* parent, Kind kind, const QString& filter, const QString& defaultSuffix)
{
    const Request request{kind, filter, defaultSuffix};
    if (handler())
        return handler()(request);

    QFileDialog dialog(parent);
    // The dialogs' own font (a proportional Japanese Gothic), not whatever
    // the system's default font happens to be.
    DialogLook::applyFont(&dialog);
    JapaneseTypes types;
    dialog.setIconProvider(&types);
    // Size, type and date take the room their texts need; the name the rest.
    if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = details->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    dialog.setAcceptMode(kind == Kind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(kind == Kind::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilter(toQtFilter(filter));
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}
} // namespace

QString toQtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        QString description = parts[i];
        const QString pattern = parts[i + 1];
        // Qt takes the patterns from the last parentheses of the text.
        const int open = description.lastIndexOf(QLatin1Char('('));
        if (open >= 0)
            description = description.left(open).trimmed();
        out << QStringLiteral("%1 (%2)").arg(description, QString(pattern).replace(QLatin1Char(';'), QLatin1Char(' ')));
    }
    return out.join(QStringLiteral(";;"));
}

QString getOpenFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix)
{
    return run(parent, Kind::Open, filter, defaultSuffix);
}

QString getSaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix)
{
    return run(parent, Kind::Save, filter, defaultSuffix);
}

void setHandler(Handler h)
{
    handler() = std::move(h);
}

} // namespace FileDialog
