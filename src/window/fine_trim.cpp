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
    // An automatic calibration left halfway has been abandoned as this operation started.
    if (!unit_state->toggle(reg::ModeCurrentOutput)) {
        notify(notices::Notice::WriteFailure);
        return;
    }
    chooseTrimEnd(fine_trim->end());
}

// Rendered from the fine trim: checkable unless the automatic calibration
// holds the output, usable while the trim is available, the chosen end
// checked, and the spin box on only once the chosen end's value is loaded.
void Widget::showFineTrim()
{
    using End = proc::FineTrim::End;
    const std::optional<End> shown = fine_trim->shownEnd();
    const std::pair<QRadioButton *, End> ends[] = {{ui->radioButton_ma_fine_4, End::At4mA},
                                                   {ui->radioButton_ma_fine_20, End::At20mA}};
    for (const auto &[radio, end] : ends) {
        const QSignalBlocker quiet(radio);
        radio->setCheckable(false);   // clears any check mark
        radio->setCheckable(!fine_trim->locked());
        if (shown == end)
            radio->setChecked(true);
        radio->setEnabled(fine_trim->available());
    }
    ui->spinBox_ma_fine->setEnabled(fine_trim->available() && fine_trim->end().has_value());
}

namespace {

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
    trimEndClicked(proc::FineTrim::End::At4mA);
}

void Widget::on_radioButton_ma_fine_20_clicked()
{
    trimEndClicked(proc::FineTrim::End::At20mA);
}

// The click moved the check mark itself; what shows afterwards is the fine
// trim's end. A click that cannot be sent chooses nothing: no trim goes to
// an end the transmitter was not told of.
void Widget::trimEndClicked(proc::FineTrim::End end)
{
    {
        rtu::OperationGuard guard(*link);
        if (guard && requireLink())
            chooseTrimEnd(end);
        else
            fine_trim->deselect();
    }
    showFineTrim();
}

// Not connected by the form (no such controls); kept for the same slot list.
void Widget::on_radioButton_ma_4_sel_auto_clicked()
{
    rtu::OperationGuard guard(*link);
    if (guard)
        chooseTrimEnd(fine_trim->end());
}

void Widget::on_radioButton_ma_20_sel_auto_clicked()
{
    rtu::OperationGuard guard(*link);
    if (guard)
        chooseTrimEnd(fine_trim->end());
}

// What the transmitter holds, shown without counting as an operator change.
void Widget::loadTrimValue(int value)
{
    const QSignalBlocker quiet(ui->spinBox_ma_fine);
    ui->spinBox_ma_fine->setValue(value);
}

// Sends the trim command of `end`; the fine trim loads its stored value
// (endLoaded) and says whether the end is chosen (changed).
void Widget::chooseTrimEnd(std::optional<proc::FineTrim::End> end)
{
    ui->progressBar_write->setValue(40);
    if (end) {
        using Result = proc::FineTrim::Result;
        const Result selected = fine_trim->select(*end);
        if (selected == Result::WriteFailed || selected == Result::NotRun) {
            notify(notices::Notice::WriteFailure);
            return;
        }
        if (selected == Result::ReadFailed) {
            notify(notices::Notice::ReadFailure);
            return;
        }
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
    if (!fine_trim->end()) {
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
