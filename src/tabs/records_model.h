#pragma once
// The records view's table: a row per calibration read from the records
// database, and the proxy that filters it by text, state and date and sorts it.

#include "tabs/records_rows.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

class RecordsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Date, Serial, Tag, Verdict, Certificate, State, ColumnCount };
    static constexpr int SortRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;
    void setRows(QVector<records::CalibrationRow> rows);
    void setLanguage(int language);
    const records::CalibrationRow *row(int index) const;
    const QVector<records::CalibrationRow> &rows() const { return m_rows; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString display(const records::CalibrationRow &row, int column) const;
    QVariant sortKey(const records::CalibrationRow &row, int column) const;

    QVector<records::CalibrationRow> m_rows;
    int m_language = 0;
};

class RecordsFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setFilter(const records::Filter &filter);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    records::Filter m_filter;
};
