// Automatic two-point calibration of the 4-20 mA output. The step is the first
// letter of the button text: a start, b 4 mA measured, c 20 mA measured.

#include "window/widget.h"

#include "core/operator_input.h"
#include "core/registers.h"
#include "link/bus_timing.h"
#include "texts/language_table.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"

namespace {

// The transmitter confirms a current-output command by reading it back.
bool confirms(const QVector<quint16> &holding, quint16 command)
{
    return holding.size() > reg::kCurrentCommand && holding.at(reg::kCurrentCommand) == command;
}

} // namespace

void Widget::setStepText(QChar letter)
{
    const QString text = lang::stepText(letter, languageIndex());
    if (!text.isEmpty())
        ui->commandLinkButton_ma_auto_calib_4->setText(text);
}

void Widget::on_commandLinkButton_ma_auto_calib_4_clicked()
{
    rtu::OperationGuard guard(*link);
    if (!guard)
        return;
    const QString text = ui->commandLinkButton_ma_auto_calib_4->text();
    if (text.isEmpty())
        return;
    const QChar letter = text.at(0);
    if (letter != QLatin1Char('a') && letter != QLatin1Char('b') && letter != QLatin1Char('c'))
        return;
    if (!requireLink())
        return;
    if (letter == QLatin1Char('a'))
        autoCalibrationStepA();
    else if (letter == QLatin1Char('b'))
        autoCalibrationStepB();
    else
        autoCalibrationStepC();
}

void Widget::autoCalibrationStepA()
{
    // The fine trim stays locked while the procedure runs.
    setFineTrimLocked(true);

    int budget = link->budget().commandChecks;
    writeWithBudget(budget, reg::kCurrentCommand, {reg::Drive4mA});   // judged by the read-back
    link->waitMs(400);
    const auto holding = fetchOrReport(QModbusDataUnit::HoldingRegisters, notices::Notice::ReadFailure, -1, &budget);
    if (!holding) {
        setFineTrimLocked(false);
        return;
    }
    // Step b only once the transmitter drives 4 mA in its calibration mode.
    if (!confirms(*holding, reg::Drive4mA)
        || !writeConfirmed(reg::kWorkModeCommand, {reg::ModeCurrentOutput})) {
        notify(notices::Notice::WriteFailure);
        setFineTrimLocked(false);
        return;
    }

    setStepText(QLatin1Char('b'));
    QLineEdit *meter = ui->lineEdit_ma_auto_calib_4;
    meter->setText(QStringLiteral("4.001"));
    meter->setFocus(Qt::OtherFocusReason);
    meter->setSelection(2, 3);   // typing replaces the "001"
}

void Widget::autoCalibrationStepB()
{
    const auto microamps = input::scaled(ui->lineEdit_ma_auto_calib_4->text(), 1000,
                                         input::kMicroamperes);
    if (!microamps) {
        notifyInvalidNumber(notices::Field::Meter4mA, input::kMicroamperes.min,
                            input::kMicroamperes.max, 1000);
        return;
    }
    // Without the 4 mA point the rest would calibrate against an old one.
    if (!writeConfirmed(reg::kMeasured4mA, {input::toWord(*microamps)})) {
        notify(notices::Notice::WriteFailure);   // stays at "b"
        return;
    }
    link->waitMs(400);

    int budget = link->budget().commandChecks;
    writeWithBudget(budget, reg::kCurrentCommand, {reg::Drive20mA});
    link->waitMs(400);
    const auto holding = fetchOrReport(QModbusDataUnit::HoldingRegisters, notices::Notice::ReadFailure, -1, &budget);
    if (!holding)
        return;
    if (!confirms(*holding, reg::Drive20mA)) {
        notify(notices::Notice::WriteFailure);
        return;
    }

    setStepText(QLatin1Char('c'));
    QLineEdit *meter = ui->lineEdit_ma_auto_calib_4;
    meter->setText(QStringLiteral("19.001"));
    meter->setFocus(Qt::OtherFocusReason);
    meter->setSelection(3, 3);
}

void Widget::autoCalibrationStepC()
{
    const auto microamps = input::scaled(ui->lineEdit_ma_auto_calib_4->text(), 1000,
                                         input::kMicroamperes);
    if (!microamps) {
        notifyInvalidNumber(notices::Field::Meter20mA, input::kMicroamperes.min,
                            input::kMicroamperes.max, 1000);
        return;
    }
    // Storing without the 20 mA point would commit a half calibration.
    const bool pointAccepted = writeConfirmed(reg::kMeasured20mA, {input::toWord(*microamps)});
    if (pointAccepted)
        link->waitMs(400);
    if (!pointAccepted || !writeConfirmed(reg::kStoreCommand, {reg::kStoreValue})) {
        notify(notices::Notice::WriteFailure);   // stays at "c": the technician repeats it
        return;
    }
    ui->progressBar_write->setValue(30);
    if (!runProgress(31, 100, 20))
        return;
    link->waitMs(400);
    if (!writeConfirmed(reg::kWorkModeCommand, {reg::ModeNone}))
        notify(notices::Notice::WriteFailure);   // stored, but still in mode 4
    link->waitMs(400);
    setStepText(QLatin1Char('a'));
}
