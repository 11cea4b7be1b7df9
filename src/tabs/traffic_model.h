#pragma once
// The last few thousand requests as a table: one row per request, oldest
// first, in the operator's language.

#include "diagnostics/traffic.h"

#include <QAbstractTableModel>
#include <deque>

class TrafficModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Time, Function, Address, Count, ResultColumn, RoundTrip, Frames, ColumnCount };
    static constexpr int kCapacity = 3000;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Appends a record, dropping the oldest beyond the capacity; returns its
    // sequence number.
    quint64 append(const diag::TrafficRecord &record);
    // The record of `sequence`, or null once it has been dropped.
    diag::TrafficRecord *find(quint64 sequence);
    void recordChanged(quint64 sequence);
    const diag::TrafficRecord &record(int row) const { return m_records.at(size_t(row)); }

    void setLanguage(int language);
    // Column text of a record, as shown and as exported.
    QString cellText(const diag::TrafficRecord &record, int column) const;

private:
    std::deque<diag::TrafficRecord> m_records;
    quint64 m_nextSequence = 0;
    int m_language = 0;
};
