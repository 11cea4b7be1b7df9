// The window as it starts: tables, lamps, validators, groups, resize rules,
// the port list and what opening a port tells the operator.

// POSIX headers first: the window's headers must not clash with link(2) and friends.
#include <signal.h>
#include <unistd.h>

#include "link/open_failure.h"
#include "notice_catcher.h"
#include "widget_probe.h"

#include <QDoubleValidator>
#include <QComboBox>
#include <QHeaderView>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

namespace {

QStringList g_logged;
void logMessage(QtMsgType, const QMessageLogContext &, const QString &text) { g_logged << text; }

// The first page's container is its page, and the bottom row (progress bar,
// language box) lies inside it and, top to bottom, inside the window (the
// form's tab container starts one pixel left of the window).
bool firstPageWhole(Widget &w, Ui::Widget *ui)
{
    if (ui->verticalLayoutWidget->geometry() != ui->tab->rect())
        return false;
    for (QWidget *part : {static_cast<QWidget *>(ui->progressBar_write),
                          static_cast<QWidget *>(ui->comboBox_sel_language)}) {
        const QRect inPage(part->mapTo(ui->tab, QPoint(0, 0)), part->size());
        const QRect inWindow(part->mapTo(&w, QPoint(0, 0)), part->size());
        if (!ui->tab->rect().contains(inPage) || inWindow.top() < 0 || inWindow.bottom() >= w.height())
            return false;
    }
    return true;
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        qunsetenv("TCAL_EXTRA_PORTS");
        qunsetenv("TCAL_PORT");
    }
    void startUpState();
    void silentStart();
    void validatorsUseDecimalPoint();
    void lamps();
    void groupSelection();
    void resizeRules();
    void recordTabFits();
    void portList();
    void preselectedPort();
    void permissionNotice();
};

void TestWindow::startUpState()
{
    Widget w;
    WidgetProbe p(w);
    Ui::Widget *ui = p.ui();
    const QStringList headers = {"寄存器地址", "值", "备注"};
    for (auto [table, rows] : {std::pair{ui->tableWidget_reg, 64}, std::pair{ui->tableWidget_reg_2, 13}}) {
        QCOMPARE(table->rowCount(), rows);
        QCOMPARE(table->columnCount(), 3);
        for (int c = 0; c < 3; ++c)
            QCOMPARE(table->horizontalHeaderItem(c)->text(), headers[c]);
        QCOMPARE(table->horizontalHeader()->height(), 25);
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(!table->horizontalHeader()->sectionsClickable());
        QVERIFY(!table->item(0, 0));
    }
    QCOMPARE(ui->lineEdit_dev_addr->text(), QString("192"));
    QCOMPARE(ui->lineEdit_dev_addr->alignment(), Qt::AlignCenter);
    for (QLineEdit *e : {ui->lineEdit_tc_50mV, ui->lineEdit_tc_0mV, ui->lineEdit_pt_100R,
                         ui->lineEdit_pt_200R})
        QVERIFY(e->isReadOnly());
    QCOMPARE(ui->pushButton_com_connect->text(), QString("设备连接"));
    QCOMPARE(p.groupFlags(), QVector<int>({0, 0, 0, 0}));
    QCOMPARE(p.workGroup(), 0);
    QVERIFY(!ui->pushButton_para_read->isEnabled());
    QVERIFY(!ui->spinBox_ma_fine->isEnabled());
    QVERIFY(ui->pushButton_para_set->isEnabled());   // group buttons are never switched
    QVERIFY(ui->commandLinkButton_ma_auto_calib_4->isEnabled());
    QVERIFY(!p.pollTimer()->isActive());
    QVERIFY(p.master());
    QCOMPARE(p.master()->state(), QModbusDevice::UnconnectedState);
    QVERIFY(ui->label_link_sta->text().isEmpty());
}

void TestWindow::silentStart()
{
    const QtMessageHandler previous = qInstallMessageHandler(logMessage);
    {
        Widget w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }
    qInstallMessageHandler(previous);
    QVERIFY2(g_logged.isEmpty(), qPrintable(g_logged.join('\n')));
}

void TestWindow::validatorsUseDecimalPoint()
{
    // A desktop whose locale writes decimal commas must still take "100.5".
    QLocale::setDefault(QLocale(QLocale::German));
    Widget w;
    WidgetProbe p(w);
    for (QLineEdit *edit : {p.ui()->lineEdit_para_hight_tmp, p.ui()->lineEdit_para_low_tmp}) {
        const QValidator *v = edit->validator();
        QVERIFY(v);
        auto state = [v](QString s) {
            int pos = 0;
            return v->validate(s, pos);
        };
        QCOMPARE(state("100.5"), QValidator::Acceptable);
        QCOMPARE(state("-300.0"), QValidator::Acceptable);
        QVERIFY(state("100.55") != QValidator::Acceptable);
        QVERIFY(state("3000.1") != QValidator::Acceptable);
        QVERIFY(state("-300.1") != QValidator::Acceptable);
    }
    QLocale::setDefault(QLocale::c());
}

void TestWindow::lamps()
{
    Widget w;
    WidgetProbe p(w);
    QCOMPARE(p.ledCom()->geometry(), QRect(24, 12, 20, 20));
    QCOMPARE(p.ledRt()->geometry(), QRect(73, 0, 20, 20));
    QCOMPARE(p.ledPara()->geometry(), QRect(62, 0, 15, 15));
    QCOMPARE(p.ledTc()->geometry(), QRect(75, 0, 15, 15));
    QCOMPARE(p.ledMa()->parentWidget(), p.ui()->groupBox_ma_calib);
    QCOMPARE(p.ledCom()->color(), QColor(255, 0, 0));
    QCOMPARE(p.ledPara()->color(), QColor(Qt::green));
    for (HLed *lamp : {p.ledCom(), p.ledRt(), p.ledPara(), p.ledTc(), p.ledPt(), p.ledMa()})
        QVERIFY(!lamp->isOn());
    QCOMPARE(p.ledCom()->paintColor(), QColor(255, 0, 0).darker(300));
}

void TestWindow::groupSelection()
{
    Widget w;
    WidgetProbe p(w);
    Ui::Widget *ui = p.ui();

    for (int none : {0, 5}) {
        p.selectWorkGroup(none);
        QCOMPARE(p.groupFlags(), QVector<int>({0, 0, 0, 0}));
        for (HLed *lamp : {p.ledPara(), p.ledTc(), p.ledPt(), p.ledMa()})
            QVERIFY(!lamp->isOn());
    }

    p.selectWorkGroup(4);
    QCOMPARE(p.groupFlags(), QVector<int>({0, 0, 0, 1}));
    QVERIFY(p.ledMa()->isOn());
    QVERIFY(ui->radioButton_ma_fine_4->isEnabled());
    QVERIFY(!ui->spinBox_ma_fine->isEnabled());   // nothing to trim until an end is chosen
    QCOMPARE(ui->commandLinkButton_ma_auto_calib_4->text(), QString("a)开始标定"));

    // Selecting the group that is already on touches nothing.
    ui->radioButton_ma_fine_4->setChecked(true);
    ui->commandLinkButton_ma_auto_calib_4->setText("b)4mA Determine the input");
    p.selectWorkGroup(4);
    QVERIFY(ui->radioButton_ma_fine_4->isChecked());
    QCOMPARE(ui->commandLinkButton_ma_auto_calib_4->text(), QString("b)4mA Determine the input"));

    p.selectWorkGroup(2);
    QCOMPARE(p.groupFlags(), QVector<int>({0, 1, 0, 0}));
    QVERIFY(!p.ledMa()->isOn());
    QVERIFY(p.ledTc()->isOn());
    QVERIFY(!ui->spinBox_ma_fine->isEnabled());
    QVERIFY(ui->commandLinkButton_tc_50mV->isEnabled());
    QCOMPARE(p.workGroup(), 2);

    // Switching group 4 on again clears the check marks and resets the step.
    p.selectWorkGroup(4);
    QVERIFY(!ui->radioButton_ma_fine_4->isChecked());
    QVERIFY(ui->radioButton_ma_fine_4->isCheckable());
    QCOMPARE(ui->commandLinkButton_ma_auto_calib_4->text(), QString("a)开始标定"));
}

// At the window's default size every page of the record tab shows whole across:
// nothing scrolls sideways, no control is cut off or narrower than its text.
void TestWindow::recordTabFits()
{
    Widget w;
    WidgetProbe p(w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_COMPARE(w.size(), QSize(900, 687));
    CalibrationRecordTab *tab = p.recordTab();
    p.ui()->tabWidget_main->setCurrentWidget(tab);
    auto *pages = tab->findChild<QTabWidget *>("tabWidget_record_pages");
    QCOMPARE(pages->count(), 3);
    for (int language : {0, 1, 2}) {
        p.ui()->comboBox_sel_language->setCurrentIndex(language);
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            QTest::qWait(50);
            QWidget *page = pages->currentWidget();
            const auto *scroll = qobject_cast<QScrollArea *>(page);
            // The page's layout needs no more width than it has: nothing overlaps or is squeezed.
            QVERIFY2(tab->minimumSizeHint().width() <= tab->parentWidget()->width()
                         && (scroll ? scroll->widget() : page)->minimumSizeHint().width() <= page->width()
                         && (scroll || page->minimumSizeHint().height() <= page->height()),
                     qPrintable(QStringLiteral("page %1, language %2 needs %3 of %4").arg(i).arg(language)
                                    .arg(QStringLiteral("%1 x %2").arg((scroll ? scroll->widget() : page)->minimumSizeHint().width())
                                             .arg(page->minimumSizeHint().height()))
                                    .arg(QStringLiteral("%1 x %2").arg(page->width()).arg(page->height()))));
            for (QWidget *c : page->findChildren<QWidget *>()) {
                if (!c->isVisible() || !(qobject_cast<QAbstractButton *>(c) || qobject_cast<QLineEdit *>(c)
                                         || qobject_cast<QAbstractScrollArea *>(c) || qobject_cast<QComboBox *>(c)))
                    continue;
                // Within what the window shows of the tab, not the tab's own rectangle, which a
                // layout too wide for it stretches beyond the window.
                const QRect inTab(c->mapTo(&w, QPoint(0, 0)), c->size());
                const QRect shown(tab->parentWidget()->mapTo(&w, QPoint(0, 0)), tab->parentWidget()->size());
                const QString where = QStringLiteral("%1 %2 on page %3, language %4: x %5..%6 y %7..%8 in %9 wide")
                                          .arg(c->metaObject()->className(), c->objectName()).arg(i).arg(language)
                                          .arg(inTab.left()).arg(inTab.right()).arg(inTab.top()).arg(inTab.bottom())
                                          .arg(shown.width());
                QVERIFY2(inTab.left() >= shown.left() && inTab.right() <= shown.right(), qPrintable(where));
                // Below the fold only where the page scrolls downwards.
                QVERIFY2(scroll || (inTab.top() >= shown.top() && inTab.bottom() <= shown.bottom()), qPrintable(where));
                QVERIFY2(c->width() >= c->minimumSizeHint().width(), qPrintable(where));
                if (auto *area = qobject_cast<QAbstractScrollArea *>(c))
                    QVERIFY2(!area->horizontalScrollBar()->isVisible(), qPrintable(where));
                // Every column heading readable, none cut to a few letters.
                if (auto *table = qobject_cast<QTableWidget *>(c)) {
                    for (int col = 0; col < table->columnCount(); ++col) {
                        int needed = 0;
                        for (const QString &line : table->horizontalHeaderItem(col)->text().split('\n'))
                            needed = qMax(needed, table->horizontalHeader()->fontMetrics().horizontalAdvance(line));
                        QVERIFY2(table->horizontalHeader()->sectionSize(col) >= needed,
                                 qPrintable(where + QStringLiteral(", column %1 needs %2").arg(col).arg(needed)));
                    }
                }
            }
            if (scroll)
                QVERIFY(!scroll->horizontalScrollBar()->isVisible() && scroll->widget()->minimumSizeHint().width() <= scroll->viewport()->width());
        }
    }
}

void TestWindow::resizeRules()
{
    Widget w;
    WidgetProbe p(w);
    Ui::Widget *ui = p.ui();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_COMPARE(w.size(), QSize(900, 687));

    QCOMPARE(ui->verticalLayoutWidget_3->geometry(), QRect(-1, 248, 891, 406));
    QCOMPARE(ui->gridLayoutWidget_3->geometry(), QRect(0, 655, 891, 32));
    QCOMPARE(ui->gridLayoutWidget->geometry(), QRect(0, 0, 571, 177));
    QCOMPARE(ui->verticalLayoutWidget_2->geometry(), QRect(0, 176, 891, 73));
    // The whole first page shows from the start.
    QTRY_VERIFY(firstPageWhole(w, ui));

    w.resize(1800, 1320);
    QTRY_COMPARE(ui->gridLayoutWidget_2->geometry(), QRect(1160, 0, 622, 348));
    QCOMPARE(ui->verticalLayoutWidget_3->geometry(), QRect(-2, 478, 1782, 782));
    QTRY_VERIFY(firstPageWhole(w, ui));

    w.resize(800, 600);
    QTRY_COMPARE(ui->verticalLayoutWidget_3->geometry(), QRect(0, 217, 792, 355));
    QTRY_VERIFY(firstPageWhole(w, ui));

    w.resize(900, 660);
    QTRY_COMPARE(ui->verticalLayoutWidget_3->geometry(), QRect(-1, 239, 891, 391));
    QCOMPARE(ui->gridLayoutWidget->geometry(), QRect(0, 0, 571, 171));
    QCOMPARE(ui->gridLayoutWidget_2->geometry(), QRect(580, 0, 311, 174));
    QCOMPARE(ui->verticalLayoutWidget_2->geometry(), QRect(0, 170, 891, 71));
    QCOMPARE(ui->gridLayoutWidget_3->geometry(), QRect(0, 630, 891, 31));
    QTRY_VERIFY(firstPageWhole(w, ui));

    // Both register pages follow their own page.
    ui->tabWidget_main->setCurrentIndex(2);
    QTRY_COMPARE(ui->horizontalLayoutWidget_2->geometry(), ui->tab_4->rect());
    ui->tabWidget_main->setCurrentIndex(1);
    QTRY_COMPARE(ui->horizontalLayoutWidget->geometry(), ui->tab_2->rect());
}

void TestWindow::portList()
{
    qputenv("TCAL_EXTRA_PORTS", "/tmp/tcal-test-a:/tmp/tcal-test-b");
    Widget w;
    WidgetProbe p(w);
    QComboBox *box = p.ui()->comboBox_com_num;
    const int first = box->count();
    QVERIFY(box->findText("/tmp/tcal-test-a") >= 0);
    QCOMPARE(box->itemText(first - 1), QString("/tmp/tcal-test-b"));
    QCOMPARE(box->currentIndex(), 0);
    p.ui()->pushButton_com_ref->click();
    p.ui()->pushButton_com_ref->click();
    QCOMPARE(box->count(), first);   // refreshed, not doubled
    qputenv("TCAL_EXTRA_PORTS", "");
    p.ui()->pushButton_com_ref->click();
    QCOMPARE(box->count(), first - 2);

    // A refresh keeps the chosen port while it is still listed; each entry
    // carries the exact path the master opens.
    qputenv("TCAL_EXTRA_PORTS", "/tmp/tcal-test-a:/tmp/tcal-test-b");
    p.ui()->pushButton_com_ref->click();
    box->setCurrentIndex(box->findData("/tmp/tcal-test-b"));
    qputenv("TCAL_EXTRA_PORTS", "/tmp/tcal-test-c:/tmp/tcal-test-b");
    p.ui()->pushButton_com_ref->click();
    QCOMPARE(box->currentData().toString(), QString("/tmp/tcal-test-b"));
    for (int i = 0; i < box->count(); ++i)
        QVERIFY2(box->itemText(i).startsWith(box->itemData(i).toString()), qPrintable(box->itemText(i)));
}

void TestWindow::preselectedPort()
{
    // TCAL_PORT (or tcal --port) picks the port at start, listed even when the system does not.
    qputenv("TCAL_PORT", "/tmp/tcal-test-chosen");
    Widget w;
    WidgetProbe p(w);
    QComboBox *box = p.ui()->comboBox_com_num;
    QCOMPARE(box->currentData().toString(), QString("/tmp/tcal-test-chosen"));
    QCOMPARE(box->currentText(), QString("/tmp/tcal-test-chosen"));
}

void TestWindow::permissionNotice()
{
    // Root (CAP_DAC_OVERRIDE) opens any file whatever its mode bits; a read-only
    // kernel attribute still refuses it writing, with the EACCES a tty gives a non-member.
    QTemporaryDir dir;
    QString path = dir.filePath("ttyLOCKED");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.setPermissions(QFileDevice::Permissions()));
    if (ports::openError(path) != EACCES)
        path = "/sys/kernel/uevent_seqnum";
    if (ports::openError(path) != EACCES)
        QSKIP("running with the rights of root and no file here refuses them with EACCES");
    qputenv("TCAL_PORT", path.toLocal8Bit());
    Widget w;
    WidgetProbe p(w);
    NoticeCatcher notices;
    p.ui()->comboBox_sel_language->setCurrentIndex(2);
    p.ui()->pushButton_com_connect->click();
    QTRY_COMPARE(notices.count(), 1);
    const QString text = notices.lastText();
    QVERIFY2(text.startsWith("No permission to open the serial port " + path), qPrintable(text));
    QVERIFY2(text.contains("usermod -aG") && text.contains("log out"), qPrintable(text));
    QCOMPARE(p.master()->state(), QModbusDevice::UnconnectedState);
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"
