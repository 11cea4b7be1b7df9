#include "texts/language_table.h"

#include <QGroupBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QWidget>

namespace lang {

namespace {

using P = TextProp;

bool validLanguage(int language) { return language >= 0 && language < kLanguageCount; }

// Spellings, spaces and line feeds are the device's established wording; keep them as they are.
const std::vector<TextRow> kRows = {
    {"groupBox_com_set", P::Title, -1, {"串口设置", "串口設置", "serial port settings"}},
    {"label_com_num", P::Text, -1, {"端口号", "端口號", "port"}},
    {"label_baudrate", P::Text, -1, {"波特率", "波特率", "baud"}},
    {"label_databit", P::Text, -1, {"数据位", "數據位", "data"}},
    {"label_checkbit", P::Text, -1, {"校验位", "校驗位", "parity"}},
    {"label_stopbit", P::Text, -1, {"停止位", "停止位", "stop"}},
    {"label_dev_addr", P::Text, -1, {"设备地址", "設備地址", "address"}},
    {"pushButton_com_ref", P::Text, -1, {"端口刷新", "端口刷新", "port refresh"}},
    {"pushButton_com_connect", P::ConnectButton, -1, {nullptr, nullptr, nullptr}},
    {"label_set_baudrate", P::Text, -1, {"选择设置波特率", "選擇設置波特率", "Select set baud rate"}},
    {"pushButton_set_baudrate", P::Text, -1, {"设置波特率", "設置波特率", "set baud rate"}},
    {"groupBox_rt_meas_value", P::Title, -1, {"实时测量值", "實時測量值", "Real-time"}},
    {"label_rt_rt_meas_tmp", P::Text, -1, {"实时测量温度", "實時測量溫度", "PV"}},
    {"label_rt_meas_indoor_tmp", P::Text, -1, {"实时室温温度", "實時室溫溫度", "CJC"}},
    {"label_rt_meas_adc_value", P::Text, -1, {"实时AD采集", "實時AD採集", "Real-time adc value"}},
    {"groupBox_para_set", P::Title, -1, {"参数设置", "參數設置", "Steup"}},
    {"groupBox_tc_calib", P::Title, -1, {"热电偶校准", "熱電偶校準", "TC CALIB"}},
    {"groupBox_pt_calib", P::Title, -1, {"热电阻校准", "熱電阻校準", "PT CALIB"}},
    {"groupBox_ma_calib", P::Title, -1, {"电流修正", "電流修正", "mA CALIB"}},
    {"pushButton_para_set", P::Text, -1, {"参数设置", "參數設置", "parameter steup"}},
    {"label_para_set_input_type", P::Text, -1, {"输入类型", "輸入類型", "Input type"}},
    {"label_para_set_hight_limit", P::Text, -1, {"变送高限", "變送高限", "upper bound"}},
    {"label_para_set_low_limit", P::Text, -1, {"变送低限", "變送低限", "minimum"}},
    {"label_para_set_zero_offset", P::Text, -1, {"零点偏移", "零點偏移", "zero offset"}},
    {"label_para_set_tmp_gain", P::Text, -1, {"温度增益", "溫度增益", "T gain"}},
    {"label_para_set_unit", P::Text, -1, {"单位选择", "單位選擇", "Unit selection"}},
    {"label_para_set_filter_coef", P::Text, -1, {"滤波系数", "濾波係數", "filter factor"}},
    {"label_para_set_indoor_tmp_zero_offset", P::Text, -1, {"室温零点偏移", "室溫零點偏移", "indoor zero offset"}},
    {"label_para_set_indoor_tmp_gain", P::Text, -1, {"室温增益", "室溫增益", "indoor gain"}},
    {"pushButton_para_read", P::Text, -1, {"读取", "讀取", "read"}},
    {"pushButton_para_write", P::Text, -1, {"写入", "寫入", "write"}},
    {"pushButton_tc_calib_2", P::Text, -1, {"热电偶校准", "熱電偶校準", "TC CALIB"}},
    {"commandLinkButton_tc_indoor_auto_calib", P::Text, -1, {"室温自动校准", "室溫自動校準", "indoor auto CALIB"}},
    {"commandLinkButton_tc_50mV", P::Text, -1, {"50mV校准值", "50mV校準值", "50mV CALIB"}},
    {"commandLinkButton_tc_0mV", P::Text, -1, {"0mV校准值", "0mV校準值", "0mV CALIB"}},
    {"pushButton_tc_write", P::Text, -1, {"写入", "寫入", "write"}},
    {"pushButton_pt_calib", P::Text, -1, {"热电阻校准", "熱電阻校準", "PT CALIB"}},
    {"pushButton_pt_write", P::Text, -1, {"写入", "寫入", "write"}},
    {"pushButton_ma_calib", P::Text, -1, {"电流修正", "電流修正", "0~20mA setup"}},
    {"radioButton_ma_fine_4", P::Text, -1, {"4mA微调", "4mA微調", "4mA fine \ntuning "}},
    {"radioButton_ma_fine_20", P::Text, -1, {"20mA微调", "20mA微調", "20mA fine \ntuning "}},
    {"pushButton_ma_write", P::Text, -1, {"写入", "寫入", "write"}},
    {"label_ma_calib_up_down_limit", P::Text, -1, {"上下限电流标定", "上下限電流標定", "Upper and lower \ncurrent calibration"}},
    {"label_language", P::Text, -1, {"语言选择", "語言選擇", "language"}},
    {"commandLinkButton_ma_auto_calib_4", P::StepButton, -1, {nullptr, nullptr, nullptr}},
    {"pushButton_reg_read", P::Text, -1, {"读寄存器", "讀寄存器", "Read the \nregister"}},
    {"pushButton_reg_read_2", P::Text, -1, {"读寄存器", "讀寄存器", "Read the \nregister"}},
    {"tabWidget_main", P::TabText, 0, {"温度标定", "溫度標定", "T CALIB"}},
    {"tabWidget_main", P::TabText, 1, {"寄存器表1", "寄存器表1", "Register table 1"}},
    {"tabWidget_main", P::TabText, 2, {"寄存器表2", "寄存器表2", "Register table 2"}},
    {"tabWidget_main", P::TabText, 3, {"产品介绍", "產品介紹", "product presentation"}},
};

const char *const kHeaders[kLanguageCount][3] = {
    {"寄存器地址", "值", "备注"},
    {"寄存器地址", "值", "備註"},
    {"Register address", "value", "notes"},
};

const char *const kStepTexts[3][kLanguageCount] = {
    {"a)开始标定", "a)開始標定", "a)start calibration"},
    {"b)4mA确定输入", "b)4mA確定輸入", "b)4mA Determine the input"},
    {"c)20mA确定输入", "c)20mA確定輸入", "c)20mA Determine the input"},
};

// Indexed by ConnectText.
const char *const kConnectTexts[3][kLanguageCount] = {
    {"设备连接", "設備連接", "connect"},
    {"断开设备", "斷開設備", "disconnect"},
    {"连接设备", "連接設備", "connect"},
};

// The button shows the calibration procedure's step; a new language keeps it.
void relabelStepButton(QWidget *button, int language) {
    if (!button)
        return;
    const QString current = button->property("text").toString();
    if (current.isEmpty())
        return;
    const QString text = stepText(current.at(0), language);
    if (!text.isEmpty())
        button->setProperty("text", text);
}

}  // namespace

const std::vector<TextRow> &languageRows() { return kRows; }

QStringList tableHeaders(int language) {
    if (!validLanguage(language))
        return {};
    QStringList headers;
    for (const char *h : kHeaders[language])
        headers << QString::fromUtf8(h);
    return headers;
}

QString stepText(QChar letter, int language) {
    if (!validLanguage(language))
        return {};
    const char16_t c = letter.unicode();
    if (c < u'a' || c > u'c')
        return {};
    return QString::fromUtf8(kStepTexts[c - u'a'][language]);
}

QString calibrationEndText(CalibrationEnd which, int language) {
    static const char *const kTexts[][kLanguageCount] = {
        {"未完成：变送器已不在标定留下的状态（模式、命令或 4 mA 点已改变），未存储任何内容",
         "未完成：變送器已不在標定留下的狀態（模式、命令或 4 mA 點已改變），未儲存任何內容",
         "not done: the transmitter is no longer where the calibration left it (mode, command or 4 mA "
         "point changed); nothing was stored"},
    };
    if (!validLanguage(language))
        return {};
    return QString::fromUtf8(kTexts[static_cast<int>(which)][language]);
}

QString connectButtonText(ConnectText which, int language) {
    if (!validLanguage(language))
        return {};
    return QString::fromUtf8(kConnectTexts[static_cast<int>(which)][language]);
}

void applyLanguage(QWidget *window, int language, bool connected) {
    if (!window || !validLanguage(language))
        return;
    for (const TextRow &row : kRows) {
        auto *target = window->findChild<QWidget *>(QString::fromLatin1(row.object));
        if (!target)
            continue;
        const QString text = row.text[language] ? QString::fromUtf8(row.text[language]) : QString();
        switch (row.prop) {
        case TextProp::Title:
            if (auto *box = qobject_cast<QGroupBox *>(target))
                box->setTitle(text);
            break;
        case TextProp::Text:
            target->setProperty("text", text);
            break;
        case TextProp::TabText:
            if (auto *tabs = qobject_cast<QTabWidget *>(target))
                tabs->setTabText(row.page, text);
            break;
        case TextProp::ConnectButton:
            target->setProperty("text", connectButtonText(connected ? ConnectText::Connected : ConnectText::Idle, language));
            break;
        case TextProp::StepButton:
            relabelStepButton(target, language);
            break;
        }
    }
    const QStringList headers = tableHeaders(language);
    for (const char *name : {"tableWidget_reg_2", "tableWidget_reg"}) {
        if (auto *table = window->findChild<QTableWidget *>(QString::fromLatin1(name)))
            table->setHorizontalHeaderLabels(headers);
    }
}

}  // namespace lang
