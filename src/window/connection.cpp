// The connect button and what the window shows of the link opening and closing.

#include "window/widget.h"

#include "link/port_list.h"
#include "link/serial_settings.h"
#include "texts/language_table.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"
#include "widgets/hled.h"
#include "window/notices.h"
#include "window/port_combo.h"

#include <QTimer>

void Widget::refreshPorts()
{
    ports::refillPortBox(ui->comboBox_com_num, ports::availablePortInfos());
}

void Widget::on_pushButton_com_ref_clicked()
{
    refreshPorts();
}

namespace {
QList<QWidget *> lockedWhileConnected(Ui::Widget *ui)
{
    return {ui->pushButton_com_ref, ui->comboBox_com_num, ui->comboBox_databit,
            ui->comboBox_stopbit, ui->comboBox_baudrate, ui->comboBox_checkbit,
            ui->lineEdit_dev_addr};
}
}

void Widget::on_pushButton_com_connect_clicked()
{
    if (link->isOpen())
        link->close();
    else
        openLink();
}

namespace {
rtu::SerialOptions optionsOf(Ui::Widget *ui, int address)
{
    rtu::SerialOptions o;
    o.port = ports::chosenLocation(ui->comboBox_com_num);
    o.baud = ui->comboBox_baudrate->currentText().toInt(nullptr, 10);
    o.dataBits = ui->comboBox_databit->currentText().toInt(nullptr, 10);
    o.parity = serial::parityFromText(ui->comboBox_checkbit->currentText());
    o.stopBits = serial::stopBitsFromText(ui->comboBox_stopbit->currentText());
    o.address = address;
    return o;
}
}

void Widget::openLink()
{
    // Address 0 is a broadcast nobody answers, and the frame holds 8 bits.
    bool numeric = false;
    const int address = ui->lineEdit_dev_addr->text().trimmed().toInt(&numeric, 10);
    if (!numeric || address < 1 || address > 247) {
        notify(notices::Notice::InvalidAddress);
        return;
    }
    // A connection starts clean, whatever the last one left behind.
    poll_passes_left = 0;
    if (!link->open(optionsOf(ui, address))) {
        notifyOpenFailure(ports::chosenLocation(ui->comboBox_com_num));
        return;
    }
    for (QWidget *control : lockedWhileConnected(ui))
        control->setDisabled(true);
    const QString text = lang::connectButtonText(lang::ConnectText::Connected, languageIndex());
    if (!text.isEmpty())
        ui->pushButton_com_connect->setText(text);
    led_com->turnOn(true);
    poll_timer->start(link->budget().pollPeriodMs);
    emit linkOpened();
}

// The link has closed, by the button, a lost line or a silent port.
void Widget::onLinkClosed()
{
    poll_timer->stop();
    poll_pass_timer->stop();
    poll_passes_left = 0;

    const QString text = lang::connectButtonText(lang::ConnectText::Disconnected, languageIndex());
    if (!text.isEmpty())
        ui->pushButton_com_connect->setText(text);
    led_com->turnOff(true);
    for (QWidget *control : lockedWhileConnected(ui))
        control->setEnabled(true);
}

// The port takes no data (a UART without hardware, a hung adapter): the link
// has closed; say which port it was.
void Widget::onPortSilent(const QString &port)
{
    const auto text = notices::portSilentNotice(port, languageIndex());
    if (!text)
        return;
    showLinkFailure(text->text);
    // This runs inside the ledger's delivery.
    notices::post(text->title, text->text);
}
