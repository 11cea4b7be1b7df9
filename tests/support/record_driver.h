// Drives the calibration record tab as a technician would, with the simulator
// as the calibrator: fills the header, applies each test point in degC and
// presses Measure. Shared by the end-to-end test and the screenshot tool.
#pragma once

#include "records_fixture.h"
#include "simulator.h"
#include "tabs/calibration_record_tab.h"

#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <functional>

class RecordDriver
{
public:
    // The technician agrees to a new database in the folder they typed.
    RecordDriver(CalibrationRecordTab *tab, sim::Simulator &sim) : m_tab(tab), m_sim(sim)
    {
        tab->setCreateQuestion([](const QString &) { return true; });
    }

    template <class T> T *find(const char *name) const { return m_tab->findChild<T *>(name); }
    void click(const char *name) { find<QPushButton>(name)->click(); }
    void type(const char *name, const QString &text)
    {
        find<QLineEdit>(name)->setText(text);
        emit find<QLineEdit>(name)->editingFinished();
    }

    void fillHeader(const QString &serial, const QString &folder, double toleranceDegrees, int polls)
    {
        type("lineEdit_record_tag", QStringLiteral("TT-204"));
        type("lineEdit_record_description", QStringLiteral("Furnace zone 2"));
        type("lineEdit_record_technician", QStringLiteral("J. Chen"));
        type("lineEdit_record_reference", QStringLiteral("Simulator (tcal-sim)"));
        type("lineEdit_record_reference_certificate", QStringLiteral("SIM-2026-001"));
        type("lineEdit_record_laboratory", QStringLiteral("Plant metrology lab"));
        type("lineEdit_record_procedure", QStringLiteral("QP-CAL-012"));
        find<QDateEdit>("dateEdit_record_due")->setDate(QDate::currentDate().addMonths(6));
        type("lineEdit_record_ambient", QStringLiteral("23.5"));
        type("lineEdit_record_uncertainty", QStringLiteral("0.05"));
        type("lineEdit_record_folder", folder);
        type("lineEdit_record_serial", serial);
        find<QDoubleSpinBox>("spinBox_record_tolerance")->setValue(toleranceDegrees);
        find<QSpinBox>("spinBox_record_polls")->setValue(polls);
    }

    // The signer named with their passphrase (the tests' one), for what is signed next.
    void signAs(const QString &name)
    {
        type("lineEdit_record_signer", name);
        typePassphrase();
    }
    // A passphrase opens one signing: typed again for each check stored.
    void typePassphrase() { type("lineEdit_record_signer_passphrase", QString::fromLatin1(recordsfixture::kPassphrase)); }

    // Runs one check to its end; false when a point was not recorded in time.
    // `afterPoint` runs once each point but the last is recorded, while the check still runs.
    bool runCheck(record::Stage stage, int msPerPoint = 30000, std::function<void(int)> afterPoint = {})
    {
        typePassphrase();
        click(stage == record::Stage::AsFound ? "pushButton_record_as_found" : "pushButton_record_as_left");
        const auto &r = stage == record::Stage::AsFound ? m_tab->asFound() : m_tab->asLeft();
        for (int i = 0; r && i < r->points.size(); ++i) {
            m_sim.setAppliedCelsius(r->points[i].reference);
            click("pushButton_record_measure");
            if (!QTest::qWaitFor([&] { return r->points[i].status != record::Point::Status::Pending; },
                                 msPerPoint))
                return false;
            if (afterPoint && i + 1 < r->points.size())
                afterPoint(i);
        }
        return r && !m_tab->checkRunning();
    }

private:
    CalibrationRecordTab *m_tab;
    sim::Simulator &m_sim;
};
