// The automatic two-point calibration of the 4-20 mA output: the window
// renders the procedure's step in the button and passes on the meter readings.

#include "window/widget.h"

#include "core/operator_input.h"
#include "procedures/current_calibration.h"
#include "texts/language_table.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"

using proc::CurrentCalibration;

void Widget::setStepText(QChar letter)
{
    const QString text = lang::stepText(letter, languageIndex());
    if (!text.isEmpty())
        ui->commandLinkButton_ma_auto_calib_4->setText(text);
}

void Widget::showCalibrationStep(CurrentCalibration::Step step)
{
    QLineEdit *meter = ui->lineEdit_ma_auto_calib_4;
    switch (step) {
    case CurrentCalibration::Step::Start:
        setStepText(QLatin1Char('a'));
        break;
    case CurrentCalibration::Step::At4mA:
        setStepText(QLatin1Char('b'));
        meter->setText(QStringLiteral("4.001"));
        meter->setFocus(Qt::OtherFocusReason);
        meter->setSelection(2, 3);   // typing replaces the "001"
        break;
    case CurrentCalibration::Step::At20mA:
        setStepText(QLatin1Char('c'));
        meter->setText(QStringLiteral("19.001"));
        meter->setFocus(Qt::OtherFocusReason);
        meter->setSelection(3, 3);
        break;
    }
}

// What the operator is told of a step that did not go on.
void Widget::reportCalibrationStep(CurrentCalibration::Result result)
{
    // A calibration that ended otherwise says what RAM and the stored image hold.
    if (result != CurrentCalibration::Result::Done && result != CurrentCalibration::Result::NotRun
        && !current_calibration->running())
        showVerdict(proc::outcomeText(current_calibration->outcome(), languageIndex()));
    switch (result) {
    case CurrentCalibration::Result::Done:
    case CurrentCalibration::Result::NotRun:   // the link has said why
        break;
    case CurrentCalibration::Result::ReadFailed:
        notify(notices::Notice::ReadFailure);
        break;
    case CurrentCalibration::Result::WriteFailed:
        notify(notices::Notice::WriteFailure);
        break;
    case CurrentCalibration::Result::StateLost:
        showVerdict(lang::calibrationEndText(lang::CalibrationEnd::StateLost, languageIndex()));
        notify(notices::Notice::WriteFailure);
        break;
    case CurrentCalibration::Result::LinkChanged:
        notify(notices::Notice::LinkClosedDuringOperation);
        break;
    }
}

void Widget::on_commandLinkButton_ma_auto_calib_4_clicked()
{
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    const CurrentCalibration::Step step = current_calibration->step();
    if (step == CurrentCalibration::Step::Start) {
        // The fine trim is locked while the procedure holds the output.
        reportCalibrationStep(current_calibration->start());
        return;
    }
    const bool at4 = step == CurrentCalibration::Step::At4mA;
    const auto microamps = input::scaled(ui->lineEdit_ma_auto_calib_4->text(), 1000, input::kMicroamperes);
    if (!microamps) {
        notifyInvalidNumber(at4 ? notices::Field::Meter4mA : notices::Field::Meter20mA,
                            input::kMicroamperes.min, input::kMicroamperes.max, 1000);
        return;
    }
    const quint16 word = input::toWord(*microamps);
    const auto result = at4 ? current_calibration->measured4mA(word) : current_calibration->measured20mA(word);
    if (!at4 && result == CurrentCalibration::Result::Done) {
        ui->progressBar_write->setValue(30);
        runProgress(31, 100, 20);
    }
    reportCalibrationStep(result);
}
