#include "QuestionNumberModel.h"

void QuestionNumberModel::setCount(int count)
{
    beginResetModel();
    m_count = count < 0 ? 0 : count;
    endResetModel();
}

int QuestionNumberModel::indexOfText(const QString& text) const
{
    // Item k holds the decimal text of k + 1, without sign or leading zeros.
    if (text.isEmpty() || text.size() > 10 || text.front() == QLatin1Char('0'))
        return -1;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    }
    const qlonglong n = text.toLongLong();
    return n >= 1 && n <= m_count ? static_cast<int>(n - 1) : -1;
}

int QuestionNumberModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_count;
}

QVariant QuestionNumberModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_count || index.column() != 0)
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::AccessibleTextRole)
        return QString::number(index.row() + 1);
    return {};
}
