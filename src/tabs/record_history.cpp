#include "tabs/record_history.h"

#include "record/drift.h"
#include "record/record_store.h"
#include "record/record_table.h"
#include "tabs/drift_chart.h"

#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace record;

RecordHistory::RecordHistory(QWidget *parent) : QGroupBox(parent)
{
    m_texts.add(this, Text::History);
    // One above the other, each the page's whole width; the page scrolls downwards.
    auto *column = new QVBoxLayout(this);
    m_history = recordui::table("tableWidget_record_history", 3);
    m_history->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_drift = recordui::table("tableWidget_record_drift", 4);
    m_drift->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_driftTitle = new QLabel;
    m_driftTitle->setObjectName(QStringLiteral("label_record_drift"));
    m_driftTitle->setWordWrap(true);
    m_chart = new DriftChart;
    m_chart->setMinimumHeight(220);
    column->addWidget(m_history);
    column->addWidget(m_driftTitle);
    column->addWidget(m_drift);
    column->addWidget(m_chart);
}

void RecordHistory::applyTexts(int language)
{
    m_language = language;
    m_texts.apply(language);
    m_history->setHorizontalHeaderLabels({text(Text::HistoryTime, language), text(Text::HistoryStage, language),
                                          text(Text::HistoryVerdict, language)});
    m_drift->setHorizontalHeaderLabels({text(Text::ColReference, language).arg(m_unit), text(Text::AsLeft, language),
                                        text(Text::AsFound, language), text(Text::ColError, language).arg(m_unit)});
}

void RecordHistory::refresh(recordsdb::RecordDb *db, const QString &serial, const std::optional<Record> &asFound)
{
    const auto stored = db ? db->list(serial).value_or(QVector<recordsdb::StoredRecord>()) : QVector<recordsdb::StoredRecord>();
    m_history->setRowCount(stored.size());
    for (int row = 0; row < stored.size(); ++row) {
        const Record &r = stored[row].record;
        QString stage = text(r.stage == Stage::AsFound ? Text::AsFound : Text::AsLeft, m_language);
        stage += QStringLiteral(" #%1").arg(r.id);
        if (r.amendment)
            stage += QStringLiteral(" → #%1").arg(r.amendment->supersedes);
        const QStringList cells{localTimeText(r.started), stage, verdictText(verdict(r), m_language)};
        for (int c = 0; c < cells.size(); ++c)
            m_history->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
    showDrift(stored, asFound);
}

void RecordHistory::showDrift(const QVector<recordsdb::StoredRecord> &stored, const std::optional<Record> &asFound)
{
    QVector<StoredRecord> files;
    QVector<Record> current;
    for (const auto &s : stored) {
        files.append({QString::number(s.record.id), s.record});
        if (!s.supersededBy)
            current << s.record;
    }
    const auto before = asFound ? lastAsLeftBefore(files, asFound->started) : std::nullopt;
    const auto rows = before ? drift(*before, *asFound) : QVector<DriftRow>();
    m_driftTitle->setText(before ? text(Text::Drift, m_language).arg(before->started.toString(QStringLiteral("yyyy-MM-dd")))
                                 : text(Text::NoDrift, m_language));
    m_drift->setRowCount(rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        const DriftRow &d = rows[row];
        const QStringList cells{QString::number(d.reference, 'f', 1), QString::number(d.before, 'f', 2),
                                QString::number(d.now, 'f', 2), QString::number(d.drift(), 'f', 2)};
        for (int c = 0; c < cells.size(); ++c)
            m_drift->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
    const Header *h = !current.isEmpty() ? &current.constLast().header : nullptr;
    m_chart->plot(driftSeries(current), h ? toleranceDegrees(h->tolerance, h->range) : 0.0, h ? h->unit : m_unit,
                  text(Text::DriftChart, m_language));
}
