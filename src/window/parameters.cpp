// Parameter mode, parameter read and parameter write (holding 0..8).

#include "window/widget.h"

#include "core/operator_input.h"
#include "core/registers.h"
#include "core/write_verdict.h"
#include "procedures/config_apply.h"
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

// What the window shows of a parameter write: the link status, and the
// notice of a write that did not verify.
struct ApplyShown {
    std::optional<notices::Notice> notice;
    QString status;
};

// The first field that does not read back as the page set it, or "verified".
QString readBackText(const config::Configuration &page, const QVector<quint16> &block, int language)
{
    verify::WriteVerdict verdict{true, -1, {}};
    for (auto it = page.words.cbegin(); it != page.words.cend(); ++it) {
        verdict = verify::verifyWrite(it.key(), {it.value()}, block, language);
        if (!verdict.verified)
            break;
    }
    return verdict.text;
}

ApplyShown shownOf(const config::ApplyReport &report, const config::Configuration &page, int language)
{
    const QString aftermath = report.aftermath.needed ? proc::aftermathText(report.aftermath, language) : QString();
    const QVector<quint16> block = report.checked ? report.checked->holding : QVector<quint16>();
    switch (report.outcome) {
    case config::ApplyOutcome::Verified:
        return {std::nullopt, readBackText(page, block, language)};
    case config::ApplyOutcome::ReadFailed:
    case config::ApplyOutcome::ReadBackFailed:
        return {notices::Notice::ReadFailure, aftermath};
    case config::ApplyOutcome::Mismatch:
        return {notices::Notice::WriteFailure, readBackText(page, block, language) + QStringLiteral("；") + aftermath};
    case config::ApplyOutcome::WriteRefused:
    case config::ApplyOutcome::WriteFailed:
    case config::ApplyOutcome::StoreFailed:
        break;
    }
    return {notices::Notice::WriteFailure, aftermath};
}

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

    // The fields the page sets; a combo left blank by an unknown stored value
    // is no field of the write, so that value stays. The configuration apply
    // writes the ones that differ, reads back, stores, and puts back on failure.
    config::Configuration page;
    // 写入 stores, whether or not a field differs from RAM.
    config::ApplyOptions options{true, {}, QStringLiteral("parameter write"), true};
    auto set = [&](int address, quint16 word) {
        page.words.insert(address, word);
        options.only << address;
    };
    if (const auto code = reg::inputTypeCode(ui->comboBox_para_input_sel->currentIndex()))
        set(reg::kInputType, *code);
    set(reg::kUpperRange, input::toWord(*fields[0].value));
    set(reg::kLowerRange, input::toWord(*fields[1].value));
    set(reg::kZeroOffset, input::toWord(*fields[2].value));
    if (const auto code = reg::unitCode(ui->comboBox_para_unit_tmp->currentIndex()))
        set(reg::kUnit, *code);
    if (ui->comboBox_para_filter_coe->currentIndex() >= 0)
        set(reg::kFilterCoefficient, quint16(ui->comboBox_para_filter_coe->currentText().toInt()));
    set(reg::kRoomZeroOffset, input::toWord(*fields[3].value));
    if (ui->comboBox_para_indoor_gain->currentIndex() >= 0)
        set(reg::kRoomGain, reg::roomGainValue(ui->comboBox_para_indoor_gain->currentIndex()));

    const config::ApplyReport report = config::applyConfiguration(*link, page, options, &*holding);
    const ApplyShown shown = shownOf(report, page, languageIndex());
    if (!shown.status.isEmpty())
        showVerdict(shown.status);
    if (shown.notice)
        notify(*shown.notice);
    else
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
