#pragma once
// The record's header as the technician fills it in: the item, the people, the
// reference instrument and its due date, the uncertainty, the tolerance, the
// range and test points, the stability settings and the records folder.
// Technician, laboratory and reference are remembered between runs.

#include "record/calibration_record.h"
#include "record/stability.h"
#include "records_db/instrument_register.h"
#include "tabs/record_widgets.h"

#include <QGroupBox>
#include <optional>

class QComboBox;
class QDateEdit;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QSpinBox;

class RecordHeaderForm : public QGroupBox
{
    Q_OBJECT

public:
    explicit RecordHeaderForm(QWidget *parent = nullptr);

    void applyTexts(int language);

    // The header as typed; `address` is the link's (0 when closed).
    record::Header header(int address) const;
    // The typed test points; nullopt when there are none. `refused` names a part that is no number.
    std::optional<QVector<double>> typedPoints(QString *refused) const;
    // Empty, or the uncertainty as typed when it is not a number.
    QString badUncertainty() const;
    record::StabilitySettings stabilitySettings() const;
    QString recordsFolder() const;
    QString technician() const;
    QString serial() const;
    // The amendment reason typed for a change to a finished check; taken once.
    QString takeAmendReason();

    void setRange(const record::Range &range, const QString &unit);
    void fillDefaultPoints();
    void useInstrument(const recordsdb::Instrument &instrument);
    void setInputType(const QString &inputType) { m_inputType = inputType; }

    // Technician, laboratory and reference from the application's settings now,
    // and saved there at each check (saveRemembered) from then on.
    void rememberHeader();
    void saveRemembered() const;
    // The laboratory the record tab last remembered, for the runs that have no header form.
    static QString rememberedLaboratory();

signals:
    void readRangeRequested();
    void serialOrFolderChanged();

private:
    void addRows(QGridLayout *grid);

    recordui::Texts m_texts;
    QLineEdit *m_tag, *m_serial, *m_description, *m_technician, *m_reference, *m_ambient;
    QLineEdit *m_points, *m_folder;
    QLineEdit *m_laboratory, *m_procedure, *m_referenceCertificate, *m_uncertainty, *m_override, *m_amendReason;
    QDateEdit *m_due;
    QDoubleSpinBox *m_tolerance, *m_lower, *m_upper, *m_band;
    QComboBox *m_toleranceKind, *m_rule;
    QDoubleSpinBox *m_guard;
    QLabel *m_ruleLabel;
    QSpinBox *m_polls, *m_timeout, *m_repeats;
    QLabel *m_unitLabel;
    QString m_unit = QStringLiteral("°C");
    QString m_inputType;
    bool m_remember = false;
};
