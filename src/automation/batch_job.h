#pragma once
// A batch as an object of the run registry: it owns its instruments, the
// lines it opened for its units (the window's own link is only borrowed),
// where its checks go and the engine, so it lives on past the tab's Start slot.
// Each check is stored as it ends; a unit's draft certificate is written as
// soon as both of its checks are whole.

#include "automation/batch_run.h"
#include "automation/run_records.h"
#include "automation/run_registry.h"
#include "record/certificate.h"

#include <QHash>
#include <memory>
#include <vector>

namespace rtu {
class Link;
}

namespace autocal {

class BatchJob : public Run
{
    Q_OBJECT
public:
    struct Instruments {
        std::unique_ptr<instruments::Instrument> source, meter, routeSwitch, environment;   // environment: optional
    };
    // Each unit of `map` on its own line with `line`'s settings; `shared` is taken
    // for the unit whose port it has open.
    BatchJob(const ChannelMap &map, rtu::Link &shared, Instruments instruments, RunRecords records, RunPlan plan,
             record::Header common, record::Issuer issuer, int language);
    ~BatchJob() override;

    BatchRun &engine() { return *m_engine; }
    void execute() override;
    void abort(const QString &reason) override;
    QString kind() const override { return QStringLiteral("batch"); }

    const BatchResult &result() const { return m_result; }
    QString recordsError() const { return m_records.error(); }

signals:
    void certificateWritten(int unit, const QString &path);
    void finished(const autocal::BatchResult &result);

private:
    void keep(int unit, const record::Record &r);

    Instruments m_instruments;
    std::vector<std::unique_ptr<rtu::Link>> m_links;
    RunRecords m_records;
    RunPlan m_plan;
    record::Header m_common;
    record::Issuer m_issuer;
    int m_language;
    std::unique_ptr<BatchRun> m_engine;
    QHash<int, qint64> m_found;   // unit -> its whole as-found check's number
    BatchResult m_result;
    QString m_cancelled;
    bool m_executing = false;
};

} // namespace autocal
