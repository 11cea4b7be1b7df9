#include "tabs/traffic_model.h"

#include "diagnostics/diagnostics_texts.h"

#include <QBrush>
#include <QDateTime>

namespace {

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// The request frame exactly as the master sends it (it encodes requests
// deterministically), and the answer's PDU as the master decoded it: the
// master keeps neither the received bytes nor their CRC, so no answer frame is
// shown as if it had been received.
QString framesText(const diag::TrafficRecord &r)
{
    QString text = QStringLiteral("> ") + hex(diag::rtuFrame(r.request.server, diag::requestPdu(r.request)));
    if (!r.responsePdu.isEmpty())
        text += QStringLiteral("  < PDU ") + hex(r.responsePdu);
    return text;
}

} // namespace

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_records.size());
}

int TrafficModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString TrafficModel::cellText(const diag::TrafficRecord &r, int column) const
{
    switch (column) {
    case Time:
        return QDateTime::fromMSecsSinceEpoch(r.msecs).toString(QStringLiteral("HH:mm:ss.zzz"));
    case Function:
        return QString::number(r.request.function);
    case Address:
        return QString::number(r.request.start);
    case Count:
        return QString::number(r.request.count);
    case ResultColumn: {
        const QString text = lang::resultText(r.result, r.exceptionCode, m_language);
        return r.errorText.isEmpty() ? text : text + QStringLiteral(": ") + r.errorText;
    }
    case RoundTrip:
        return r.roundTripMs >= 0 ? QString::number(r.roundTripMs) : QString();
    case Frames:
        return framesText(r);
    default:
        return QString();
    }
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const diag::TrafficRecord &r = record(index.row());
    if (role == Qt::DisplayRole)
        return cellText(r, index.column());
    if (role == Qt::ToolTipRole)
        return framesText(r);
    if (role == Qt::ForegroundRole && index.column() == ResultColumn
        && r.result != diag::Result::Ok && r.result != diag::Result::Pending)
        return QBrush(Qt::red);
    return QVariant();
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    using T = lang::DiagText;
    const T columns[] = {T::ColumnTime, T::ColumnFunction, T::ColumnAddress, T::ColumnCount,
                         T::ColumnResult, T::ColumnRoundTrip, T::ColumnFrames};
    return section >= 0 && section < ColumnCount ? lang::diagText(columns[section], m_language)
                                                 : QVariant();
}

quint64 TrafficModel::append(const diag::TrafficRecord &record)
{
    if (m_records.size() >= size_t(kCapacity)) {
        beginRemoveRows(QModelIndex(), 0, 0);
        m_records.pop_front();
        endRemoveRows();
    }
    const int row = int(m_records.size());
    beginInsertRows(QModelIndex(), row, row);
    m_records.push_back(record);
    endInsertRows();
    return m_nextSequence++;
}

diag::TrafficRecord *TrafficModel::find(quint64 sequence)
{
    const quint64 first = m_nextSequence - m_records.size();
    if (sequence < first || sequence >= m_nextSequence)
        return nullptr;
    return &m_records[size_t(sequence - first)];
}

void TrafficModel::recordChanged(quint64 sequence)
{
    const quint64 first = m_nextSequence - m_records.size();
    if (sequence < first || sequence >= m_nextSequence)
        return;
    const int row = int(sequence - first);
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void TrafficModel::setLanguage(int language)
{
    m_language = language;
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (!m_records.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}
