// Fine trim of either end of the current output with the spin box.

#include "window/widget.h"

#include "core/registers.h"
#include "link/bus_timing.h"
#include "texts/language_table.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"

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
void dropSelection(QRadioButton *clicked)
{
    if (clicked->isCheckable() && clicked->isChecked()) {
        clicked->setCheckable(false);   // clears the check mark
        clicked->setCheckable(true);
    }
}

// Records whether the operator changed the spin box while a load waited for
// its block; such a block predates the change and must not replace it.
class OperatorChangeWatch
{
public:
    OperatorChangeWatch(QSpinBox *box, const bool &loading)
    {
        m_connection = QObject::connect(box, QOverload<int>::of(&QSpinBox::valueChanged),
                                        [this, &loading] {
                                            if (!loading)
                                                m_changed = true;
                                        });
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
        dropSelection(ui->radioButton_ma_fine_4);
    if (!chosenTrimEnd())
        ui->spinBox_ma_fine->setDisabled(true);
}

void Widget::on_radioButton_ma_fine_20_clicked()
{
    rtu::OperationGuard guard(*link);
    if (guard && requireLink())
        fineTrimRefresh();
    else
        dropSelection(ui->radioButton_ma_fine_20);
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

// Sends the trim command of the selected end and shows its stored trim value.
void Widget::fineTrimRefresh()
{
    ui->progressBar_write->setValue(40);
    QRadioButton *end = chosenTrimEnd();
    ui->spinBox_ma_fine->setDisabled(true);
    if (end) {
        const bool end4 = end == ui->radioButton_ma_fine_4;
        int budget = link->budget().commandChecks;
        if (!writeConfirmed(reg::kCurrentCommand, {end4 ? reg::Trim4mA : reg::Trim20mA}, &budget)) {
            // The transmitter was not told to trim that end: no end stays selected.
            dropSelection(end);
            notify(notices::Notice::WriteFailure);
            return;
        }
        link->waitMs(400);
        // The spin box stays off until it shows this end's stored value: a
        // change before that would write the other end's value here.
        const auto v = fetchOrReport(QModbusDataUnit::HoldingRegisters, notices::Notice::ReadFailure, -1, &budget);
        if (!v)
            return;
        // Loading what the transmitter holds is not an operator change.
        loading_trim = true;
        ui->spinBox_ma_fine->setValue(reg::word(*v, end4 ? reg::kTrim4mA : reg::kTrim20mA));
        loading_trim = false;
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
    const OperatorChangeWatch watch(ui->spinBox_ma_fine, loading_trim);
    const auto input = fetchOrReport(QModbusDataUnit::InputRegisters, notices::Notice::WriteFailure, 40);
    if (!input)
        return;
    ui->progressBar_write->setValue(60);
    if (!watch.changed()) {
        loading_trim = true;
        ui->spinBox_ma_fine->setValue(reg::word(*input, reg::kPresentTrim));
        loading_trim = false;
    }
    ui->progressBar_write->setValue(100);
}

// Every operator change goes to the transmitter, to the end chosen when it was
// made. Changes that arrive while a write waits for the link are coalesced:
// the last value always goes out, unless its end was changed meanwhile; then
// it is not written, and the operator is told.
void Widget::on_spinBox_ma_fine_valueChanged(int value)
{
    if (loading_trim)
        return;
    // Not an operation of its own: it must not take over a running one's link.
    if (!link->isOpen()) {
        notify(notices::Notice::NotConnected);
        return;
    }
    // Without a chosen end there is no register to write: say so.
    QRadioButton *end = chosenTrimEnd();
    if (!end) {
        ui->spinBox_ma_fine->setDisabled(true);
        notify(notices::Notice::WriteFailure);
        return;
    }
    trim_write_next = TrimWrite{end == ui->radioButton_ma_fine_4 ? reg::kTrim4mA : reg::kTrim20mA,
                                quint16(value)};
    if (trim_write_running)
        return;
    trim_write_running = true;
    // The writes belong to this link; a new connection never gets them.
    const quint64 generation = link->generation();
    // Every request ends by its deadline, so a busy link only delays the
    // value; only a link that never frees up loses it, with a notice.
    constexpr int kBusyRounds = 10;
    int busyRounds = 0;
    bool lost = false;
    while (trim_write_next && link->isOpen() && link->generation() == generation && !link->isShuttingDown()) {
        const TrimWrite trim = *trim_write_next;
        trim_write_next.reset();
        const TrimSent sent = writeTrim(trim, generation);
        if (sent == TrimSent::Overtaken) {
            lost = true;
        } else if (sent == TrimSent::Sent) {
            busyRounds = 0;
        } else if (++busyRounds < kBusyRounds) {
            if (!trim_write_next)
                trim_write_next = trim;
        } else {
            lost = true;
        }
    }
    trim_write_next.reset();
    trim_write_running = false;
    if (link->isShuttingDown())
        return;
    if (!link->isOpen() || link->generation() != generation)
        notify(notices::Notice::NotConnected);
    else if (lost)
        notify(notices::Notice::WriteFailure);
}

Widget::TrimSent Widget::writeTrim(const TrimWrite &trim, quint64 generation)
{
    auto chosenAddress = [this] {
        QRadioButton *end = chosenTrimEnd();
        return !end ? -1 : end == ui->radioButton_ma_fine_4 ? reg::kTrim4mA : reg::kTrim20mA;
    };
    if (chosenAddress() != trim.address)
        return TrimSent::Overtaken;
    ui->progressBar_write->setValue(50);
    const bool free = link->preWait() && link->generation() == generation;
    // The end may have changed while the link was busy.
    if (free && chosenAddress() != trim.address)
        return TrimSent::Overtaken;
    if (free)
        link->sendWrite(trim.address, {trim.value});
    ui->progressBar_write->setValue(100);
    return free ? TrimSent::Sent : TrimSent::Busy;
}
