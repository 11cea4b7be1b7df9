// Function groups: at most one is usable, the one the transmitter reports as
// its work mode; each group's lamp is lit while it is enabled.

#include "window/widget.h"

#include "core/registers.h"
#include "texts/language_table.h"
#include "ui_widget.h"
#include "widgets/hled.h"

namespace {

void switchControls(std::initializer_list<QWidget *> controls, bool on)
{
    for (QWidget *control : controls) {
        if (on)
            control->setEnabled(true);
        else
            control->setDisabled(true);
    }
}

void switchLamp(HLed *lamp, bool on)
{
    if (on)
        lamp->turnOn(true);
    else
        lamp->turnOff(true);
}

} // namespace

void Widget::setParaGroupEnabled(bool on)
{
    switchControls({ui->comboBox_para_unit_tmp, ui->comboBox_para_input_sel,
                    ui->comboBox_para_filter_coe, ui->comboBox_para_indoor_gain,
                    ui->lineEdit_para_low_tmp, ui->lineEdit_para_hight_tmp,
                    ui->lineEdit_para_zero_offset, ui->lineEdit_para_indoor_zero_offset,
                    ui->pushButton_para_read, ui->pushButton_para_write,
                    ui->lineEdit_para_tmp_gain},
                   on);
    switchLamp(led_para, on);
}

void Widget::setTcGroupEnabled(bool on)
{
    switchControls({ui->commandLinkButton_tc_0mV, ui->commandLinkButton_tc_50mV,
                    ui->commandLinkButton_tc_indoor_auto_calib, ui->lineEdit_tc_0mV,
                    ui->lineEdit_tc_50mV, ui->lineEdit_tc_indoor_auto_calib,
                    ui->pushButton_tc_write},
                   on);
    switchLamp(led_tc, on);
}

void Widget::setPtGroupEnabled(bool on)
{
    switchControls({ui->lineEdit_pt_100R, ui->lineEdit_pt_200R, ui->commandLinkButton_pt_100R,
                    ui->commandLinkButton_pt_200R, ui->pushButton_pt_write},
                   on);
    switchLamp(led_pt, on);
}

// The trim ends and the spin box follow the fine trim (showFineTrim).
void Widget::setMaGroupEnabled(bool on)
{
    switchControls({ui->pushButton_ma_write}, on);
    // Always the Simplified Chinese text: the step letter is what matters.
    if (on)
        ui->commandLinkButton_ma_auto_calib_4->setText(lang::stepText(QLatin1Char('a'), 0));
    switchLamp(led_ma, on);
}

void Widget::showGroup(int from, int to)
{
    using Set = void (Widget::*)(bool);
    auto setterOf = [](int group) -> Set {
        switch (group) {
        case reg::ModeParameters: return &Widget::setParaGroupEnabled;
        case reg::ModeThermocouple: return &Widget::setTcGroupEnabled;
        case reg::ModeRtd: return &Widget::setPtGroupEnabled;
        case reg::ModeCurrentOutput: return &Widget::setMaGroupEnabled;
        default: return nullptr;
        }
    };
    if (const Set close = setterOf(from))
        (this->*close)(false);
    if (const Set open = setterOf(to))
        (this->*open)(true);
}
