// The language switch in the real window: connection state, the calibration
// step, notices in the language of the moment.

#include "window_session.h"

#include <QtTest>

namespace {
sim::Config fast()
{
    sim::Config c;
    c.baud = 9600;
    return c;
}
}

class TestLanguageWindow : public QObject
{
    Q_OBJECT
private slots:
    void connectButtonFollowsState();
    void stepLetterSurvivesAndFollowsLanguage();
    void noticesUseCurrentLanguage();
    void itemsAndIndexesNeverChange();
};

void TestLanguageWindow::connectButtonFollowsState()
{
    WindowSession s(fast());
    Ui::Widget *ui = s.ui();
    QComboBox *language = ui->comboBox_sel_language;

    const QStringList idle = {"设备连接", "設備連接", "connect"};
    const QStringList connected = {"断开设备", "斷開設備", "disconnect"};
    const QStringList closed = {"连接设备", "連接設備", "connect"};
    for (int i : {2, 1, 0}) {
        language->setCurrentIndex(i);
        QCOMPARE(ui->pushButton_com_connect->text(), idle[i]);
    }
    QVERIFY(s.connectToSimulator());
    for (int i : {1, 2, 0}) {
        language->setCurrentIndex(i);
        QCOMPARE(ui->pushButton_com_connect->text(), connected[i]);
    }
    // Switching while connected, then disconnecting, labels in the new language.
    language->setCurrentIndex(2);
    ui->pushButton_com_connect->click();
    QCOMPARE(ui->pushButton_com_connect->text(), closed[2]);
    QVERIFY(s.connectToSimulator());
    language->setCurrentIndex(1);
    ui->pushButton_com_connect->click();
    QCOMPARE(ui->pushButton_com_connect->text(), closed[1]);
    language->setCurrentIndex(0);
    QCOMPARE(ui->pushButton_com_connect->text(), idle[0]);
}

void TestLanguageWindow::stepLetterSurvivesAndFollowsLanguage()
{
    Widget w;
    WidgetProbe p(w);
    Ui::Widget *ui = p.ui();
    QCommandLinkButton *step = ui->commandLinkButton_ma_auto_calib_4;
    step->setText("b)4mA确定输入");
    ui->comboBox_sel_language->setCurrentIndex(2);
    QCOMPARE(step->text(), QString("b)4mA Determine the input"));
    ui->comboBox_sel_language->setCurrentIndex(1);
    QCOMPARE(step->text(), QString("b)4mA確定輸入"));

    // Switching group 4 on resets to the Simplified Chinese "a" text, whatever the language.
    p.selectWorkGroup(4);
    QCOMPARE(step->text(), QString("a)开始标定"));
    ui->comboBox_sel_language->setCurrentIndex(2);
    QCOMPARE(step->text(), QString("a)start calibration"));

    step->setText("x) something else");
    ui->comboBox_sel_language->setCurrentIndex(0);
    QCOMPARE(step->text(), QString("x) something else"));
}

void TestLanguageWindow::noticesUseCurrentLanguage()
{
    Widget w;
    WidgetProbe p(w);
    NoticeCatcher notices;
    Ui::Widget *ui = p.ui();
    const QStringList titles = {"提示", "提示", "prompt"};
    const QStringList texts = {"通讯未连接", "通訊未連接", "Communication not connected"};
    for (int i : {1, 2, 0}) {
        ui->comboBox_sel_language->setCurrentIndex(i);
        ui->pushButton_para_set->click();
        QTRY_COMPARE(notices.count(), 1);
        QCOMPARE(notices.lastTitle(), titles[i]);
        QCOMPARE(notices.lastText(), texts[i]);
        notices.clear();
    }
}

void TestLanguageWindow::itemsAndIndexesNeverChange()
{
    Widget w;
    WidgetProbe p(w);
    Ui::Widget *ui = p.ui();
    const QList<QComboBox *> boxes = ui->tab->findChildren<QComboBox *>()
        + ui->groupBox_com_set->findChildren<QComboBox *>();
    ui->comboBox_checkbit->setCurrentIndex(2);
    auto snapshot = [&] {
        QStringList all;
        for (QComboBox *box : boxes) {
            all << box->objectName() + "=" + QString::number(box->currentIndex());
            for (int i = 0; i < box->count(); ++i)
                all << box->itemText(i);
        }
        return all;
    };
    const QStringList before = snapshot();
    const QString status = "link status: 【OK】";
    ui->label_link_sta->setText(status);
    ui->lineEdit_dev_addr->setText("17");
    for (int i : {2, 1, 0, 2}) {
        ui->comboBox_sel_language->setCurrentIndex(i);
        QStringList now = snapshot();
        now.replaceInStrings(QRegularExpression("^comboBox_sel_language=\\d$"), "lang");
        QStringList was = before;
        was.replaceInStrings(QRegularExpression("^comboBox_sel_language=\\d$"), "lang");
        QCOMPARE(now, was);
    }
    QCOMPARE(ui->comboBox_checkbit->currentText(), QString("Event"));
    QCOMPARE(ui->label_link_sta->text(), status);
    QCOMPARE(ui->lineEdit_dev_addr->text(), QString("17"));
    QCOMPARE(w.windowTitle(), QString("Widget"));
    QCOMPARE(ui->commandLinkButton_pt_100R->text(), QString("100R"));
}

QTEST_MAIN(TestLanguageWindow)
#include "test_language_window.moc"
