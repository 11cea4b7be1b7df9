#pragma once
// The transmitter's history on the record tab: every stored check of its
// serial number, the drift from the last as-left check to this as-found one,
// and the as-found drift across calibrations as a chart.

#include "record/calibration_record.h"
#include "records_db/record_db.h"
#include "tabs/record_widgets.h"

#include <QGroupBox>
#include <optional>

class DriftChart;
class QLabel;
class QTableWidget;

class RecordHistory : public QGroupBox
{
    Q_OBJECT

public:
    explicit RecordHistory(QWidget *parent = nullptr);

    void applyTexts(int language);
    // `db` may be null (no serial number or no database): the lists are emptied.
    void refresh(recordsdb::RecordDb *db, const QString &serial, const std::optional<record::Record> &asFound);

private:
    void showDrift(const QVector<recordsdb::StoredRecord> &stored, const std::optional<record::Record> &asFound);

    recordui::Texts m_texts;
    int m_language = 0;
    QString m_unit = QStringLiteral("°C");
    QTableWidget *m_history, *m_drift;
    QLabel *m_driftTitle;
    DriftChart *m_chart;
};
