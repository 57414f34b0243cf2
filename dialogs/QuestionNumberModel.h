#pragma once
// The items of the question-number list: "1" up to the record count. The
// texts are made when they are shown, so a bank of a hundred thousand
// questions fills the list as fast as one of three.

#include <QAbstractListModel>

class QuestionNumberModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int count() const { return m_count; }
    // Replaces every item by "1" up to count.
    void setCount(int count);

    // The list index of a stored number text, or -1 when no item has exactly
    // that text.
    int indexOfText(const QString& text) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    int m_count = 0;
};
