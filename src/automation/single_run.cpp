#include "automation/single_run.h"

#include "instruments/instrument.h"

namespace autocal {

SingleRun::SingleRun(rtu::Link &link, Instruments instruments, RunRecords records, RunPlan plan,
                     record::Header header, record::Issuer issuer, int language)
    : m_instruments(std::move(instruments)), m_records(std::move(records)), m_plan(std::move(plan)),
      m_header(std::move(header)), m_issuer(std::move(issuer)), m_language(language),
      m_engine(std::make_unique<AutoCalibration>(link, *m_instruments.source, *m_instruments.meter))
{
    m_engine->setEnvironment(m_instruments.environment.get());
    m_engine->setStandardCheck([this](record::UsedInstrument &used) {
        return m_records.checkStandard(used, QDate::currentDate());
    });
    m_engine->setStandardTerms([this](const record::UsedInstrument &used) {
        return m_records.standardTerms(used, QDate::currentDate());
    });
    connect(m_engine.get(), &AutoCalibration::recordEnded, this,
            [this](const record::Record &r) { m_numbers[int(r.stage)] = m_records.store(r); });
}

SingleRun::~SingleRun() = default;

void SingleRun::abort(const QString &reason)
{
    if (m_executing)
        m_engine->abort(reason);
    else if (m_cancelled.isEmpty())
        m_cancelled = reason;
}

void SingleRun::execute()
{
    if (!m_cancelled.isEmpty()) {
        m_result.outcome = RunResult::Outcome::Aborted;
        m_result.cause = RunResult::Cause::Stopped;
        m_result.reason = m_cancelled;
        emit finished(m_result);
        return;
    }
    m_executing = true;
    m_result = m_engine->run(m_plan, m_header);
    m_executing = false;
    using O = RunResult::Outcome;
    if (m_result.outcome == O::Passed || m_result.outcome == O::Failed)
        m_certificate = m_records.writeCertificateDraft(m_numbers.value(int(record::Stage::AsFound)),
                                                        m_numbers.value(int(record::Stage::AsLeft)), m_issuer,
                                                        m_language);
    emit finished(m_result);
}

} // namespace autocal
