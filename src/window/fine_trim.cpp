// Fine trim of either end of the current output with the spin box.

#include "window/widget.h"

#include "core/registers.h"
#include "procedures/fine_trim.h"
#include "link/bus_timing.h"
#include "texts/language_table.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"

#include <QSignalBlocker>

void Widget::on_pushButton_ma_calib_clicked()
{
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    // Against the mode the transmitter reports: during an automatic calibration
    // the window keeps its group, but the button must still leave mode 4.
    const int mode = reported_mode >= 0 ? reported_mode : work_group;
    const quint16 value =
        mode == reg::ModeCurrentOutput ? quint16(reg::ModeNone) : quint16(reg::ModeCurrentOutput);
    // An automatic calibration left halfway has been abandoned as this operation started.
    if (!writeConfirmed(reg::kWorkModeCommand, {value})) {
        notify(notices::Notice::WriteFailure);
        return;
    }
    fineTrimRefresh();
}

// Locked while the automatic calibration runs; unlocked, no end is chosen yet.
void Widget::setFineTrimLocked(bool locked)
{
    fine_trim->deselect();
    for (QRadioButton *end : {ui->radioButton_ma_fine_4, ui->radioButton_ma_fine_20}) {
        end->setCheckable(false);   // clears any check mark
        end->setCheckable(!locked);
        end->setEnabled(!locked && group_ma_on);
    }
    ui->spinBox_ma_fine->setDisabled(true);
}

namespace {

// The click already moved the check mark, but the transmitter was not told to
// trim that end: leave no end selected, so no trim goes to the wrong register.
void dropSelection(QRadioButton *clicked, proc::FineTrim &trim)
{
    trim.deselect();
    if (clicked->isCheckable() && clicked->isChecked()) {
        clicked->setCheckable(false);   // clears the check mark
        clicked->setCheckable(true);
    }
}

// Records whether the operator changed the spin box while a load waited for
// its block; such a block predates the change and must not replace it. Loads
// set the box with its signals blocked, so every change seen is the operator's.
class OperatorChangeWatch
{
public:
    explicit OperatorChangeWatch(QSpinBox *box)
    {
        m_connection = QObject::connect(box, QOverload<int>::of(&QSpinBox::valueChanged),
                                        [this] { m_changed = true; });
    }
    ~OperatorChangeWatch() { QObject::disconnect(m_connection); }
    OperatorChangeWatch(const OperatorChangeWatch &) = delete;
    OperatorChangeWatch &operator=(const OperatorChangeWatch &) = delete;
    bool changed() const { return m_changed; }

private:
    QMetaObject::Connection m_connection;
    bool m_changed = false;
};

} // namespace

void Widget::on_radioButton_ma_fine_4_clicked()
{
    rtu::OperationGuard guard(*link);
    if (guard && requireLink())
        fineTrimRefresh();
    else
        dropSelection(ui->radioButton_ma_fine_4, *fine_trim);
    if (!chosenTrimEnd())
        ui->spinBox_ma_fine->setDisabled(true);
}

void Widget::on_radioButton_ma_fine_20_clicked()
{
    rtu::OperationGuard guard(*link);
    if (guard && requireLink())
        fineTrimRefresh();
    else
        dropSelection(ui->radioButton_ma_fine_20, *fine_trim);
    if (!chosenTrimEnd())
        ui->spinBox_ma_fine->setDisabled(true);
}

// Not connected by the form (no such controls); kept for the same slot list.
void Widget::on_radioButton_ma_4_sel_auto_clicked()
{
    rtu::OperationGuard guard(*link);
    if (guard)
        fineTrimRefresh();
}

void Widget::on_radioButton_ma_20_sel_auto_clicked()
{
    rtu::OperationGuard guard(*link);
    if (guard)
        fineTrimRefresh();
}

// The end the operator chose, or null: only a chosen end can be trimmed.
QRadioButton *Widget::chosenTrimEnd() const
{
    if (!group_ma_on)
        return nullptr;
    for (QRadioButton *end : {ui->radioButton_ma_fine_4, ui->radioButton_ma_fine_20})
        if (end->isCheckable() && end->isChecked())
            return end;
    return nullptr;
}

// What the transmitter holds, shown without counting as an operator change.
void Widget::loadTrimValue(int value)
{
    const QSignalBlocker quiet(ui->spinBox_ma_fine);
    ui->spinBox_ma_fine->setValue(value);
}

// Sends the trim command of the selected end and shows its stored trim value.
void Widget::fineTrimRefresh()
{
    ui->progressBar_write->setValue(40);
    QRadioButton *end = chosenTrimEnd();
    ui->spinBox_ma_fine->setDisabled(true);
    if (end) {
        using Result = proc::FineTrim::Result;
        const auto which = end == ui->radioButton_ma_fine_4 ? proc::FineTrim::End::At4mA : proc::FineTrim::End::At20mA;
        quint16 stored = 0;
        const Result selected = fine_trim->select(which, &stored);
        if (selected == Result::WriteFailed || selected == Result::NotRun) {
            // The transmitter was not told to trim that end: no end stays selected.
            dropSelection(end, *fine_trim);
            notify(notices::Notice::WriteFailure);
            return;
        }
        // The spin box stays off until it shows this end's stored value: a
        // change before that would write the other end's value here.
        if (selected == Result::ReadFailed) {
            notify(notices::Notice::ReadFailure);
            return;
        }
        loadTrimValue(stored);
        if (chosenTrimEnd() == end)
            ui->spinBox_ma_fine->setEnabled(true);
    }
    ui->progressBar_write->setValue(70);
    runProgress(71, 100, 30);
}

// Present trim value (input 9). The form has no button for it.
void Widget::on_pushButton_ma_read_clicked()
{
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    const OperatorChangeWatch watch(ui->spinBox_ma_fine);
    const auto input = fetchOrReport(QModbusDataUnit::InputRegisters, notices::Notice::WriteFailure, 40);
    if (!input)
        return;
    ui->progressBar_write->setValue(60);
    if (!watch.changed())
        loadTrimValue(reg::word(*input, reg::kPresentTrim));
    ui->progressBar_write->setValue(100);
}

// Every operator change goes to the transmitter, to the end chosen when it
// was made; the procedure coalesces changes that arrive while one is written.
void Widget::on_spinBox_ma_fine_valueChanged(int value)
{
    // Not an operation of its own: it must not take over a running one's link.
    if (!link->isOpen()) {
        notify(notices::Notice::NotConnected);
        return;
    }
    // Without a chosen end there is no register to write: say so.
    if (!chosenTrimEnd()) {
        ui->spinBox_ma_fine->setDisabled(true);
        notify(notices::Notice::WriteFailure);
        return;
    }
    ui->progressBar_write->setValue(50);
    const auto result = fine_trim->setValue(quint16(value));
    ui->progressBar_write->setValue(100);
    if (result == proc::FineTrim::Result::LinkChanged)
        notify(notices::Notice::NotConnected);
    else if (result == proc::FineTrim::Result::WriteFailed)
        notify(notices::Notice::WriteFailure);
}
