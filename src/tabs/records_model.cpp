#include "tabs/records_model.h"

#include "record/calibration_record.h"

#include <QColor>

using records::CalibrationRow;
using records::RowState;

void RecordsModel::setRows(QVector<CalibrationRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void RecordsModel::setLanguage(int language)
{
    m_language = language;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(m_rows.size() - 1, ColumnCount - 1));
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

const CalibrationRow *RecordsModel::row(int index) const
{
    return index >= 0 && index < m_rows.size() ? &m_rows[index] : nullptr;
}

int RecordsModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_rows.size(); }
int RecordsModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

namespace {

rv::Text verdictText(record::Verdict verdict)
{
    switch (verdict) {
    case record::Verdict::Pass: return rv::Text::Pass;
    case record::Verdict::Fail: return rv::Text::Fail;
    case record::Verdict::Incomplete: break;
    }
    return rv::Text::Incomplete;
}

QString certificateNumber(qint64 n) { return n ? QStringLiteral("%1").arg(n, 6, 10, QLatin1Char('0')) : QString(); }

} // namespace

QString RecordsModel::display(const CalibrationRow &row, int column) const
{
    switch (column) {
    case Date: return record::localTimeText(row.date(), false);
    case Serial: return row.serial();
    case Tag: return row.tag();
    case Verdict: return rv::text(verdictText(row.verdict()), m_language);
    case Certificate: return certificateNumber(row.certificate ? row.certificate : row.withdrawn);
    case State: return rv::text(records::stateText(row.state), m_language);
    }
    return QString();
}

QVariant RecordsModel::sortKey(const CalibrationRow &row, int column) const
{
    switch (column) {
    case Date: return row.date();
    case Certificate: return row.certificate ? row.certificate : row.withdrawn;
    case State: return static_cast<int>(row.state);
    default: return display(row, column);
    }
}

QVariant RecordsModel::data(const QModelIndex &index, int role) const
{
    const CalibrationRow *r = row(index.row());
    if (!r)
        return {};
    if (role == Qt::DisplayRole)
        return display(*r, index.column());
    if (role == SortRole)
        return sortKey(*r, index.column());
    if (role == Qt::ForegroundRole && index.column() == Verdict && r->verdict() == record::Verdict::Fail)
        return QColor(Qt::red);
    if (role == Qt::ForegroundRole && (r->state == RowState::Superseded || r->state == RowState::Withdrawn))
        return QColor(Qt::gray);
    return {};
}

QVariant RecordsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const rv::Text kHeaders[ColumnCount] = {rv::Text::ColDate,    rv::Text::ColSerial,      rv::Text::ColTag,
                                                   rv::Text::ColVerdict, rv::Text::ColCertificate, rv::Text::ColState};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return rv::text(kHeaders[section], m_language);
}

void RecordsFilter::setFilter(const records::Filter &filter)
{
    m_filter = filter;
    invalidateFilter();
}

bool RecordsFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    const auto *model = qobject_cast<const RecordsModel *>(sourceModel());
    const CalibrationRow *row = model ? model->row(sourceRow) : nullptr;
    return row && records::matches(*row, m_filter);
}
