// Function groups: at most one is usable, the one the transmitter reports as
// its work mode; each group's lamp is lit while it is enabled.

#include "window/widget.h"

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
    group_para_on = on ? 1 : 0;
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
    group_tc_on = on ? 1 : 0;
    switchControls({ui->commandLinkButton_tc_0mV, ui->commandLinkButton_tc_50mV,
                    ui->commandLinkButton_tc_indoor_auto_calib, ui->lineEdit_tc_0mV,
                    ui->lineEdit_tc_50mV, ui->lineEdit_tc_indoor_auto_calib,
                    ui->pushButton_tc_write},
                   on);
    switchLamp(led_tc, on);
}

void Widget::setPtGroupEnabled(bool on)
{
    group_pt_on = on ? 1 : 0;
    switchControls({ui->lineEdit_pt_100R, ui->lineEdit_pt_200R, ui->commandLinkButton_pt_100R,
                    ui->commandLinkButton_pt_200R, ui->pushButton_pt_write},
                   on);
    switchLamp(led_pt, on);
}

void Widget::setMaGroupEnabled(bool on)
{
    group_ma_on = on ? 1 : 0;
    fine_trim->deselect();   // either way no end is chosen now
    switchControls({ui->spinBox_ma_fine, ui->radioButton_ma_fine_4, ui->radioButton_ma_fine_20,
                    ui->pushButton_ma_write},
                   on);
    if (on) {
        // Always the Simplified Chinese text: the step letter is what matters.
        ui->commandLinkButton_ma_auto_calib_4->setText(lang::stepText(QLatin1Char('a'), 0));
        for (QRadioButton *end : {ui->radioButton_ma_fine_4, ui->radioButton_ma_fine_20}) {
            end->setCheckable(false);   // clears any check mark
            end->setCheckable(true);
        }
        // Nothing to trim until an end is chosen.
        ui->spinBox_ma_fine->setDisabled(true);
    }
    switchLamp(led_ma, on);
}

void Widget::selectWorkGroup(int group)
{
    work_group = group;
    struct Group {
        int number;
        int *flag;
        void (Widget::*set)(bool);
    };
    const Group groups[] = {
        {1, &group_para_on, &Widget::setParaGroupEnabled},
        {2, &group_tc_on, &Widget::setTcGroupEnabled},
        {3, &group_pt_on, &Widget::setPtGroupEnabled},
        {4, &group_ma_on, &Widget::setMaGroupEnabled},
    };
    // A group already in the wanted state is left alone.
    for (const Group &g : groups) {
        if (g.number == group && *g.flag == 0)
            (this->*g.set)(true);
        else if (g.number != group && *g.flag == 1)
            (this->*g.set)(false);
    }
}
