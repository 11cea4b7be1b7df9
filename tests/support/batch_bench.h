// A batch laboratory in one process: N simulated transmitters, each on a
// virtual line of its own at the pace of a real one, the calibrator, the meter
// and the switch on loopback TCP, and the tool's links and instruments ready.
#pragma once

#include "automation/batch_run.h"
#include "instruments/instrument.h"
#include "link/link.h"
#include "model.h"
#include "scpi_server.h"
#include "units.h"
#include "virtual_line.h"

#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace batchlab {

inline std::unique_ptr<instruments::Instrument> instrumentAt(const QString &model, int port)
{
    QString why;
    const auto m = instruments::findModel(model, &why);
    const auto a = instruments::parseAddress(QStringLiteral("tcp:127.0.0.1:%1").arg(port), &why);
    return m && a ? std::make_unique<instruments::Instrument>(*m, *a) : nullptr;
}

struct BatchBench {
    // `ownMeters`: each loop has a meter of its own as well (the map still names the switch's channels).
    BatchBench(int count, sim::UnitInput input, bool openLinks = true, bool ownMeters = false)
        : units(count, input), lab(units, ownMeters)
    {
        lab.setSeed(11);
        const QString prefix = dir.filePath(QStringLiteral("unit"));
        for (int k = 1; k <= count; ++k) {
            lines.push_back(std::make_unique<VirtualLine>());
            ready = ready && lines.back()->ok()
                && QFile::link(lines.back()->simulatorEnd(), prefix + "." + QString::number(k));
            units.unit(k).setCurves(sim::model::Curves::Standard);
        }
        sim::Config c;
        c.lineSpeed = true;
        std::string why;
        ready = ready && units.start(c, prefix.toStdString(), &why) && lab.serve("tcp:127.0.0.1:0", &why);
        for (int k = 1; k <= count; ++k) {
            links.push_back(std::make_unique<rtu::Link>());
            rtu::SerialOptions o;
            o.port = lines[size_t(k - 1)]->toolEnd();
            ready = ready && (!openLinks || links.back()->open(o));
            autocal::BatchUnit b;
            b.map.unit = k;
            b.map.port = o.port;
            b.map.tag = QStringLiteral("TT-%1").arg(k);
            b.map.serial = QStringLiteral("SN-%1").arg(k);
            b.map.sourceChannel = QString::number(sim::Units::kSourceBase + k);
            b.map.meterChannel = QString::number(sim::Units::kMeterBase + k);
            b.map.inputIsolated = input == sim::UnitInput::Thermocouple;
            b.link = links.back().get();
            batch << b;
        }
        source = instrumentAt(QStringLiteral("Generic SCPI calibrator"), lab.port(sim::Instrument::Source));
        meter = instrumentAt(QStringLiteral("Generic SCPI meter"), lab.port(sim::Instrument::Meter));
        routeSwitch = instrumentAt(QStringLiteral("Generic SCPI switch"), lab.port(sim::Instrument::Switch));
        ready = ready && source && meter && routeSwitch;
    }
    ~BatchBench()
    {
        links.clear();
        lab.stop();
        units.stop();
    }

    autocal::BatchResult check(autocal::BatchRun &run, const autocal::RunPlan &plan)
    {
        record::Header header;
        header.technician = QStringLiteral("L. Chen");
        return run.check(record::Stage::AsFound, plan, header);
    }

    // The loop current unit k drives for a reading, by the simulator's own output model.
    double loopFor(int k, double reading)
    {
        const auto image = units.unit(k).holdingImage();
        sim::HoldingImage h{};
        std::copy(image.begin(), image.end(), h.begin());
        return sim::model::loopCurrentMa(h, 0, reading, units.errors(k).output);
    }

    QTemporaryDir dir;
    std::vector<std::unique_ptr<VirtualLine>> lines;
    sim::Units units;
    sim::ScpiLab lab;
    std::vector<std::unique_ptr<rtu::Link>> links;
    std::unique_ptr<instruments::Instrument> source, meter, routeSwitch;
    QVector<autocal::BatchUnit> batch;
    bool ready = true;
};

} // namespace batchlab
