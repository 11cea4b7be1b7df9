// Thermocouple and RTD calibration: one mode toggle, one point capture and one
// calibration write, parameterised by mode code, point registers and fields.

#include "window/widget.h"

#include "core/live_values.h"
#include "core/operator_input.h"
#include "core/registers.h"
#include "procedures/sensor_calibration.h"
#include "texts/language_table.h"
#include "link/bus_timing.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"

void Widget::on_pushButton_tc_calib_2_clicked()
{
    toggleCalibrationMode(*thermocouple);
}

void Widget::on_pushButton_pt_calib_clicked()
{
    toggleCalibrationMode(*rtd);
}

void Widget::on_commandLinkButton_tc_50mV_clicked()
{
    capturePoint(*thermocouple, 0);
}

void Widget::on_commandLinkButton_tc_0mV_clicked()
{
    capturePoint(*thermocouple, 1);
}

void Widget::on_commandLinkButton_pt_100R_clicked()
{
    capturePoint(*rtd, 0);
}

void Widget::on_commandLinkButton_pt_200R_clicked()
{
    capturePoint(*rtd, 1);
}

void Widget::on_pushButton_tc_write_clicked()
{
    storeCalibration(*thermocouple);
}

void Widget::on_pushButton_pt_write_clicked()
{
    storeCalibration(*rtd);
}

void Widget::on_pushButton_ma_write_clicked()
{
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    // The chosen end is read back against what the spin box shows.
    const std::optional<quint16> shown =
        fine_trim->end() ? std::optional<quint16>(quint16(ui->spinBox_ma_fine->value())) : std::nullopt;
    using Result = proc::FineTrim::Result;
    const Result result = fine_trim->store(shown);
    if (result == Result::ReadFailed) {
        notify(notices::Notice::ReadFailure);
        return;
    }
    if (result == Result::WriteFailed) {
        notify(notices::Notice::WriteFailure);
        return;
    }
    const verify::ReadBack &check = fine_trim->lastCheck();
    if (!check.block.isEmpty()) {
        // The end chosen when the store began: a poll during its waits may have dropped it.
        const int address = fine_trim->lastCheckedRegister();
        const verify::WriteVerdict verdict = verify::verifyWrite(address, {*shown}, check.block, languageIndex());
        showVerdict(verdict.text);
        if (!verdict.verified) {
            notify(notices::Notice::WriteFailure);
            return;
        }
    }
    runProgress(1, 100, 40);
}

// The points the procedure knows, in their fields.
void Widget::showPoint(const proc::SensorCalibration &calibration, int index, qint32 value)
{
    const bool tc = &calibration == thermocouple;
    QLineEdit *edit = index == 0 ? (tc ? ui->lineEdit_tc_50mV : ui->lineEdit_pt_100R)
                                 : (tc ? ui->lineEdit_tc_0mV : ui->lineEdit_pt_200R);
    edit->setText(QString::number(value));
}

// Enters the mode (and shows the stored points) or, when the transmitter
// already reports it, leaves it.
void Widget::toggleCalibrationMode(proc::SensorCalibration &calibration)
{
    using Result = proc::SensorCalibration::Result;
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    const Result result = unit_state->toggle(calibration);
    if (result == Result::WriteFailed)
        notify(notices::Notice::WriteFailure);
    else if (result == Result::ReadFailed)
        notify(notices::Notice::ReadFailure);
}

// Copies the ADC value the transmitter reads now into one calibration point.
void Widget::capturePoint(proc::SensorCalibration &calibration, int index)
{
    using Result = proc::SensorCalibration::Result;
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    const Result result = calibration.capture(index);
    if (result == Result::Done) {
        ui->progressBar_write->setValue(70);
        runProgress(71, 100, 50);
    } else if (result == Result::ReadFailed && calibration.lastError().shortReply) {
        notify(notices::Notice::ReadFailure);
    } else if (result != Result::NotRun) {
        notify(notices::Notice::WriteFailure);
    }
}

// The store of the captured points, then every point known read back.
void Widget::storeCalibration(proc::SensorCalibration &calibration)
{
    using Result = proc::SensorCalibration::Result;
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    const Result result = calibration.store();
    const verify::ReadBack &check = calibration.lastCheck();
    if (!check.block.isEmpty() && check.error.ok()) {
        // The first point that differs, or "verified".
        verify::WriteVerdict verdict{true, -1, {}};
        for (const verify::Written &w : calibration.knownWords()) {
            verdict = verify::verifyWrite(w.start, w.words, check.block, languageIndex());
            if (!verdict.verified)
                break;
        }
        showVerdict(verdict.text);
    }
    switch (result) {
    case Result::Done:
        runProgress(1, 100, 40);
        break;
    case Result::ReadFailed:
        notify(notices::Notice::ReadFailure);
        break;
    case Result::StateLost:
        showVerdict(lang::calibrationEndText(lang::CalibrationEnd::StateLost, languageIndex()));
        notify(notices::Notice::WriteFailure);
        break;
    case Result::WriteFailed:
    case Result::Differs:
        notify(notices::Notice::WriteFailure);
        break;
    case Result::NotRun:
        break;
    }
}

// Room-temperature sensor against a reference typed by the operator: a step
// of the thermocouple calibration, stored by its 写入 with the points. The
// reading is scaled by the decimal-places code, as the live display shows it.
void Widget::on_commandLinkButton_tc_indoor_auto_calib_clicked()
{
    using Result = proc::SensorCalibration::Result;
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    const auto target = input::scaled(ui->lineEdit_tc_indoor_auto_calib->text(), 100,
                                      input::kSignedHundredths);
    if (!target) {
        notifyInvalidNumber(notices::Field::RoomReference, input::kSignedHundredths.min,
                            input::kSignedHundredths.max, 100);
        return;
    }
    // A reading that cannot be scaled would give a wrong offset: nothing is written.
    if (!unit_state->temperatureDivisor()) {
        notify(notices::Notice::UnknownDecimalCode);
        return;
    }
    const Result result = thermocouple->calibrateRoom(*target);
    if (result == Result::NotRun)
        return;
    if (result != Result::Done) {
        notify(notices::Notice::WriteFailure);
        showAftermath(thermocouple->lastAftermath());
        return;
    }
    // A later parameter write sends this field: it shows what RAM holds now.
    ui->lineEdit_para_indoor_zero_offset->setText(reg::hundredthsText(*thermocouple->roomOffset()));
    ui->progressBar_write->setValue(70);
    runProgress(71, 100, 50);
}
