// Opening and closing the serial Modbus link.

#include "widget.h"

#include "bus_timing.h"
#include "hled.h"
#include "language_table.h"
#include "notice_texts.h"
#include "notices.h"
#include "port_combo.h"
#include "port_list.h"
#include "rtu_master.h"
#include "serial_settings.h"
#include "ui_widget.h"

#include <QModbusClient>
#include <QTimer>

void Widget::refreshPorts()
{
    ports::refillPortBox(ui->comboBox_com_num, ports::availablePortInfos());
}

void Widget::on_pushButton_com_ref_clicked()
{
    refreshPorts();
}

bool Widget::isConnected() const
{
    return modbusDevice && modbusDevice->state() == QModbusDevice::ConnectedState;
}

int Widget::baudRate() const
{
    return ui->comboBox_baudrate->currentText().toInt(nullptr, 10);
}

int Widget::serverAddress() const
{
    return ui->lineEdit_dev_addr->text().toInt(nullptr, 10);
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
    if (!modbusDevice) {
        notify(notices::Notice::DeviceCreationFailed);
        return;
    }
    if (isConnected())
        closeLink();
    else
        openLink();
}

namespace {
bus::SerialFormat formatOf(Ui::Widget *ui)
{
    bus::SerialFormat f;
    f.baud = ui->comboBox_baudrate->currentText().toInt(nullptr, 10);
    f.dataBits = ui->comboBox_databit->currentText().toInt(nullptr, 10);
    f.parity = serial::parityFromText(ui->comboBox_checkbit->currentText()) != QSerialPort::NoParity;
    f.stopBits = serial::stopBitsFromText(ui->comboBox_stopbit->currentText()) == QSerialPort::OneStop ? 1 : 2;
    return f;
}
}

// Each connection gets a master of its own: the old one's queue may still hold
// a request that it will never finish. The old master is kept a while, closed,
// for timers it may still have running.
void Widget::renewMaster()
{
    if (master_used) {
        QModbusClient *old = modbusDevice;
        old->disconnect(this);
        QTimer::singleShot(10000, old, &QObject::deleteLater);
        modbusDevice = new rtu::RtuSerialMaster(this);
        connect(modbusDevice, &QModbusDevice::errorOccurred, this, &Widget::onDeviceError);
    }
    master_used = true;
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
    renewMaster();
    // A connection starts clean, whatever the last one left behind.
    ledger->reset();
    reply_pending = false;
    reply_route = 0;
    read_failed = false;
    poll_passes_left = 0;
    live_divisor.reset();
    reported_mode = -1;
    ++link_generation;

    const bus::SerialFormat format = formatOf(ui);
    line_budget = bus::lineBudget(format);
    modbusDevice->setConnectionParameter(QModbusDevice::SerialPortNameParameter,
                                         ports::chosenLocation(ui->comboBox_com_num));
    modbusDevice->setConnectionParameter(QModbusDevice::SerialParityParameter,
                                         serial::parityFromText(ui->comboBox_checkbit->currentText()));
    modbusDevice->setConnectionParameter(QModbusDevice::SerialBaudRateParameter,
                                         ui->comboBox_baudrate->currentText());
    modbusDevice->setConnectionParameter(QModbusDevice::SerialDataBitsParameter,
                                         ui->comboBox_databit->currentText());
    modbusDevice->setConnectionParameter(QModbusDevice::SerialStopBitsParameter,
                                         serial::stopBitsFromText(ui->comboBox_stopbit->currentText()));
    modbusDevice->setTimeout(line_budget.responseTimeoutMs);
    modbusDevice->setNumberOfRetries(0);

    if (!modbusDevice->connectDevice() || modbusDevice->state() == QModbusDevice::UnconnectedState) {
        notifyOpenFailure(ports::chosenLocation(ui->comboBox_com_num));
        return;
    }
    for (QWidget *control : lockedWhileConnected(ui))
        control->setDisabled(true);
    const QString text = lang::connectButtonText(lang::ConnectText::Connected, languageIndex());
    if (!text.isEmpty())
        ui->pushButton_com_connect->setText(text);
    led_com->turnOn(true);
    poll_timer->start(line_budget.pollPeriodMs);
    emit linkOpened();
}

void Widget::closeLink()
{
    // Every outstanding request ends as aborted; their handlers clear the flags.
    closing_link = true;
    ledger->abortAll();
    modbusDevice->disconnectDevice();
    closing_link = false;
    ++link_generation;
    poll_timer->stop();
    poll_pass_timer->stop();
    poll_passes_left = 0;

    const QString text = lang::connectButtonText(lang::ConnectText::Disconnected, languageIndex());
    if (!text.isEmpty())
        ui->pushButton_com_connect->setText(text);
    led_com->turnOff(true);
    for (QWidget *control : lockedWhileConnected(ui))
        control->setEnabled(true);
    wakeWaits();   // an operation on this link ends now
}

// A line that goes away (adapter unplugged) leaves the master connected but
// deaf, with errors arriving in a flood: close it as the button would.
void Widget::onDeviceError(QModbusDevice::Error error)
{
    if (closing_link || !isConnected())
        return;
    if (error != QModbusDevice::ConnectionError && error != QModbusDevice::ReadError
        && error != QModbusDevice::WriteError)
        return;
    const QString reason = modbusDevice->errorString();
    closeLink();
    showLinkFailure(reason);
}

// The master never finished a request: the port takes no data (a UART without
// hardware, a hung adapter), and everything sent to it would pile up behind it.
// Close that link before any wait looks again, and say which port it was.
void Widget::onRequestGivenUp()
{
    if (!isConnected() || shutting_down)
        return;
    const QString port = ports::chosenLocation(ui->comboBox_com_num);
    closeLink();
    const auto text = notices::portSilentNotice(port, languageIndex());
    if (!text)
        return;
    showLinkFailure(text->text);
    // The box waits for the event loop: this runs inside the ledger's delivery.
    QTimer::singleShot(0, this, [notice = *text] { notices::showBox(notice.title, notice.text); });
}
