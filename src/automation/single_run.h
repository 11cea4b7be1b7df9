#pragma once
// One transmitter's unattended run as an object of the run registry: it owns
// its instruments, where its checks go and the engine, so it lives on past the
// tab's Start slot and past the tab itself. Each check is stored as it ends; a
// run that ended with both checks writes its draft certificate.

#include "automation/auto_calibration.h"
#include "automation/run_records.h"
#include "automation/run_registry.h"

#include <QHash>
#include <memory>

namespace autocal {

class SingleRun : public Run
{
    Q_OBJECT
public:
    struct Instruments {
        std::unique_ptr<instruments::Instrument> source, meter, environment;
    };
    SingleRun(rtu::Link &link, Instruments instruments, RunRecords records, RunPlan plan, record::Header header,
              record::Issuer issuer, int language);
    ~SingleRun() override;

    AutoCalibration &engine() { return *m_engine; }
    void execute() override;
    void abort(const QString &reason) override;
    QString kind() const override { return QStringLiteral("automatic"); }

    const RunResult &result() const { return m_result; }
    QString certificate() const { return m_certificate; }
    QString recordsError() const { return m_records.error(); }

signals:
    void finished(const autocal::RunResult &result);

private:
    Instruments m_instruments;
    RunRecords m_records;
    RunPlan m_plan;
    record::Header m_header;
    record::Issuer m_issuer;
    int m_language;
    std::unique_ptr<AutoCalibration> m_engine;
    QHash<int, qint64> m_numbers;   // stage -> record number
    RunResult m_result;
    QString m_certificate;
    QString m_cancelled;   // an abort before execute()
    bool m_executing = false;
};

} // namespace autocal
