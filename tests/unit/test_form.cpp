// The designer form: tree, layouts, properties, base texts, lists and images.
#include "core/config_rules.h"
#include "ui_widget.h"

#include <QImage>
#include <QSpacerItem>
#include <QtTest>

namespace {

// Window with slots named like the real window's, to see when binding by name happens.
class Probe : public QWidget {
    Q_OBJECT
public:
    int languageCalls = 0;
    int tabCalls = 0;
    int baudCalls = 0;
public slots:
    void on_comboBox_sel_language_currentIndexChanged(int) { ++languageCalls; }
    void on_tabWidget_main_currentChanged(int) { ++tabCalls; }
    void on_comboBox_baudrate_currentIndexChanged(int) { ++baudCalls; }
};

struct Form {
    QWidget window;
    Ui::Widget ui;
    Form() { ui.setupUi(&window); }
    template <typename T = QWidget>
    T *find(const QString &name) { return window.findChild<T *>(name); }
};

QString itemName(QLayoutItem *item) {
    if (QWidget *w = item->widget())
        return w->objectName();
    if (QLayout *l = item->layout())
        return l->objectName();
    if (QSpacerItem *s = item->spacerItem())
        return (s->expandingDirections() & Qt::Vertical) ? QStringLiteral("|") : QStringLiteral("-");
    return QStringLiteral("?");
}

// Items in order; grid items carry their cell ("name@row,col").
QStringList describe(QLayout *layout) {
    QStringList out;
    auto *grid = qobject_cast<QGridLayout *>(layout);
    for (int i = 0; i < layout->count(); ++i) {
        QString name = itemName(layout->itemAt(i));
        if (grid) {
            int row, col, rowSpan, colSpan;
            grid->getItemPosition(i, &row, &col, &rowSpan, &colSpan);
            name += QStringLiteral("@%1,%2").arg(row).arg(col);
        }
        out << name;
    }
    return out;
}

const QStringList kBauds = {"1200", "2400", "4800", "9600"};

}  // namespace

class TestForm : public QObject {
    Q_OBJECT
private slots:
    void window();
    void existingObjectNameIsKept();
    void layoutWidgets_data();
    void layoutWidgets();
    void widgetClassesAndParents_data();
    void widgetClassesAndParents();
    void layouts_data();
    void layouts();
    void noOtherLayouts();
    void spacers();
    void properties();
    void alignment_data();
    void alignment();
    void combos_data();
    void combos();
    void configurationRulesFollowTheForm();
    void tabs();
    void baseTexts_data();
    void baseTexts();
    void initialState();
    void slotsBoundOnlyAfterSetup();
    void images_data();
    void images();
};

void TestForm::window() {
    Form f;
    QCOMPARE(f.window.objectName(), QStringLiteral("Widget"));
    QCOMPARE(f.window.size(), QSize(900, 687));
    QCOMPARE(f.window.windowTitle(), QStringLiteral("Widget"));
    // The five layout widgets, created in this order, are the window's only child widgets.
    QStringList children;
    for (QObject *c : f.window.children())
        if (c->isWidgetType())
            children << c->objectName();
    QCOMPARE(children, QStringList({"verticalLayoutWidget_3", "gridLayoutWidget", "gridLayoutWidget_2",
                                    "verticalLayoutWidget_2", "gridLayoutWidget_3"}));
}

void TestForm::existingObjectNameIsKept() {
    QWidget w;
    w.setObjectName("mainWindow");
    Ui::Widget ui;
    ui.setupUi(&w);
    QCOMPARE(w.objectName(), QStringLiteral("mainWindow"));
    QCOMPARE(w.findChild<QWidget *>("tabWidget_main"), static_cast<QWidget *>(ui.tabWidget_main));
}

void TestForm::layoutWidgets_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("layoutClass");
    QTest::newRow("tabs") << "verticalLayoutWidget_3" << "Widget" << QRect(-1, 239, 891, 391) << "verticalLayout_3" << "QVBoxLayout";
    QTest::newRow("logo") << "gridLayoutWidget" << "Widget" << QRect(0, 0, 571, 171) << "gridLayout" << "QGridLayout";
    QTest::newRow("serial") << "gridLayoutWidget_2" << "Widget" << QRect(580, 0, 311, 174) << "gridLayout_4" << "QGridLayout";
    QTest::newRow("live values") << "verticalLayoutWidget_2" << "Widget" << QRect(0, 170, 891, 71) << "verticalLayout_2" << "QVBoxLayout";
    QTest::newRow("status") << "gridLayoutWidget_3" << "Widget" << QRect(0, 630, 891, 31) << "gridLayout_8" << "QGridLayout";
    QTest::newRow("page 0") << "verticalLayoutWidget" << "tab" << QRect(0, 0, 881, 386) << "verticalLayout_19" << "QVBoxLayout";
    QTest::newRow("page 1") << "horizontalLayoutWidget" << "tab_2" << QRect(0, 0, 881, 361) << "horizontalLayout_3" << "QHBoxLayout";
    QTest::newRow("page 2") << "horizontalLayoutWidget_2" << "tab_4" << QRect(0, 0, 881, 361) << "horizontalLayout_9" << "QHBoxLayout";
}

void TestForm::layoutWidgets() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, rect);
    QFETCH(QString, layout);
    QFETCH(QString, layoutClass);
    Form f;
    QWidget *w = f.find(name);
    QVERIFY(w);
    QCOMPARE(QString(w->metaObject()->className()), QStringLiteral("QWidget"));
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QCOMPARE(w->geometry(), rect);
    QVERIFY(w->layout());
    QCOMPARE(w->layout()->objectName(), layout);
    QCOMPARE(QString(w->layout()->metaObject()->className()), layoutClass);
}

void TestForm::widgetClassesAndParents_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parent");
    auto add = [](const QString &parent, const QString &cls, const QStringList &names) {
        for (const QString &n : names)
            QTest::newRow(qPrintable(n)) << n << cls << parent;
    };
    add("verticalLayoutWidget_3", "QTabWidget", {"tabWidget_main"});
    add("verticalLayoutWidget", "QFrame", {"frame_2"});
    add("verticalLayoutWidget", "QGroupBox", {"groupBox_para_set", "groupBox_tc_calib", "groupBox_pt_calib", "groupBox_ma_calib"});
    add("verticalLayoutWidget", "QProgressBar", {"progressBar_write"});
    add("verticalLayoutWidget", "QLabel", {"label_language"});
    add("verticalLayoutWidget", "QComboBox", {"comboBox_sel_language"});
    add("groupBox_para_set", "QPushButton", {"pushButton_para_set", "pushButton_para_read", "pushButton_para_write"});
    add("groupBox_para_set", "QLabel",
        {"label_para_set_input_type", "label_para_set_hight_limit", "label_para_set_low_limit", "label_para_set_zero_offset",
         "label_para_set_tmp_gain", "label_para_set_unit", "label_para_set_filter_coef",
         "label_para_set_indoor_tmp_zero_offset", "label_para_set_indoor_tmp_gain"});
    add("groupBox_para_set", "QComboBox",
        {"comboBox_para_input_sel", "comboBox_para_unit_tmp", "comboBox_para_filter_coe", "comboBox_para_indoor_gain"});
    add("groupBox_para_set", "QLineEdit",
        {"lineEdit_para_hight_tmp", "lineEdit_para_low_tmp", "lineEdit_para_zero_offset", "lineEdit_para_tmp_gain",
         "lineEdit_para_indoor_zero_offset"});
    add("groupBox_tc_calib", "QPushButton", {"pushButton_tc_calib_2", "pushButton_tc_write"});
    add("groupBox_tc_calib", "QCommandLinkButton",
        {"commandLinkButton_tc_indoor_auto_calib", "commandLinkButton_tc_50mV", "commandLinkButton_tc_0mV"});
    add("groupBox_tc_calib", "QLineEdit", {"lineEdit_tc_indoor_auto_calib", "lineEdit_tc_50mV", "lineEdit_tc_0mV"});
    add("groupBox_pt_calib", "QPushButton", {"pushButton_pt_calib", "pushButton_pt_write"});
    add("groupBox_pt_calib", "QCommandLinkButton", {"commandLinkButton_pt_100R", "commandLinkButton_pt_200R"});
    add("groupBox_pt_calib", "QLineEdit", {"lineEdit_pt_100R", "lineEdit_pt_200R"});
    add("groupBox_ma_calib", "QPushButton", {"pushButton_ma_calib", "pushButton_ma_write"});
    add("groupBox_ma_calib", "QRadioButton", {"radioButton_ma_fine_4", "radioButton_ma_fine_20"});
    add("groupBox_ma_calib", "QSpinBox", {"spinBox_ma_fine"});
    add("groupBox_ma_calib", "QLabel", {"label_ma_calib_up_down_limit"});
    add("groupBox_ma_calib", "QCommandLinkButton", {"commandLinkButton_ma_auto_calib_4"});
    add("groupBox_ma_calib", "QLineEdit", {"lineEdit_ma_auto_calib_4"});
    add("horizontalLayoutWidget", "QTableWidget", {"tableWidget_reg"});
    add("horizontalLayoutWidget", "QPushButton", {"pushButton_reg_read"});
    add("horizontalLayoutWidget_2", "QTableWidget", {"tableWidget_reg_2"});
    add("horizontalLayoutWidget_2", "QPushButton", {"pushButton_reg_read_2"});
    add("gridLayoutWidget", "QFrame", {"frame"});
    add("gridLayoutWidget_2", "QGroupBox", {"groupBox_com_set"});
    add("groupBox_com_set", "QLabel",
        {"label_com_num", "label_baudrate", "label_databit", "label_checkbit", "label_stopbit", "label_dev_addr",
         "label_set_baudrate"});
    add("groupBox_com_set", "QComboBox",
        {"comboBox_com_num", "comboBox_baudrate", "comboBox_databit", "comboBox_checkbit", "comboBox_stopbit",
         "comboBox_set_baudrate"});
    add("groupBox_com_set", "QLineEdit", {"lineEdit_dev_addr"});
    add("groupBox_com_set", "QPushButton", {"pushButton_com_ref", "pushButton_com_connect", "pushButton_set_baudrate"});
    add("verticalLayoutWidget_2", "QFrame", {"line"});
    add("verticalLayoutWidget_2", "QGroupBox", {"groupBox_rt_meas_value"});
    add("groupBox_rt_meas_value", "QLabel", {"label_rt_rt_meas_tmp", "label_rt_meas_indoor_tmp", "label_rt_meas_adc_value"});
    add("groupBox_rt_meas_value", "QLCDNumber", {"lcdNumber_rt_mase_tmp", "lcdNumber_rt_indoor_tmp", "lcdNumber_rt_adc_value"});
    add("groupBox_rt_meas_value", "QFrame", {"line_4", "line_5"});
    add("gridLayoutWidget_3", "QLabel", {"label_link_sta"});
}

void TestForm::widgetClassesAndParents() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parent);
    Form f;
    const QList<QWidget *> found = f.window.findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString(found.first()->metaObject()->className()), className);
    QCOMPARE(found.first()->parentWidget()->objectName(), parent);
}

void TestForm::layouts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("owner");  // widget whose layout it is; empty for a nested layout
    QTest::addColumn<QStringList>("items");
    auto add = [](const char *name, const char *cls, const char *owner, const QStringList &items) {
        QTest::newRow(name) << QString(name) << QString(cls) << QString(owner) << items;
    };
    add("verticalLayout_3", "QVBoxLayout", "verticalLayoutWidget_3", {"tabWidget_main"});
    add("verticalLayout_19", "QVBoxLayout", "verticalLayoutWidget", {"frame_2", "horizontalLayout_14", "horizontalLayout_15"});
    add("horizontalLayout_14", "QHBoxLayout", "",
        {"groupBox_para_set", "groupBox_tc_calib", "groupBox_pt_calib", "groupBox_ma_calib"});
    add("gridLayout_5", "QGridLayout", "groupBox_para_set", {"verticalLayout_10@0,0"});
    add("verticalLayout_10", "QVBoxLayout", "",
        {"pushButton_para_set", "|", "horizontalLayout_5", "|", "horizontalLayout_7"});
    add("horizontalLayout_5", "QHBoxLayout", "", {"verticalLayout_8", "verticalLayout_9"});
    add("verticalLayout_8", "QVBoxLayout", "",
        {"label_para_set_input_type", "label_para_set_hight_limit", "label_para_set_low_limit", "label_para_set_zero_offset",
         "label_para_set_tmp_gain", "label_para_set_unit", "label_para_set_filter_coef",
         "label_para_set_indoor_tmp_zero_offset", "label_para_set_indoor_tmp_gain"});
    add("verticalLayout_9", "QVBoxLayout", "",
        {"comboBox_para_input_sel", "lineEdit_para_hight_tmp", "lineEdit_para_low_tmp", "lineEdit_para_zero_offset",
         "lineEdit_para_tmp_gain", "comboBox_para_unit_tmp", "comboBox_para_filter_coe",
         "lineEdit_para_indoor_zero_offset", "comboBox_para_indoor_gain"});
    add("horizontalLayout_7", "QHBoxLayout", "", {"pushButton_para_read", "pushButton_para_write"});
    add("gridLayout_6", "QGridLayout", "groupBox_tc_calib", {"verticalLayout_11@0,0"});
    add("verticalLayout_11", "QVBoxLayout", "",
        {"pushButton_tc_calib_2", "|", "commandLinkButton_tc_indoor_auto_calib", "lineEdit_tc_indoor_auto_calib",
         "commandLinkButton_tc_50mV", "lineEdit_tc_50mV", "commandLinkButton_tc_0mV", "lineEdit_tc_0mV", "|",
         "pushButton_tc_write"});
    add("gridLayout_7", "QGridLayout", "groupBox_pt_calib", {"verticalLayout_12@0,0"});
    add("verticalLayout_12", "QVBoxLayout", "",
        {"pushButton_pt_calib", "|", "commandLinkButton_pt_100R", "lineEdit_pt_100R", "commandLinkButton_pt_200R",
         "lineEdit_pt_200R", "|", "pushButton_pt_write"});
    add("gridLayout_11", "QGridLayout", "groupBox_ma_calib", {"verticalLayout_18@0,0"});
    add("verticalLayout_18", "QVBoxLayout", "",
        {"pushButton_ma_calib", "horizontalLayout_13", "|", "spinBox_ma_fine", "|", "pushButton_ma_write",
         "label_ma_calib_up_down_limit", "commandLinkButton_ma_auto_calib_4", "lineEdit_ma_auto_calib_4", "|"});
    add("horizontalLayout_13", "QHBoxLayout", "", {"radioButton_ma_fine_4", "radioButton_ma_fine_20"});
    add("horizontalLayout_15", "QHBoxLayout", "", {"progressBar_write", "-", "label_language", "comboBox_sel_language"});
    add("horizontalLayout_3", "QHBoxLayout", "horizontalLayoutWidget", {"tableWidget_reg", "pushButton_reg_read"});
    add("horizontalLayout_9", "QHBoxLayout", "horizontalLayoutWidget_2", {"tableWidget_reg_2", "pushButton_reg_read_2"});
    add("gridLayout", "QGridLayout", "gridLayoutWidget", {"frame@0,0"});
    add("gridLayout_4", "QGridLayout", "gridLayoutWidget_2", {"groupBox_com_set@0,0"});
    add("gridLayout_2", "QGridLayout", "groupBox_com_set", {"verticalLayout_7@0,0", "horizontalLayout_6@1,0"});
    add("verticalLayout_7", "QVBoxLayout", "", {"horizontalLayout_4", "horizontalLayout_2"});
    add("horizontalLayout_4", "QHBoxLayout", "", {"verticalLayout", "verticalLayout_4", "verticalLayout_5", "verticalLayout_6"});
    add("verticalLayout", "QVBoxLayout", "", {"label_com_num", "label_baudrate", "label_databit"});
    add("verticalLayout_4", "QVBoxLayout", "", {"comboBox_com_num", "comboBox_baudrate", "comboBox_databit"});
    add("verticalLayout_5", "QVBoxLayout", "", {"label_checkbit", "label_stopbit", "label_dev_addr"});
    add("verticalLayout_6", "QVBoxLayout", "", {"comboBox_checkbit", "comboBox_stopbit", "lineEdit_dev_addr"});
    add("horizontalLayout_2", "QHBoxLayout", "", {"pushButton_com_ref", "pushButton_com_connect"});
    add("horizontalLayout_6", "QHBoxLayout", "", {"label_set_baudrate", "comboBox_set_baudrate", "pushButton_set_baudrate"});
    add("verticalLayout_2", "QVBoxLayout", "verticalLayoutWidget_2", {"line", "groupBox_rt_meas_value"});
    add("gridLayout_3", "QGridLayout", "groupBox_rt_meas_value", {"horizontalLayout@0,0"});
    add("horizontalLayout", "QHBoxLayout", "",
        {"label_rt_rt_meas_tmp", "lcdNumber_rt_mase_tmp", "line_4", "label_rt_meas_indoor_tmp", "lcdNumber_rt_indoor_tmp",
         "line_5", "label_rt_meas_adc_value", "lcdNumber_rt_adc_value"});
    add("gridLayout_8", "QGridLayout", "gridLayoutWidget_3", {"label_link_sta@0,0"});
}

void TestForm::layouts() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, owner);
    QFETCH(QStringList, items);
    Form f;
    const QList<QLayout *> found = f.window.findChildren<QLayout *>(name);
    QCOMPARE(found.size(), 1);
    QLayout *layout = found.first();
    QCOMPARE(QString(layout->metaObject()->className()), className);
    QCOMPARE(describe(layout), items);
    QCOMPARE(layout->spacing(), 6);
    if (owner.isEmpty()) {
        QVERIFY(qobject_cast<QLayout *>(layout->parent()));  // nested
        QCOMPARE(layout->contentsMargins(), QMargins(0, 0, 0, 0));  // toolkit default for a nested layout
    } else {
        QWidget *w = f.find(owner);
        QVERIFY(w);
        QCOMPARE(w->layout(), layout);
        const int m = qobject_cast<QGroupBox *>(w) ? 11 : 0;
        QCOMPARE(layout->contentsMargins(), QMargins(m, m, m, m));
    }
}

void TestForm::noOtherLayouts() {
    Form f;
    // Controls may bring unnamed layouts of their own; the form's are all named.
    int named = 0;
    for (QLayout *l : f.window.findChildren<QLayout *>())
        named += !l->objectName().isEmpty();
    QCOMPARE(named, 34);
}

void TestForm::spacers() {
    Form f;
    const QList<QSpacerItem *> vertical = {f.ui.verticalSpacer,   f.ui.verticalSpacer_2, f.ui.verticalSpacer_3,
                                           f.ui.verticalSpacer_4, f.ui.verticalSpacer_5, f.ui.verticalSpacer_6,
                                           f.ui.verticalSpacer_7, f.ui.verticalSpacer_8, f.ui.verticalSpacer_9};
    for (QSpacerItem *s : vertical) {
        QCOMPARE(s->sizeHint(), QSize(20, 40));
        QCOMPARE(s->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
        QCOMPARE(s->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    }
    QSpacerItem *h = f.ui.horizontalSpacer;
    QCOMPARE(h->sizeHint(), QSize(40, 20));
    QCOMPARE(h->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(h->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    // Each spacer sits where the outline puts it.
    QCOMPARE(f.ui.verticalLayout_10->itemAt(1)->spacerItem(), f.ui.verticalSpacer);
    QCOMPARE(f.ui.verticalLayout_10->itemAt(3)->spacerItem(), f.ui.verticalSpacer_2);
    QCOMPARE(f.ui.verticalLayout_11->itemAt(1)->spacerItem(), f.ui.verticalSpacer_3);
    QCOMPARE(f.ui.verticalLayout_11->itemAt(8)->spacerItem(), f.ui.verticalSpacer_4);
    QCOMPARE(f.ui.verticalLayout_12->itemAt(1)->spacerItem(), f.ui.verticalSpacer_5);
    QCOMPARE(f.ui.verticalLayout_12->itemAt(6)->spacerItem(), f.ui.verticalSpacer_6);
    QCOMPARE(f.ui.verticalLayout_18->itemAt(2)->spacerItem(), f.ui.verticalSpacer_7);
    QCOMPARE(f.ui.verticalLayout_18->itemAt(4)->spacerItem(), f.ui.verticalSpacer_8);
    QCOMPARE(f.ui.verticalLayout_18->itemAt(9)->spacerItem(), f.ui.verticalSpacer_9);
    QCOMPARE(f.ui.horizontalLayout_15->itemAt(1)->spacerItem(), f.ui.horizontalSpacer);
}

void TestForm::properties() {
    Form f;
    Ui::Widget &ui = f.ui;

    QCOMPARE(ui.lineEdit_dev_addr->maxLength(), 3);
    QCOMPARE(ui.lineEdit_dev_addr->maximumSize(), QSize(100, QWIDGETSIZE_MAX));
    ui.lineEdit_dev_addr->clear();
    QTest::keyClicks(ui.lineEdit_dev_addr, "12345");
    QCOMPARE(ui.lineEdit_dev_addr->text(), QStringLiteral("123"));

    QCOMPARE(ui.spinBox_ma_fine->minimum(), 0);
    QCOMPARE(ui.spinBox_ma_fine->maximum(), 8191);
    ui.spinBox_ma_fine->setValue(9000);
    QCOMPARE(ui.spinBox_ma_fine->value(), 8191);
    ui.spinBox_ma_fine->setValue(-5);
    QCOMPARE(ui.spinBox_ma_fine->value(), 0);

    QCOMPARE(ui.lcdNumber_rt_mase_tmp->digitCount(), 8);
    QCOMPARE(ui.lcdNumber_rt_indoor_tmp->digitCount(), 8);
    QCOMPARE(ui.lcdNumber_rt_adc_value->digitCount(), 6);

    QCOMPARE(ui.progressBar_write->value(), 0);
    QCOMPARE(ui.progressBar_write->minimum(), 0);
    QCOMPARE(ui.progressBar_write->maximum(), 100);

    QVERIFY(ui.label_ma_calib_up_down_limit->font().bold());
    QCOMPARE(int(ui.label_ma_calib_up_down_limit->font().weight()), int(QFont::Bold));
    QVERIFY(!ui.label_para_set_input_type->font().bold());

    QCOMPARE(ui.frame_2->frameShape(), QFrame::StyledPanel);
    QCOMPARE(ui.frame_2->frameShadow(), QFrame::Raised);
    QCOMPARE(ui.frame->frameShape(), QFrame::WinPanel);
    QCOMPARE(ui.frame->frameShadow(), QFrame::Plain);
    QCOMPARE(ui.frame->midLineWidth(), 0);
    QCOMPARE(ui.frame->styleSheet(), QStringLiteral("border-image:url(:/new/prefix1/image/title3.jpg)"));
    QCOMPARE(ui.line->frameShape(), QFrame::HLine);
    QCOMPARE(ui.line->frameShadow(), QFrame::Sunken);
    QCOMPARE(ui.line->lineWidth(), 3);
    for (QFrame *v : {ui.line_4, ui.line_5}) {
        QCOMPARE(v->frameShape(), QFrame::VLine);
        QCOMPARE(v->frameShadow(), QFrame::Sunken);
    }

    QVERIFY(ui.tabWidget_main->isEnabled());
    // Only the logo frame carries a style sheet from the form.
    for (QWidget *w : f.window.findChildren<QWidget *>())
        if (w != ui.frame)
            QVERIFY2(w->styleSheet().isEmpty(), qPrintable(w->objectName()));
}

void TestForm::alignment_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("alignment");
    const int center = Qt::AlignCenter;
    const int leftV = Qt::AlignLeft | Qt::AlignVCenter;
    for (const char *n : {"lineEdit_dev_addr", "lineEdit_tc_indoor_auto_calib", "lineEdit_tc_50mV", "lineEdit_tc_0mV",
                          "lineEdit_pt_100R", "lineEdit_pt_200R", "lineEdit_ma_auto_calib_4", "spinBox_ma_fine",
                          "label_com_num", "label_baudrate", "label_databit", "label_checkbit", "label_stopbit",
                          "label_dev_addr", "label_rt_rt_meas_tmp", "label_rt_meas_indoor_tmp",
                          "label_rt_meas_adc_value", "label_link_sta"})
        QTest::newRow(n) << QString(n) << center;
    for (const char *n : {"lineEdit_para_hight_tmp", "lineEdit_para_low_tmp", "lineEdit_para_zero_offset",
                          "lineEdit_para_indoor_zero_offset"})
        QTest::newRow(n) << QString(n) << leftV;
    // Defaults that must stay defaults.
    QTest::newRow("lineEdit_para_tmp_gain") << "lineEdit_para_tmp_gain" << int(QLineEdit().alignment());
    QTest::newRow("label_language") << "label_language" << int(QLabel().alignment());
    QTest::newRow("label_set_baudrate") << "label_set_baudrate" << int(QLabel().alignment());
}

void TestForm::alignment() {
    QFETCH(QString, name);
    QFETCH(int, alignment);
    Form f;
    QObject *o = f.find(name);
    QVERIFY(o);
    QCOMPARE(o->property("alignment").toInt(), alignment);
}

void TestForm::combos_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("index");
    QTest::newRow("input type") << "comboBox_para_input_sel"
                                << QStringList{"K", "PT100", "Cu50", "S", "R", "B", "N", "E", "J", "T", "WRe5-26", "WRe3-25"}
                                << 0;
    QTest::newRow("unit") << "comboBox_para_unit_tmp" << QStringList{QStringLiteral("\u00B0C"), QStringLiteral("\u00B0F")} << 0;
    QTest::newRow("filter") << "comboBox_para_filter_coe" << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9"} << 0;
    QTest::newRow("room gain") << "comboBox_para_indoor_gain"
                               << QStringList{"0.5", "0.6", "0.7", "0.8", "0.9", "1", "1.1", "1.2", "1.3", "1.4", "1.5",
                                              "1.6", "1.7", "1.8", "1.9", "2"}
                               << 0;
    QTest::newRow("language") << "comboBox_sel_language"
                              << QStringList{QStringLiteral("简体中文"), QStringLiteral("繁體中文"), "English"} << 0;
    QTest::newRow("baud") << "comboBox_baudrate" << kBauds << 2;
    QTest::newRow("data bits") << "comboBox_databit" << QStringList{"5", "6", "7", "8"} << 3;
    QTest::newRow("parity") << "comboBox_checkbit" << QStringList{"None", "Odd", "Event", "Mark", "Space"} << 0;
    QTest::newRow("stop bits") << "comboBox_stopbit" << QStringList{"1", "1.5", "2"} << 0;
    QTest::newRow("device baud") << "comboBox_set_baudrate" << kBauds << 2;
    QTest::newRow("port (filled later)") << "comboBox_com_num" << QStringList{} << -1;
}

// The values a configuration file may carry are the ones the window offers.
void TestForm::configurationRulesFollowTheForm() {
    Form f;
    const auto values = [&f](const char *name, int scale) {
        QVector<int> v;
        auto *combo = f.window.findChild<QComboBox *>(name);
        for (int i = 0; i < combo->count(); ++i)
            v << qRound(combo->itemText(i).toDouble() * scale);
        return v;
    };
    QCOMPARE(values("comboBox_para_filter_coe", 1), config::filterValues());
    QCOMPARE(values("comboBox_para_indoor_gain", 10), config::roomGainValues());
    QCOMPARE(values("comboBox_set_baudrate", 1), config::deviceBaudRates());
}

void TestForm::combos() {
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    QFETCH(int, index);
    Form f;
    auto *combo = f.find<QComboBox>(name);
    QVERIFY(combo);
    QStringList actual;
    for (int i = 0; i < combo->count(); ++i)
        actual << combo->itemText(i);
    QCOMPARE(actual, items);
    QCOMPARE(combo->currentIndex(), index);
    QVERIFY(!combo->isEditable());
}

void TestForm::tabs() {
    Form f;
    QTabWidget *tabs = f.ui.tabWidget_main;
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->widget(0), f.ui.tab);
    QCOMPARE(tabs->widget(1), f.ui.tab_2);
    QCOMPARE(tabs->widget(2), f.ui.tab_4);
    QCOMPARE(tabs->widget(3), f.ui.tab_3);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(f.ui.tab->objectName(), QStringLiteral("tab"));
    QCOMPARE(f.ui.tab_4->objectName(), QStringLiteral("tab_4"));
    QVERIFY(f.ui.tab_3->children().isEmpty());  // the presentation page is empty
}

void TestForm::baseTexts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("text");
    auto add = [](const char *name, const char *what, const char *text) {
        QTest::newRow(qPrintable(QString("%1 %2").arg(name, what))) << QString(name) << QString(what) << QString::fromUtf8(text);
    };
    add("Widget", "windowTitle", "Widget");
    add("groupBox_para_set", "title", "参数设置");
    add("pushButton_para_set", "text", "参数设置");
    add("label_para_set_input_type", "text", "输入类型");
    add("label_para_set_hight_limit", "text", "变送高限");
    add("label_para_set_low_limit", "text", "变送低限");
    add("label_para_set_zero_offset", "text", "零点偏移");
    add("label_para_set_tmp_gain", "text", "温度增益");
    add("label_para_set_unit", "text", "单位选择");
    add("label_para_set_filter_coef", "text", "滤波系数");
    add("label_para_set_indoor_tmp_zero_offset", "text", "室温零点偏移");
    add("label_para_set_indoor_tmp_gain", "text", "室温增益");
    add("pushButton_para_read", "text", "读取");
    add("pushButton_para_write", "text", "写入");
    add("groupBox_tc_calib", "title", "热电偶校准");
    add("pushButton_tc_calib_2", "text", "热电偶校准");
    add("commandLinkButton_tc_indoor_auto_calib", "text", "室温自动校准");
    add("commandLinkButton_tc_50mV", "text", "50mV校准值");
    add("commandLinkButton_tc_0mV", "text", "0mV校准值");
    add("pushButton_tc_write", "text", "写入");
    add("groupBox_pt_calib", "title", "热电阻校准");
    add("pushButton_pt_calib", "text", "热电阻校准");
    add("commandLinkButton_pt_100R", "text", "100R");
    add("commandLinkButton_pt_200R", "text", "200R");
    add("pushButton_pt_write", "text", "写入");
    add("groupBox_ma_calib", "title", "电流修正");
    add("pushButton_ma_calib", "text", "电流修正");
    add("radioButton_ma_fine_4", "text", "4mA微调");
    add("radioButton_ma_fine_20", "text", "20mA微调");
    add("pushButton_ma_write", "text", "写入");
    add("label_ma_calib_up_down_limit", "text", "上下限电流标定");
    add("commandLinkButton_ma_auto_calib_4", "text", "a)开始标定");
    add("label_language", "text", "语言选择");
    add("tabWidget_main", "tab0", "温度标定");
    add("pushButton_reg_read", "text", "读寄存器");
    add("tabWidget_main", "tab1", "寄存器表1");
    add("pushButton_reg_read_2", "text", "读寄存器");
    add("tabWidget_main", "tab2", "寄存器表2");
    add("tabWidget_main", "tab3", "产品介绍");
    add("groupBox_com_set", "title", "串口设置");
    add("label_com_num", "text", "端口号");
    add("label_baudrate", "text", "波特率");
    add("label_databit", "text", "数据位");
    add("label_checkbit", "text", "校验位");
    add("label_stopbit", "text", "停止位");
    add("label_dev_addr", "text", "设备地址");
    add("lineEdit_dev_addr", "text", "192");
    add("pushButton_com_ref", "text", "端口刷新");
    add("pushButton_com_connect", "text", "设备连接");
    add("label_set_baudrate", "text", "选择设置波特率");
    add("pushButton_set_baudrate", "text", "设置波特率");
    add("groupBox_rt_meas_value", "title", "实时测量值");
    add("label_rt_rt_meas_tmp", "text", "实时测量温度");
    add("label_rt_meas_indoor_tmp", "text", "实时室温温度");
    add("label_rt_meas_adc_value", "text", "实时AD采集");
    add("label_link_sta", "text", "");
    // Everything else starts empty.
    for (const char *n : {"lineEdit_para_hight_tmp", "lineEdit_para_low_tmp", "lineEdit_para_zero_offset",
                          "lineEdit_para_tmp_gain", "lineEdit_para_indoor_zero_offset", "lineEdit_tc_indoor_auto_calib",
                          "lineEdit_tc_50mV", "lineEdit_tc_0mV", "lineEdit_pt_100R", "lineEdit_pt_200R",
                          "lineEdit_ma_auto_calib_4"})
        add(n, "text", "");
}

void TestForm::baseTexts() {
    QFETCH(QString, name);
    QFETCH(QString, what);
    QFETCH(QString, text);
    Form f;
    QString actual;
    if (name == "Widget") {
        actual = f.window.windowTitle();
    } else if (what.startsWith("tab")) {
        actual = f.ui.tabWidget_main->tabText(what.mid(3).toInt());
    } else {
        QObject *o = f.find(name);
        QVERIFY(o);
        actual = o->property(qPrintable(what)).toString();
    }
    QCOMPARE(actual, text);
}

void TestForm::initialState() {
    Form f;
    Ui::Widget &ui = f.ui;
    for (QTableWidget *t : {ui.tableWidget_reg, ui.tableWidget_reg_2}) {
        QCOMPARE(t->columnCount(), 0);
        QCOMPARE(t->rowCount(), 0);
        QVERIFY(!t->horizontalHeaderItem(0));
    }
    for (QRadioButton *r : {ui.radioButton_ma_fine_4, ui.radioButton_ma_fine_20}) {
        QVERIFY(!r->isChecked());
        QVERIFY(r->isCheckable());
    }
    for (QLCDNumber *l : {ui.lcdNumber_rt_mase_tmp, ui.lcdNumber_rt_indoor_tmp, ui.lcdNumber_rt_adc_value})
        QCOMPARE(l->value(), 0.0);
    QCOMPARE(ui.spinBox_ma_fine->value(), 0);
    // Nothing in the form is disabled; gating is the window's job.
    for (QWidget *w : f.window.findChildren<QWidget *>())
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
}

void TestForm::slotsBoundOnlyAfterSetup() {
    Probe probe;
    Ui::Widget ui;
    ui.setupUi(&probe);
    // Filling the lists and setting the start indexes ran before the binding.
    QCOMPARE(probe.languageCalls, 0);
    QCOMPARE(probe.tabCalls, 0);
    QCOMPARE(probe.baudCalls, 0);
    ui.comboBox_sel_language->setCurrentIndex(2);
    ui.tabWidget_main->setCurrentIndex(1);
    ui.comboBox_baudrate->setCurrentIndex(3);
    QCOMPARE(probe.languageCalls, 1);
    QCOMPARE(probe.tabCalls, 1);
    QCOMPARE(probe.baudCalls, 1);
}

void TestForm::images_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("logo") << ":/new/prefix1/image/title3.jpg" << QSize(842, 282);
    QTest::newRow("banner") << ":/new/prefix1/title_img" << QSize(1000, 150);
    QTest::newRow("wide banner") << ":/new/prefix1/title2_img" << QSize(1920, 288);
}

void TestForm::images() {
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xFF\xD8"));  // JPEG start-of-image
    QImage image;
    QVERIFY(image.loadFromData(bytes, "JPG"));
    QCOMPARE(image.size(), size);
}

QTEST_MAIN(TestForm)
#include "test_form.moc"
