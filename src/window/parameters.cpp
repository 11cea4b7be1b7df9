// Parameter mode, parameter read and parameter write (holding 0..8).

#include "window/widget.h"

#include "core/operator_input.h"
#include "core/registers.h"
#include "core/write_verdict.h"
#include "procedures/stored_change.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"
#include "widgets/hled.h"

namespace {

struct TypedNumber {
    QLineEdit *edit;
    notices::Field field;
    int scale;
    input::Range range;
    std::optional<qint64> value;
};

} // namespace

void Widget::on_pushButton_para_set_clicked()
{
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    if (!unit_state->toggle(reg::ModeParameters))
        notify(notices::Notice::WriteFailure);
}

void Widget::on_pushButton_para_read_clicked()
{
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    const auto holding = fetchOrReport(QModbusDataUnit::HoldingRegisters, notices::Notice::ReadFailure, 30);
    if (!holding)
        return;

    ui->progressBar_write->setValue(50);
    const QVector<quint16> &v = *holding;
    // An unknown code leaves the combo blank, so a write keeps it as stored.
    ui->comboBox_para_input_sel->setCurrentIndex(
        reg::inputTypeIndex(reg::word(v, reg::kInputType)).value_or(-1));
    ui->lineEdit_para_hight_tmp->setText(reg::tenthsText(reg::word(v, reg::kUpperRange)));
    ui->lineEdit_para_low_tmp->setText(reg::tenthsText(reg::word(v, reg::kLowerRange)));
    ui->lineEdit_para_zero_offset->setText(reg::hundredthsText(reg::word(v, reg::kZeroOffset)));
    ui->comboBox_para_unit_tmp->setCurrentIndex(reg::unitIndex(reg::word(v, reg::kUnit)).value_or(-1));
    ui->comboBox_para_filter_coe->setCurrentIndex(
        reg::filterIndex(reg::word(v, reg::kFilterCoefficient)));
    ui->lineEdit_para_indoor_zero_offset->setText(
        reg::hundredthsText(reg::word(v, reg::kRoomZeroOffset)));
    ui->comboBox_para_indoor_gain->setCurrentIndex(reg::roomGainIndex(reg::word(v, reg::kRoomGain)));
    ui->progressBar_write->setValue(100);
}

void Widget::on_pushButton_para_write_clicked()
{
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;

    // Every typed number must mean exactly one register value before anything goes out.
    TypedNumber fields[] = {
        {ui->lineEdit_para_hight_tmp, notices::Field::UpperRange, 10, input::kRangeLimitTenths, {}},
        {ui->lineEdit_para_low_tmp, notices::Field::LowerRange, 10, input::kRangeLimitTenths, {}},
        {ui->lineEdit_para_zero_offset, notices::Field::ZeroOffset, 100, input::kSignedHundredths, {}},
        {ui->lineEdit_para_indoor_zero_offset, notices::Field::RoomZeroOffset, 100,
         input::kSignedHundredths, {}},
    };
    for (TypedNumber &f : fields) {
        f.value = input::scaled(f.edit->text(), f.scale, f.range);
        if (!f.value) {
            notifyInvalidNumber(f.field, f.range.min, f.range.max, f.scale);
            return;
        }
    }

    const auto holding = fetchOrReport(QModbusDataUnit::HoldingRegisters, notices::Notice::WriteFailure);
    if (!holding)
        return;

    // Read-modify-write: holding 3, which the form does not show, goes back unchanged.
    QVector<quint16> v = *holding;
    const QVector<quint16> before = v.mid(0, reg::kParameterBlockCount);
    if (const auto code = reg::inputTypeCode(ui->comboBox_para_input_sel->currentIndex()))
        v[reg::kInputType] = *code;
    v[reg::kUpperRange] = input::toWord(*fields[0].value);
    v[reg::kLowerRange] = input::toWord(*fields[1].value);
    v[reg::kZeroOffset] = input::toWord(*fields[2].value);
    if (const auto code = reg::unitCode(ui->comboBox_para_unit_tmp->currentIndex()))
        v[reg::kUnit] = *code;
    // A combo left blank by an unknown stored value keeps that value.
    if (ui->comboBox_para_filter_coe->currentIndex() >= 0)
        v[reg::kFilterCoefficient] = quint16(ui->comboBox_para_filter_coe->currentText().toInt());
    v[reg::kRoomZeroOffset] = input::toWord(*fields[3].value);
    if (ui->comboBox_para_indoor_gain->currentIndex() >= 0)
        v[reg::kRoomGain] = reg::roomGainValue(ui->comboBox_para_indoor_gain->currentIndex());

    // Stored only once the block was accepted, and done only once the store
    // was and the block reads back; anything else goes back to what it was.
    const QVector<quint16> block = v.mid(0, reg::kParameterBlockCount);
    const proc::ChangeReport report = proc::storeChange(
        *link, [&block](const QVector<quint16> &) { return verify::Written{0, block}; }, 100, &*holding);
    if (reportChange(report))
        runProgress(1, 100, 40);
}

bool Widget::verifyReadBack(int start, const QVector<quint16> &written)
{
    const verify::ReadBack check = verify::readBack(*link, {{start, written}});
    if (!check.error.ok()) {
        // A link closed under the step has said why in the link status.
        if (!link->operationLinkLost() && !link->isShuttingDown())
            notify(notices::Notice::ReadFailure);
        return false;
    }
    const verify::WriteVerdict verdict = verify::verifyWrite(start, written, check.block, languageIndex());
    showVerdict(verdict.text);
    if (!verdict.verified)
        notify(notices::Notice::WriteFailure);
    return verdict.verified;
}

bool Widget::reportChange(const proc::ChangeReport &report)
{
    const int language = languageIndex();
    switch (report.outcome) {
    case proc::ChangeOutcome::Verified:
        showVerdict(verify::verifyWrite(report.written.start, report.written.words, report.check.block, language).text);
        return true;
    case proc::ChangeOutcome::ReadFailed:
    case proc::ChangeOutcome::ReadBackFailed:
        notify(notices::Notice::ReadFailure);
        return false;
    case proc::ChangeOutcome::Differs:
        showVerdict(verify::verifyWrite(report.written.start, report.written.words, report.check.block, language).text
                    + QStringLiteral("；") + proc::aftermathText(report.aftermath, language));
        notify(notices::Notice::WriteFailure);
        return false;
    case proc::ChangeOutcome::WriteFailed:
    case proc::ChangeOutcome::StoreFailed:
        notify(notices::Notice::WriteFailure);
        showAftermath(report.aftermath);
        return false;
    }
    return false;
}

void Widget::showAftermath(const proc::Aftermath &aftermath)
{
    if (aftermath.needed)
        showVerdict(proc::aftermathText(aftermath, languageIndex()));
}

void Widget::showVerdict(const QString &text)
{
    ui->label_link_sta->setText(QStringLiteral("link status: 【") + text + QStringLiteral("】"));
    verdict_shown.start();
}
