// Thermocouple and RTD calibration: one mode toggle, one point capture and one
// calibration write, parameterised by mode code, point registers and fields.

#include "window/widget.h"

#include "core/live_values.h"
#include "core/operator_input.h"
#include "core/registers.h"
#include "procedures/transaction.h"
#include "link/bus_timing.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"

void Widget::on_pushButton_tc_calib_2_clicked()
{
    toggleCalibrationMode(reg::ModeThermocouple, reg::kTc50mVPoint, ui->lineEdit_tc_50mV,
                          reg::kTc0mVPoint, ui->lineEdit_tc_0mV);
}

void Widget::on_pushButton_pt_calib_clicked()
{
    toggleCalibrationMode(reg::ModeRtd, reg::kRtd100RPoint, ui->lineEdit_pt_100R,
                          reg::kRtd200RPoint, ui->lineEdit_pt_200R);
}

void Widget::on_commandLinkButton_tc_50mV_clicked()
{
    capturePoint(reg::kTc50mVPoint, ui->lineEdit_tc_50mV);
}

void Widget::on_commandLinkButton_tc_0mV_clicked()
{
    capturePoint(reg::kTc0mVPoint, ui->lineEdit_tc_0mV);
}

void Widget::on_commandLinkButton_pt_100R_clicked()
{
    capturePoint(reg::kRtd100RPoint, ui->lineEdit_pt_100R);
}

void Widget::on_commandLinkButton_pt_200R_clicked()
{
    capturePoint(reg::kRtd200RPoint, ui->lineEdit_pt_200R);
}

namespace {

struct ShownPoints {
    int start = 0;
    QVector<quint16> words;   // high word first; empty: nothing captured to check
};

// The words the two shown points stand for (registers `first`, `first` + 2);
// a field without a point is left out of the check.
ShownPoints shownPoints(int first, const QLineEdit *firstEdit, const QLineEdit *secondEdit)
{
    ShownPoints shown;
    int at = first;
    for (const QLineEdit *edit : {firstEdit, secondEdit}) {
        bool ok = false;
        const qint32 value = edit->text().toInt(&ok, 10);
        if (ok) {
            if (shown.words.isEmpty())
                shown.start = at;
            shown.words << quint16(quint32(value) >> 16) << quint16(quint32(value) & 0xFFFF);
        } else if (!shown.words.isEmpty()) {
            break;   // only a contiguous run is checked
        }
        at += 2;
    }
    return shown;
}

} // namespace

void Widget::on_pushButton_tc_write_clicked()
{
    const ShownPoints p = shownPoints(reg::kTc50mVPoint, ui->lineEdit_tc_50mV, ui->lineEdit_tc_0mV);
    calibrationWrite(p.start, p.words);
}

void Widget::on_pushButton_pt_write_clicked()
{
    const ShownPoints p = shownPoints(reg::kRtd100RPoint, ui->lineEdit_pt_100R, ui->lineEdit_pt_200R);
    calibrationWrite(p.start, p.words);
}

void Widget::on_pushButton_ma_write_clicked()
{
    QRadioButton *end = chosenTrimEnd();
    const int trim = end == ui->radioButton_ma_fine_20 ? reg::kTrim20mA : reg::kTrim4mA;
    calibrationWrite(trim, end ? QVector<quint16>{quint16(ui->spinBox_ma_fine->value())} : QVector<quint16>{});
}

// Enters the mode (and shows the stored points) or, when the transmitter
// already reports it, leaves it.
void Widget::toggleCalibrationMode(quint16 mode, int firstPoint, QLineEdit *firstEdit,
                                   int secondPoint, QLineEdit *secondEdit)
{
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    const quint16 value = work_group == mode ? quint16(reg::ModeNone) : mode;
    // One budget serves the mode write and the read-back.
    int budget = link->budget().preWaitChecks;
    if (!writeConfirmed(reg::kWorkModeCommand, {value}, &budget)) {
        notify(notices::Notice::WriteFailure);
        return;
    }
    if (value == reg::ModeNone)
        return;
    link->waitMs(400);

    const auto v = fetchOrReport(QModbusDataUnit::HoldingRegisters, notices::Notice::ReadFailure, -1, &budget);
    if (!v)
        return;
    firstEdit->setText(QString::number(reg::value32(*v, firstPoint)));
    secondEdit->setText(QString::number(reg::value32(*v, secondPoint)));
}

// Copies the ADC value the transmitter reads now into one calibration point.
void Widget::capturePoint(int point, QLineEdit *edit)
{
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    const auto input = fetchOrReport(QModbusDataUnit::InputRegisters, notices::Notice::WriteFailure, 30);
    if (!input)
        return;
    ui->progressBar_write->setValue(50);
    const QVector<quint16> &v = *input;
    edit->setText(QString::number(reg::value32(v, reg::kAdcValue)));
    const QVector<quint16> words = {reg::word(v, reg::kAdcValue), reg::word(v, reg::kAdcValue + 1)};
    ui->progressBar_write->setValue(60);
    if (!writeConfirmed(point, words)) {
        notify(notices::Notice::WriteFailure);
        return;
    }
    ui->progressBar_write->setValue(70);
    runProgress(71, 100, 50);
}

// Room-temperature sensor against a reference typed by the operator. The
// reading is scaled by the decimal-places code, as the live display shows it.
void Widget::on_commandLinkButton_tc_indoor_auto_calib_clicked()
{
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
    // A reading that cannot be scaled would store a wrong offset: nothing is written.
    if (!live_divisor) {
        notify(notices::Notice::UnknownDecimalCode);
        return;
    }

    // The offset in force before: a calibration that does not finish puts it back.
    const auto holding = fetchOrReport(QModbusDataUnit::HoldingRegisters, notices::Notice::ReadFailure);
    if (!holding)
        return;
    proc::Transaction change(*link);
    change.beginWith(*holding);
    const QString beforeText = ui->lineEdit_para_indoor_zero_offset->text();
    auto fail = [&](notices::Notice notice) {
        notify(notice);
        const proc::Aftermath after = change.restore();
        showAftermath(after);
        if (after.needed && after.clean())
            ui->lineEdit_para_indoor_zero_offset->setText(beforeText);
    };

    // The reading must not contain the old offset.
    if (!change.write(reg::kRoomZeroOffset, {0}).ok())
        return fail(notices::Notice::WriteFailure);
    ui->lineEdit_para_indoor_zero_offset->setText(QStringLiteral("0"));
    link->waitMs(500);   // let the transmitter measure with the offset reset

    const auto input = fetchOrReport(QModbusDataUnit::InputRegisters, notices::Notice::WriteFailure, 30);
    if (!input) {
        const proc::Aftermath after = change.restore();
        showAftermath(after);
        if (after.clean())
            ui->lineEdit_para_indoor_zero_offset->setText(beforeText);
        return;
    }
    ui->progressBar_write->setValue(50);
    const QVector<quint16> &v = *input;
    const auto offset = reg::roomOffsetHundredths(*target, reg::value32(v, reg::kRoomTemperature),
                                                    reg::temperatureDivisor(true, reg::word(v, reg::kDecimalPlaces)));
    // Unscalable, or an offset the register cannot hold: never a wrapped word.
    if (!offset)
        return fail(notices::Notice::WriteFailure);
    ui->progressBar_write->setValue(60);
    if (!change.write(reg::kRoomZeroOffset, {input::toWord(*offset)}).ok())
        return fail(notices::Notice::WriteFailure);
    // A later parameter write sends this field: it must hold the new offset.
    ui->lineEdit_para_indoor_zero_offset->setText(reg::hundredthsText(input::toWord(*offset)));
    ui->progressBar_write->setValue(70);
    runProgress(71, 100, 50);
}

// Store command shared by the three write buttons; then what the window shows
// as stored (`expected` from holding `start`) is read back and checked.
void Widget::calibrationWrite(int start, const QVector<quint16> &expected)
{
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    if (!writeConfirmed(reg::kStoreCommand, {reg::kStoreValue})) {
        notify(notices::Notice::WriteFailure);
        return;
    }
    if (!expected.isEmpty() && !verifyReadBack(start, expected))
        return;
    runProgress(1, 100, 40);
}
