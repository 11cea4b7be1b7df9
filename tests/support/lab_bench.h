// A calibration laboratory in one process: the simulated transmitter on a
// virtual line at the pace of a real one, the simulated calibrator and meter on
// loopback TCP, a records folder with both instruments in its register of
// standards, and the tool's link and instruments ready for a run.
#pragma once

#include "records_fixture.h"
#include "automation/auto_calibration.h"
#include "automation/run_records.h"
#include "instruments/instrument.h"
#include "line_options.h"
#include "records_db/record_db.h"
#include "records_db/standards_register.h"
#include "scpi_server.h"

#include <QDate>
#include <QTemporaryDir>
#include <memory>

namespace lab {

// The simulated instruments' serials, as their *IDN? answers give them.
inline const QString kSourceSerial = QStringLiteral("SC-0001");
inline const QString kMeterSerial = QStringLiteral("SM-0001");

inline recordsdb::Standard standard(const QString &serial, const QString &model, const QDate &due)
{
    recordsdb::Standard s;
    s.serial = serial;
    s.model = model;
    s.certificate = QStringLiteral("CAL-%1").arg(serial);
    s.calibrated = due.addYears(-1);
    s.due = due;
    return s;
}

inline std::unique_ptr<instruments::Instrument> instrumentAt(const QString &model, int port)
{
    QString why;
    const auto m = instruments::findModel(model, &why);
    const auto a = instruments::parseAddress(QStringLiteral("tcp:127.0.0.1:%1").arg(port), &why);
    return m && a ? std::make_unique<instruments::Instrument>(*m, *a) : nullptr;
}

struct Bench {
    // A type K transmitter over 0..1000 °C whose curves are the standard ones.
    explicit Bench(int baud = 4800) : f(line::onLine(baud)), scpi(f.sim())
    {
        f.sim().setCurves(sim::model::Curves::Standard);
        scpi.setSeed(7);
        std::string why;
        ready = f.ok() && scpi.serve("tcp:127.0.0.1:0", &why) && link.open(line::optionsFor(f))
            && db.open(recordsdb::sqliteIn(folder.path()));
        recordsdb::StandardsRegister standards(db);
        const QDate due = QDate::currentDate().addYears(1);
        ready = ready && standards.save(standard(kSourceSerial, "Generic SCPI calibrator", due))
            && standards.save(standard(kMeterSerial, "Generic SCPI meter", due));
        source = instrumentAt(QStringLiteral("Generic SCPI calibrator"), scpi.port(sim::Instrument::Source));
        meter = instrumentAt(QStringLiteral("Generic SCPI meter"), scpi.port(sim::Instrument::Meter));
        ready = ready && source && meter;
    }

    // A run with its checks stored in the records as they end.
    autocal::RunResult run(const autocal::RunPlan &plan, autocal::AutoCalibration *prepared = nullptr)
    {
        autocal::AutoCalibration own(link, *source, *meter);
        autocal::AutoCalibration &r = prepared ? *prepared : own;
        autocal::RunRecords records(&db, folder.path(), recordsfixture::performer(db));
        r.setStandardCheck([&](record::UsedInstrument &used) { return records.checkStandard(used, QDate::currentDate()); });
        r.setStandardTerms([&](const record::UsedInstrument &used) { return records.standardTerms(used, QDate::currentDate()); });
        QObject::connect(&r, &autocal::AutoCalibration::recordEnded, &r,
                         [&](const record::Record &rec) { numbers[int(rec.stage)] = records.store(rec); });
        record::Header header;
        header.tag = QStringLiteral("TT-101");
        header.serial = QStringLiteral("SN-4711");
        header.technician = QStringLiteral("L. Chen");
        return r.run(plan, header);
    }

    QTemporaryDir folder;
    SimulatorFixture f;
    sim::ScpiLab scpi;
    rtu::Link link;
    recordsdb::RecordDb db;
    std::unique_ptr<instruments::Instrument> source, meter;
    QHash<int, qint64> numbers;   // record number by stage
    bool ready = false;
};

// Three points over the range, quick to settle on the simulator.
inline autocal::RunPlan quickPlan(autocal::Adjust adjust = autocal::Adjust::WhenFailed)
{
    autocal::RunPlan p;
    p.name = QStringLiteral("three points");
    p.points = {0.0, 50.0, 100.0};
    p.tolerance.value = 1.0;
    p.settling.samples = 3;
    p.settling.intervalMs = 150;
    p.settling.band = 0.2;
    p.settling.bandMa = 0.004;
    p.settling.timeoutMs = 20000;
    p.adjust = adjust;
    p.roomSensorLimit = 0.2;
    return p;
}

} // namespace lab
