#include "automation/batch_job.h"

#include "instruments/instrument.h"
#include "link/link.h"

namespace autocal {

BatchJob::BatchJob(const ChannelMap &map, rtu::Link &shared, Instruments instruments, RunRecords records,
                   RunPlan plan, record::Header common, record::Issuer issuer, int language)
    : m_instruments(std::move(instruments)), m_records(std::move(records)), m_plan(std::move(plan)),
      m_common(std::move(common)), m_issuer(std::move(issuer)), m_language(language)
{
    // One that cannot be opened is ended alone by the batch.
    QVector<BatchUnit> units;
    for (const MapUnit &m : map.units) {
        rtu::Link *link = &shared;
        if (!shared.isOpen() || shared.options().port != m.port) {
            m_links.push_back(std::make_unique<rtu::Link>());
            rtu::SerialOptions line = shared.options();
            line.port = m.port;
            m_links.back()->open(line);
            link = m_links.back().get();
        }
        units << BatchUnit{m, link};
    }
    m_engine = std::make_unique<BatchRun>(units, *m_instruments.source, *m_instruments.meter,
                                          *m_instruments.routeSwitch);
    m_engine->setEnvironment(m_instruments.environment.get());
    m_engine->setStandardCheck([this](record::UsedInstrument &used) {
        return m_records.checkStandard(used, QDate::currentDate());
    });
    m_engine->setStandardTerms([this](const record::UsedInstrument &used) {
        return m_records.standardTerms(used, QDate::currentDate());
    });
    connect(m_engine.get(), &BatchRun::recordEnded, this, &BatchJob::keep);
}

BatchJob::~BatchJob()
{
    // Its own lines put back what is unstored as they close; the shared one stays.
    m_engine.reset();
    m_links.clear();
}

void BatchJob::keep(int unit, const record::Record &r)
{
    const qint64 number = m_records.store(r);
    const bool whole = r.incompleteReason.isEmpty() && number > 0;
    if (r.stage == record::Stage::AsFound && whole)
        m_found.insert(unit, number);
    else if (r.stage == record::Stage::AsLeft && whole && m_found.value(unit) > 0) {
        const QString path = m_records.writeCertificateDraft(m_found.value(unit), number, m_issuer, m_language);
        if (!path.isEmpty())
            emit certificateWritten(unit, path);
    }
}

void BatchJob::abort(const QString &reason)
{
    if (m_executing)
        m_engine->abort(reason);
    else if (m_cancelled.isEmpty())
        m_cancelled = reason;
}

void BatchJob::execute()
{
    if (!m_cancelled.isEmpty()) {
        m_result.reason = m_cancelled;
        emit finished(m_result);
        return;
    }
    m_executing = true;
    m_result = m_engine->run(m_plan, m_common);
    m_executing = false;
    emit finished(m_result);
}

} // namespace autocal
