// The language table against the form, the run-time switch, and the notice texts.
#include "texts/language_table.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"

#include <QtTest>

using lang::ConnectText;
using lang::TextProp;
using notices::Field;
using notices::Notice;

Q_DECLARE_METATYPE(Notice)
Q_DECLARE_METATYPE(Field)

namespace {

struct Form {
    QWidget window;
    Ui::Widget ui;
    Form() {
        ui.setupUi(&window);
        // The window gives both tables their three columns before any switch.
        ui.tableWidget_reg->setColumnCount(3);
        ui.tableWidget_reg_2->setColumnCount(3);
    }
};

// What a row addresses, as the form shows it now.
QString shown(Form &f, const lang::TextRow &row) {
    if (row.prop == TextProp::TabText)
        return f.ui.tabWidget_main->tabText(row.page);
    QWidget *w = f.window.findChild<QWidget *>(row.object);
    if (!w)
        return QStringLiteral("<missing %1>").arg(row.object);
    if (row.prop == TextProp::Title)
        return static_cast<QGroupBox *>(w)->title();
    return w->property("text").toString();
}

QStringList headerTexts(QTableWidget *t) {
    QStringList out;
    for (int c = 0; c < t->columnCount(); ++c)
        out << (t->horizontalHeaderItem(c) ? t->horizontalHeaderItem(c)->text() : QString());
    return out;
}

// Every text the form shows, every list and index, keyed by object.
QMap<QString, QString> snapshot(Form &f) {
    QMap<QString, QString> s;
    s["window title"] = f.window.windowTitle();
    for (QWidget *w : f.window.findChildren<QWidget *>()) {
        const QString name = w->objectName();
        if (name.isEmpty() || name.startsWith("qt_"))
            continue;
        if (auto *box = qobject_cast<QGroupBox *>(w)) {
            s[name] = box->title();
        } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            QStringList items;
            for (int i = 0; i < combo->count(); ++i)
                items << combo->itemText(i);
            s[name] = items.join('|') + QStringLiteral(" @%1").arg(combo->currentIndex());
        } else if (auto *tabs = qobject_cast<QTabWidget *>(w)) {
            QStringList texts;
            for (int i = 0; i < tabs->count(); ++i)
                texts << tabs->tabText(i);
            s[name] = texts.join('|') + QStringLiteral(" @%1").arg(tabs->currentIndex());
        } else if (auto *table = qobject_cast<QTableWidget *>(w)) {
            s[name] = headerTexts(table).join('|');
        } else if (auto *lcd = qobject_cast<QLCDNumber *>(w)) {
            s[name] = QString::number(lcd->value());
        } else if (auto *bar = qobject_cast<QProgressBar *>(w)) {
            s[name] = QString::number(bar->value());
        } else if (w->metaObject()->indexOfProperty("text") >= 0) {
            s[name] = w->property("text").toString();
        }
    }
    return s;
}

const QStringList kBaseHeaders = {QStringLiteral("寄存器地址"), QStringLiteral("值"), QStringLiteral("备注")};

}  // namespace

class TestLanguage : public QObject {
    Q_OBJECT
private slots:
    void tableMatchesFreshForm();
    void tableShape();
    void switchSetsEveryRow_data();
    void switchSetsEveryRow();
    void switchBackRestoresBaseTexts();
    void untouchedBySwitch();
    void connectButton_data();
    void connectButton();
    void connectTexts_data();
    void connectTexts();
    void stepLetterSurvives_data();
    void stepLetterSurvives();
    void stepButtonWithoutLetterUntouched_data();
    void stepButtonWithoutLetterUntouched();
    void englishKeepsLineFeedsAndSpaces();
    void chineseTextsAreOneLine();
    void headers_data();
    void headers();
    void outOfRangeChangesNothing_data();
    void outOfRangeChangesNothing();
    void helpersOutsideRange();
    void notices_data();
    void notices();
    void noticesOutsideRange();
    void fieldNames_data();
    void fieldNames();
    void invalidNumber();
};

void TestLanguage::tableMatchesFreshForm() {
    Form f;
    for (const lang::TextRow &row : lang::languageRows()) {
        const QString where = QStringLiteral("%1 page %2").arg(row.object).arg(row.page);
        switch (row.prop) {
        case TextProp::ConnectButton:
            QCOMPARE(shown(f, row), lang::connectButtonText(ConnectText::Idle, 0));
            break;
        case TextProp::StepButton:
            QCOMPARE(shown(f, row), lang::stepText('a', 0));
            break;
        default:
            QVERIFY2(shown(f, row) == QString::fromUtf8(row.text[0]), qPrintable(where));
        }
    }
    QVERIFY(headerTexts(f.ui.tableWidget_reg).join("").isEmpty());  // the form sets no headers
}

void TestLanguage::tableShape() {
    const auto &rows = lang::languageRows();
    QCOMPARE(int(rows.size()), 51);
    QSet<QString> seen;
    int connectAt = -1, stepAt = -1, firstTab = -1;
    for (int i = 0; i < int(rows.size()); ++i) {
        const lang::TextRow &r = rows[i];
        const QString key = QStringLiteral("%1/%2").arg(r.object).arg(r.page);
        QVERIFY2(!seen.contains(key), qPrintable(key));  // no control twice
        seen.insert(key);
        const bool stateful = r.prop == TextProp::ConnectButton || r.prop == TextProp::StepButton;
        for (int l = 0; l < 3; ++l)
            QCOMPARE(r.text[l] == nullptr, stateful);
        if (r.prop == TextProp::ConnectButton)
            connectAt = i;
        if (r.prop == TextProp::StepButton)
            stepAt = i;
        if (r.prop == TextProp::TabText && firstTab < 0)
            firstTab = i;
    }
    QVERIFY(connectAt > 0 && stepAt > 0);
    QCOMPARE(QString(rows[connectAt].object), QStringLiteral("pushButton_com_connect"));
    QCOMPARE(QString(rows[connectAt - 1].object), QStringLiteral("pushButton_com_ref"));
    QCOMPARE(QString(rows[stepAt].object), QStringLiteral("commandLinkButton_ma_auto_calib_4"));
    QCOMPARE(QString(rows[stepAt - 1].object), QStringLiteral("label_language"));
    QCOMPARE(QString(rows[stepAt + 1].object), QStringLiteral("pushButton_reg_read"));
    QCOMPARE(QString(rows.front().object), QStringLiteral("groupBox_com_set"));
    // The four tab texts come last, by page index.
    QCOMPARE(firstTab, int(rows.size()) - 4);
    for (int p = 0; p < 4; ++p)
        QCOMPARE(rows[firstTab + p].page, p);
}

void TestLanguage::switchSetsEveryRow_data() {
    QTest::addColumn<int>("language");
    QTest::newRow("traditional") << 1;
    QTest::newRow("english") << 2;
    QTest::newRow("simplified") << 0;
}

void TestLanguage::switchSetsEveryRow() {
    QFETCH(int, language);
    Form f;
    lang::applyLanguage(&f.window, language, false);
    for (const lang::TextRow &row : lang::languageRows()) {
        QString want;
        if (row.prop == TextProp::ConnectButton)
            want = lang::connectButtonText(ConnectText::Idle, language);
        else if (row.prop == TextProp::StepButton)
            want = lang::stepText('a', language);
        else
            want = QString::fromUtf8(row.text[language]);
        QVERIFY2(shown(f, row) == want, row.object);
    }
}

void TestLanguage::switchBackRestoresBaseTexts() {
    Form f;
    const auto base = snapshot(f);
    for (int language : {1, 2, 1, 2}) {
        lang::applyLanguage(&f.window, language, false);
        lang::applyLanguage(&f.window, 0, false);
        auto now = snapshot(f);
        // Headers are the one thing the form leaves empty; the switch fills them.
        QCOMPARE(now.take("tableWidget_reg"), kBaseHeaders.join('|'));
        QCOMPARE(now.take("tableWidget_reg_2"), kBaseHeaders.join('|'));
        auto expected = base;
        expected.remove("tableWidget_reg");
        expected.remove("tableWidget_reg_2");
        QCOMPARE(now, expected);
    }
}

void TestLanguage::untouchedBySwitch() {
    Form f;
    f.ui.comboBox_para_input_sel->setCurrentIndex(10);
    f.ui.comboBox_checkbit->setCurrentIndex(2);
    f.ui.comboBox_sel_language->setCurrentIndex(2);
    f.ui.comboBox_com_num->addItems({"COM3", "COM7"});
    f.ui.comboBox_com_num->setCurrentIndex(1);
    f.ui.tabWidget_main->setCurrentIndex(3);
    f.ui.label_link_sta->setText(QStringLiteral("link status: 【OK】"));
    f.ui.lineEdit_dev_addr->setText("17");
    f.ui.lineEdit_tc_50mV->setText("50.02");
    f.ui.lcdNumber_rt_adc_value->display(12345);
    f.ui.progressBar_write->setValue(70);
    f.ui.spinBox_ma_fine->setValue(4000);
    const auto before = snapshot(f);
    auto keep = [](QMap<QString, QString> s) {
        for (auto it = s.begin(); it != s.end();) {
            const bool kept = it.key().startsWith("comboBox_") || it.key().startsWith("lineEdit_") ||
                              it.key().startsWith("lcdNumber_") || it.key() == "progressBar_write" ||
                              it.key() == "label_link_sta" || it.key() == "window title" ||
                              it.key().startsWith("commandLinkButton_pt_") || it.key() == "spinBox_ma_fine";
            it = kept ? std::next(it) : s.erase(it);
        }
        return s;
    };
    for (int language : {0, 1, 2}) {
        lang::applyLanguage(&f.window, language, true);
        QCOMPARE(keep(snapshot(f)), keep(before));
        QCOMPARE(f.ui.tabWidget_main->currentIndex(), 3);
        QCOMPARE(f.ui.spinBox_ma_fine->value(), 4000);
    }
    QCOMPARE(f.ui.comboBox_sel_language->itemText(0), QStringLiteral("简体中文"));
    QCOMPARE(f.ui.comboBox_checkbit->itemText(2), QStringLiteral("Event"));
}

void TestLanguage::connectButton_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("text");
    QTest::newRow("0 idle") << 0 << false << QStringLiteral("设备连接");
    QTest::newRow("0 connected") << 0 << true << QStringLiteral("断开设备");
    QTest::newRow("1 idle") << 1 << false << QStringLiteral("設備連接");
    QTest::newRow("1 connected") << 1 << true << QStringLiteral("斷開設備");
    QTest::newRow("2 idle") << 2 << false << QStringLiteral("connect");
    QTest::newRow("2 connected") << 2 << true << QStringLiteral("disconnect");
}

void TestLanguage::connectButton() {
    QFETCH(int, language);
    QFETCH(bool, connected);
    QFETCH(QString, text);
    Form f;
    // Whatever the connection operation wrote before is replaced.
    f.ui.pushButton_com_connect->setText(QStringLiteral("连接设备"));
    lang::applyLanguage(&f.window, language, connected);
    QCOMPARE(f.ui.pushButton_com_connect->text(), text);
}

void TestLanguage::connectTexts_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("idle") << int(ConnectText::Idle) << QStringList{"设备连接", "設備連接", "connect"};
    QTest::newRow("connected") << int(ConnectText::Connected) << QStringList{"断开设备", "斷開設備", "disconnect"};
    QTest::newRow("disconnected") << int(ConnectText::Disconnected) << QStringList{"连接设备", "連接設備", "connect"};
}

void TestLanguage::connectTexts() {
    QFETCH(int, which);
    QFETCH(QStringList, texts);
    for (int l = 0; l < 3; ++l)
        QCOMPARE(lang::connectButtonText(ConnectText(which), l), texts[l]);
    QVERIFY(lang::connectButtonText(ConnectText(which), 3).isEmpty());
    QVERIFY(lang::connectButtonText(ConnectText(which), -1).isEmpty());
}

void TestLanguage::stepLetterSurvives_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    const QStringList a = {"a)开始标定", "a)開始標定", "a)start calibration"};
    const QStringList b = {"b)4mA确定输入", "b)4mA確定輸入", "b)4mA Determine the input"};
    const QStringList c = {"c)20mA确定输入", "c)20mA確定輸入", "c)20mA Determine the input"};
    for (const QStringList *step : {&a, &b, &c})
        for (int from = 0; from < 3; ++from)
            for (int to = 0; to < 3; ++to)
                QTest::newRow(qPrintable(QStringLiteral("%1 %2->%3").arg(step->at(0).at(0)).arg(from).arg(to)))
                    << step->at(from) << to << step->at(to);
    // Only the letter counts.
    QTest::newRow("bare b") << "b" << 2 << b[2];
    QTest::newRow("c with junk") << "c???" << 1 << c[1];
}

void TestLanguage::stepLetterSurvives() {
    QFETCH(QString, start);
    QFETCH(int, language);
    QFETCH(QString, text);
    Form f;
    f.ui.commandLinkButton_ma_auto_calib_4->setText(start);
    lang::applyLanguage(&f.window, language, false);
    QCOMPARE(f.ui.commandLinkButton_ma_auto_calib_4->text(), text);
    QCOMPARE(lang::stepText(start.at(0), language), text);
}

void TestLanguage::stepButtonWithoutLetterUntouched_data() {
    QTest::addColumn<QString>("start");
    QTest::newRow("empty") << QString();
    QTest::newRow("other letter") << QStringLiteral("d)whatever");
    QTest::newRow("capital") << QStringLiteral("A)START");
    QTest::newRow("leading space") << QStringLiteral(" a)开始标定");
    QTest::newRow("chinese first") << QStringLiteral("开始标定");
}

void TestLanguage::stepButtonWithoutLetterUntouched() {
    QFETCH(QString, start);
    Form f;
    f.ui.commandLinkButton_ma_auto_calib_4->setText(start);
    for (int language : {2, 1, 0}) {
        lang::applyLanguage(&f.window, language, false);
        QCOMPARE(f.ui.commandLinkButton_ma_auto_calib_4->text(), start);
        // The rest of the switch still ran.
        QCOMPARE(f.ui.label_language->text(), QStringList({"语言选择", "語言選擇", "language"})[language]);
    }
}

void TestLanguage::englishKeepsLineFeedsAndSpaces() {
    Form f;
    lang::applyLanguage(&f.window, 2, false);
    QCOMPARE(f.ui.radioButton_ma_fine_4->text(), QStringLiteral("4mA fine \ntuning "));
    QCOMPARE(f.ui.radioButton_ma_fine_20->text(), QStringLiteral("20mA fine \ntuning "));
    QCOMPARE(f.ui.label_ma_calib_up_down_limit->text(), QStringLiteral("Upper and lower \ncurrent calibration"));
    QCOMPARE(f.ui.pushButton_reg_read->text(), QStringLiteral("Read the \nregister"));
    QCOMPARE(f.ui.pushButton_reg_read_2->text(), QStringLiteral("Read the \nregister"));
    QCOMPARE(f.ui.groupBox_para_set->title(), QStringLiteral("Steup"));
    QCOMPARE(f.ui.pushButton_para_set->text(), QStringLiteral("parameter steup"));
    QCOMPARE(f.ui.pushButton_ma_calib->text(), QStringLiteral("0~20mA setup"));
    QCOMPARE(f.ui.tabWidget_main->tabText(3), QStringLiteral("product presentation"));
    int multiLine = 0;
    for (const lang::TextRow &row : lang::languageRows())
        if (row.text[2] && QString::fromUtf8(row.text[2]).contains('\n'))
            ++multiLine;
    QCOMPARE(multiLine, 5);
}

void TestLanguage::chineseTextsAreOneLine() {
    for (const lang::TextRow &row : lang::languageRows())
        for (int l = 0; l < 2; ++l)
            if (row.text[l])
                QVERIFY2(!QString::fromUtf8(row.text[l]).contains('\n'), row.object);
}

void TestLanguage::headers_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("simplified") << 0 << kBaseHeaders;
    QTest::newRow("traditional") << 1 << QStringList{"寄存器地址", "值", "備註"};
    QTest::newRow("english") << 2 << QStringList{"Register address", "value", "notes"};
}

void TestLanguage::headers() {
    QFETCH(int, language);
    QFETCH(QStringList, texts);
    QCOMPARE(lang::tableHeaders(language), texts);
    Form f;
    lang::applyLanguage(&f.window, language, false);
    QCOMPARE(headerTexts(f.ui.tableWidget_reg), texts);
    QCOMPARE(headerTexts(f.ui.tableWidget_reg_2), texts);
    QCOMPARE(f.ui.tableWidget_reg->columnCount(), 3);
}

void TestLanguage::outOfRangeChangesNothing_data() {
    QTest::addColumn<int>("language");
    QTest::newRow("-1 (empty list)") << -1;
    QTest::newRow("3") << 3;
    QTest::newRow("large") << 1000;
}

void TestLanguage::outOfRangeChangesNothing() {
    QFETCH(int, language);
    Form f;
    lang::applyLanguage(&f.window, 2, false);  // start from a non-base state
    f.ui.commandLinkButton_ma_auto_calib_4->setText(QStringLiteral("b)4mA确定输入"));
    const auto before = snapshot(f);
    lang::applyLanguage(&f.window, language, true);
    QCOMPARE(snapshot(f), before);
    lang::applyLanguage(nullptr, 0, false);  // no window: nothing to do, no crash
}

void TestLanguage::helpersOutsideRange() {
    QVERIFY(lang::tableHeaders(-1).isEmpty());
    QVERIFY(lang::tableHeaders(3).isEmpty());
    for (QChar c : {QChar('d'), QChar('A'), QChar(' '), QChar(0x5F00), QChar()})
        QVERIFY(lang::stepText(c, 0).isEmpty());
    QVERIFY(lang::stepText('a', -1).isEmpty());
    QVERIFY(lang::stepText('b', 3).isEmpty());
}

void TestLanguage::notices_data() {
    QTest::addColumn<Notice>("notice");
    QTest::addColumn<QStringList>("texts");
    auto add = [](const char *name, Notice n, QStringList texts) { QTest::newRow(name) << n << texts; };
    add("not connected", Notice::NotConnected, {"通讯未连接", "通訊未連接", "Communication not connected"});
    add("read failure", Notice::ReadFailure, {"读失败", "讀失敗", "Read failure"});
    add("write failure", Notice::WriteFailure, {"写失败R", "寫失敗R", "Write failed R"});
    add("serial", Notice::SerialConnectFailed, {"串口连接失败", "串口連接失敗", "Serial connection failed"});
    add("device creation", Notice::DeviceCreationFailed,
        {"Modbus 设备创建失败，重新启动软件", "Modbus 設備創建失敗，重新啟動軟件", "Device creation failed. Restart software"});
    add("baud changed", Notice::BaudRateChanged,
        {"波特率更改，请重启设备并重新连接！", "波特率更改，請重啟設備并重新連接",
         "Baud rate changed, please restart the device and reconnect"});
    add("write succeeded", Notice::WriteSucceeded, {"成功", "成功", "successful"});
}

void TestLanguage::notices() {
    QFETCH(Notice, notice);
    QFETCH(QStringList, texts);
    const QStringList titles = {"提示", "提示", "prompt"};
    for (int l = 0; l < 3; ++l) {
        const auto n = notices::noticeText(notice, l);
        QVERIFY(n.has_value());
        QCOMPARE(n->title, titles[l]);
        QCOMPARE(n->text, texts[l]);
    }
    QVERIFY(!notices::noticeText(notice, -1).has_value());
    QVERIFY(!notices::noticeText(notice, 3).has_value());
}

void TestLanguage::noticesOutsideRange() {
    QVERIFY(!notices::invalidNumberNotice(Field::UpperRange, "0", "1", -1).has_value());
    QVERIFY(!notices::invalidNumberNotice(Field::UpperRange, "0", "1", 3).has_value());
    QVERIFY(notices::fieldName(Field::Meter4mA, 3).isEmpty());
}

void TestLanguage::fieldNames_data() {
    QTest::addColumn<Field>("field");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("upper") << Field::UpperRange << QStringList{"变送高限", "變送高限", "upper bound"};
    QTest::newRow("lower") << Field::LowerRange << QStringList{"变送低限", "變送低限", "minimum"};
    QTest::newRow("zero") << Field::ZeroOffset << QStringList{"零点偏移", "零點偏移", "zero offset"};
    QTest::newRow("room zero") << Field::RoomZeroOffset << QStringList{"室温零点偏移", "室溫零點偏移", "indoor zero offset"};
    QTest::newRow("room ref") << Field::RoomReference << QStringList{"室温参考温度", "室溫參考溫度", "room temperature reference"};
    QTest::newRow("4mA") << Field::Meter4mA << QStringList{"4mA实测电流", "4mA實測電流", "measured 4mA current"};
    QTest::newRow("20mA") << Field::Meter20mA << QStringList{"20mA实测电流", "20mA實測電流", "measured 20mA current"};
}

void TestLanguage::fieldNames() {
    QFETCH(Field, field);
    QFETCH(QStringList, names);
    for (int l = 0; l < 3; ++l)
        QCOMPARE(notices::fieldName(field, l), names[l]);
}

void TestLanguage::invalidNumber() {
    const QStringList titles = {"提示", "提示", "prompt"};
    const QStringList want = {
        QStringLiteral("变送高限：请输入 -300.0 至 3000.0 之间的数值，未写入任何数据"),
        QStringLiteral("變送高限：請輸入 -300.0 至 3000.0 之間的數值，未寫入任何數據"),
        QStringLiteral("upper bound: enter a number from -300.0 to 3000.0; nothing was written"),
    };
    for (int l = 0; l < 3; ++l) {
        const auto n = notices::invalidNumberNotice(Field::UpperRange, "-300.0", "3000.0", l);
        QVERIFY(n.has_value());
        QCOMPARE(n->title, titles[l]);
        QCOMPARE(n->text, want[l]);
    }
    // Values holding "%" are put in literally.
    const auto odd = notices::invalidNumberNotice(Field::Meter20mA, "%1", "%3", 2);
    QCOMPARE(odd->text, QStringLiteral("measured 20mA current: enter a number from %1 to %3; nothing was written"));
}

QTEST_MAIN(TestLanguage)
#include "test_language.moc"
