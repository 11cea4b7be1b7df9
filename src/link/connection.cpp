// Opening and closing the serial Modbus link.

#include "widget.h"

#include "bus_timing.h"
#include "hled.h"
#include "language_table.h"
#include "notice_texts.h"
#include "port_list.h"
#include "serial_settings.h"
#include "ui_widget.h"

#include <QModbusClient>
#include <QTimer>

void Widget::refreshPorts()
{
    const QStringList list = ports::availablePorts();
    ui->comboBox_com_num->clear();
    ui->comboBox_com_num->insertItems(ui->comboBox_com_num->count(), list);
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

void Widget::openLink()
{
    modbusDevice->setConnectionParameter(QModbusDevice::SerialPortNameParameter,
                                         ui->comboBox_com_num->currentText());
    modbusDevice->setConnectionParameter(QModbusDevice::SerialParityParameter,
                                         serial::parityFromText(ui->comboBox_checkbit->currentText()));
    modbusDevice->setConnectionParameter(QModbusDevice::SerialBaudRateParameter,
                                         ui->comboBox_baudrate->currentText());
    modbusDevice->setConnectionParameter(QModbusDevice::SerialDataBitsParameter,
                                         ui->comboBox_databit->currentText());
    modbusDevice->setConnectionParameter(QModbusDevice::SerialStopBitsParameter,
                                         serial::stopBitsFromText(ui->comboBox_stopbit->currentText()));
    modbusDevice->setTimeout(bus::responseTimeoutMs(baudRate()));
    modbusDevice->setNumberOfRetries(0);

    if (!modbusDevice->connectDevice() || modbusDevice->state() == QModbusDevice::UnconnectedState) {
        notify(notices::Notice::SerialConnectFailed);
        return;
    }
    for (QWidget *control : lockedWhileConnected(ui))
        control->setDisabled(true);
    const QString text = lang::connectButtonText(lang::ConnectText::Connected, languageIndex());
    if (!text.isEmpty())
        ui->pushButton_com_connect->setText(text);
    led_com->turnOn(true);
    poll_timer->start(bus::pollPeriodMs(baudRate()));
    emit linkOpened();
}

void Widget::closeLink()
{
    // Closing aborts the outstanding reply; its handler clears the flags.
    closing_link = true;
    modbusDevice->disconnectDevice();
    closing_link = false;

    const QString text = lang::connectButtonText(lang::ConnectText::Disconnected, languageIndex());
    if (!text.isEmpty())
        ui->pushButton_com_connect->setText(text);
    led_com->turnOff(true);
    for (QWidget *control : lockedWhileConnected(ui))
        control->setEnabled(true);
    poll_timer->stop();
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
