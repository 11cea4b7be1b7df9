#include "window/widget.h"
#include "procedures/transaction.h"

#include "core/registers.h"
#include "tabs/auto_calibration_tab.h"
#include "tabs/batch_tab.h"
#include "tabs/calibration_record_tab.h"
#include "tabs/configuration_tab.h"
#include "tabs/due_list.h"
#include "tabs/records_view.h"
#include "tabs/traffic_tab.h"
#include "tabs/trend_tab.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"
#include "widgets/hled.h"
#include "window/notices.h"
#include "window/quiet_slots.h"
#include "tabs/auto_calibration_texts.h"
#include "automation/run_registry.h"

#include <QCloseEvent>
#include <QDoubleValidator>
#include <QHeaderView>
#include <QLocale>
#include <QModbusReply>
#include <QTimer>

namespace {

const char kHeaderStyle[] =
    "QHeaderView::section{background-color:rgb(40,143,218);font:13pt '黑体';color: white;};";
const char kLcdStyle[] = "background-color: rgb(0,0,0);font:22pt '黑体';color: red;";
const char kCommandButtonStyle[] = "background-color: rgb(230,230,230)";
const char kReadOnlyEditStyle[] = "background-color: rgb(240,240,255);font:12pt '黑体';color: black;";

void setUpRegisterTable(QTableWidget *table, int rows)
{
    table->setRowCount(rows);
    table->setColumnCount(3);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->setShowGrid(true);
    table->horizontalHeader()->setSectionsClickable(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setFixedHeight(25);
    table->horizontalHeader()->setStyleSheet(QString::fromUtf8(kHeaderStyle));
    table->setHorizontalHeaderLabels({QStringLiteral("寄存器地址"), QStringLiteral("值"),
                                      QStringLiteral("备注")});
}

// Slots the window keeps for controls or signals the form lacks (the last one
// only under Qt 6, whose spin box has no text-valued valueChanged).
QStringList unmatchedSlots()
{
    return {QStringLiteral("on_radioButton_ma_4_sel_auto_toggled(bool)"),
            QStringLiteral("on_radioButton_ma_20_sel_auto_toggled(bool)"),
            QStringLiteral("on_radioButton_ma_4_sel_auto_clicked()"),
            QStringLiteral("on_pushButton_ma_read_clicked()"),
            QStringLiteral("on_radioButton_ma_4_sel_auto_pressed()"),
            QStringLiteral("on_radioButton_ma_20_sel_auto_pressed()"),
            QStringLiteral("on_radioButton_ma_20_sel_auto_clicked()"),
            QStringLiteral("on_spinBox_ma_fine_valueChanged(QString)")};
}

HLed *makeLamp(QWidget *groupBox, const QRect &geometry, const QColor *color)
{
    auto *lamp = new HLed(groupBox);
    if (color)
        lamp->setColor(*color);
    lamp->setGeometry(geometry);
    lamp->turnOff(true);
    return lamp;
}

// Range fields take numbers with a decimal point whatever the desktop locale.
QDoubleValidator *rangeValidator(QObject *parent)
{
    auto *validator = new QDoubleValidator(-300.0, 3000.0, 1, parent);
    validator->setLocale(QLocale::c());
    return validator;
}

} // namespace

Widget::Widget(QWidget *parent)
    : QWidget(parent), ui(new Ui::Widget)
{
    {
        const quiet::QuietUnmatchedSlots quiet(unmatchedSlots());
        ui->setupUi(this);
    }
    fitPageContainers();
    ui->tabWidget_main->setStyleSheet(QStringLiteral(
        "QTabWidget:pane {border-top:0px solid #e8f3f9;background:  transparent;}"));

    setUpRegisterTable(ui->tableWidget_reg, reg::kHoldingCount);
    setUpRegisterTable(ui->tableWidget_reg_2, reg::kInputCount);

    const QColor red(255, 0, 0, 255);
    led_com = makeLamp(ui->groupBox_com_set, QRect(24, 12, 20, 20), &red);
    led_rt = makeLamp(ui->groupBox_rt_meas_value, QRect(73, 0, 20, 20), &red);
    led_para = makeLamp(ui->groupBox_para_set, QRect(62, 0, 15, 15), nullptr);
    led_tc = makeLamp(ui->groupBox_tc_calib, QRect(75, 0, 15, 15), nullptr);
    led_pt = makeLamp(ui->groupBox_pt_calib, QRect(75, 0, 15, 15), nullptr);
    led_ma = makeLamp(ui->groupBox_ma_calib, QRect(62, 0, 15, 15), nullptr);

    for (QLCDNumber *lcd : {ui->lcdNumber_rt_mase_tmp, ui->lcdNumber_rt_indoor_tmp,
                            ui->lcdNumber_rt_adc_value}) {
        lcd->setStyleSheet(QString::fromUtf8(kLcdStyle));
        lcd->setDecMode();
    }
    for (QCommandLinkButton *button :
         {ui->commandLinkButton_tc_0mV, ui->commandLinkButton_pt_100R,
          ui->commandLinkButton_pt_200R, ui->commandLinkButton_tc_50mV,
          ui->commandLinkButton_ma_auto_calib_4, ui->commandLinkButton_tc_indoor_auto_calib})
        button->setStyleSheet(QString::fromLatin1(kCommandButtonStyle));

    ui->lineEdit_dev_addr->setAlignment(Qt::AlignCenter);
    ui->lineEdit_dev_addr->setText(QStringLiteral("192"));
    ui->lineEdit_tc_indoor_auto_calib->setAlignment(Qt::AlignCenter);
    for (QLineEdit *edit : {ui->lineEdit_tc_50mV, ui->lineEdit_tc_0mV, ui->lineEdit_pt_100R,
                            ui->lineEdit_pt_200R}) {
        edit->setStyleSheet(QString::fromUtf8(kReadOnlyEditStyle));
        edit->setAlignment(Qt::AlignCenter);
        edit->setReadOnly(true);
    }
    ui->lineEdit_ma_auto_calib_4->setAlignment(Qt::AlignCenter);
    ui->spinBox_ma_fine->setStyleSheet(QString::fromUtf8(kReadOnlyEditStyle));
    ui->spinBox_ma_fine->setAlignment(Qt::AlignCenter);
    // A typed trim goes out once it is committed, not digit by digit.
    ui->spinBox_ma_fine->setKeyboardTracking(false);

    ui->lineEdit_para_hight_tmp->setValidator(rangeValidator(ui->lineEdit_para_hight_tmp));
    ui->lineEdit_para_low_tmp->setValidator(rangeValidator(ui->lineEdit_para_low_tmp));

    link = new rtu::Link(this);
    connect(link, &rtu::Link::readEnded, this, &Widget::onReadEnded);
    connect(link, &rtu::Link::writeEnded, this, &Widget::onWriteEnded);
    connect(link, &rtu::Link::requestNotTaken, this, &Widget::showLinkFailure);
    connect(link, &rtu::Link::closed, this, &Widget::onLinkClosed);
    // Words that could not go back: which registers RAM holds unstored, and what clears them.
    connect(link, &rtu::Link::unstoredHeld, this, [this] {
        QVector<int> held;
        for (const rtu::UnstoredWords::Entry &e : link->unstored().entries())
            held << e.address;
        showVerdict(proc::outcomeText({proc::Outcome::Held::NotStoredRamHolds, held, {}}, languageIndex()));
    });
    connect(link, &rtu::Link::lineLost, this, &Widget::showLinkFailure);
    connect(link, &rtu::Link::portSilent, this, &Widget::onPortSilent);
    connect(link, &rtu::Link::operationWithoutLink, this, [this] { notify(notices::Notice::NotConnected); });
    connect(link, &rtu::Link::operationStarted, this, [this] { verdict_shown.invalidate(); });
    thermocouple = new proc::SensorCalibration(*link, proc::SensorCalibration::Input::Thermocouple, this);
    rtd = new proc::SensorCalibration(*link, proc::SensorCalibration::Input::Rtd, this);
    for (proc::SensorCalibration *calibration : {thermocouple, rtd})
        connect(calibration, &proc::SensorCalibration::pointChanged, this,
                [this, calibration](int index, qint32 value) { showPoint(*calibration, index, value); });
    current_calibration = new proc::CurrentCalibration(*link, this);
    connect(current_calibration, &proc::CurrentCalibration::stepChanged, this, &Widget::showCalibrationStep);
    // The procedures own the modes and the trim end; the window renders them.
    unit_state = new proc::UnitState(*link, *current_calibration, this);
    connect(unit_state, &proc::UnitState::groupChanged, this, &Widget::showGroup);
    fine_trim = new proc::FineTrim(*link, this);
    fine_trim->follow(*unit_state, *current_calibration);
    connect(fine_trim, &proc::FineTrim::changed, this, &Widget::showFineTrim);
    connect(fine_trim, &proc::FineTrim::endLoaded, this, [this](proc::FineTrim::End, quint16 stored) {
        loadTrimValue(stored);
    });

    refreshPorts();

    setParaGroupEnabled(false);
    setTcGroupEnabled(false);
    setPtGroupEnabled(false);
    setMaGroupEnabled(false);
    showFineTrim();

    poll_timer = new QTimer(this);
    connect(poll_timer, &QTimer::timeout, this, &Widget::timerUpDate);
    poll_pass_timer = new QTimer(this);
    poll_pass_timer->setSingleShot(true);
    connect(poll_pass_timer, &QTimer::timeout, this, &Widget::pollPass);

    addTabs();
}

// Tabs beyond the form: their own classes, each given the link. They take the
// window's live values and languages; each names itself in its window title.
void Widget::addTabs()
{
    first_extra_tab = ui->tabWidget_main->count();
    runs = new autocal::RunRegistry(this);
    // Nothing modal beside a run: a box would stop every unit's requests behind it.
    record_tab = new CalibrationRecordTab(*link);
    auto *configuration = new ConfigurationTab(*link);
    auto *trend = new TrendTab(*link);
    auto *traffic = new TrafficTab(*link);
    auto *automatic = new AutoCalibrationTab(*link, *runs);
    automatic->setRecords([this] { return record_tab->database(); }, [this] { return record_tab->recordsFolder(); });
    auto *batch = new BatchTab(*link, *runs);
    batch->setRecords([this] { return record_tab->database(); }, [this] { return record_tab->recordsFolder(); });
    automatic->setPerformer([this](recordsdb::RecordDb &db) { return record_tab->unlockSigner(db); });
    batch->setPerformer([this](recordsdb::RecordDb &db) { return record_tab->unlockSigner(db); });
    using Access = CalibrationRecordTab::Access;
    auto *recordsView = new RecordsView({[this](bool write) { return record_tab->database(write ? Access::Write : Access::Read); },
                                         [this] { return record_tab->recordsFolder(); }, {}});
    connect(batch, &BatchTab::finished, recordsView, &RecordsView::refresh);
    connect(batch, &BatchTab::checkStored, recordsView, &RecordsView::refresh);
    connect(automatic, &AutoCalibrationTab::checkStored, recordsView, &RecordsView::refresh);
    const auto showInRecords = [this, recordsView](const QString &serial, const QDateTime &started) {
        recordsView->selectCheck(serial, started);   // says so on its status line when it finds none
        ui->tabWidget_main->setCurrentWidget(recordsView);
    };
    connect(automatic, &AutoCalibrationTab::openInRecords, this, showInRecords);
    connect(batch, &BatchTab::openInRecords, this, showInRecords);
    connect(record_tab, &CalibrationRecordTab::openInRecords, this, showInRecords);
    connect(this, &Widget::languageChanged, recordsView, &RecordsView::setLanguage);
    auto *due = new DueList({[this] { return record_tab->database(Access::Read); },
                             [this, automatic](const recordsdb::Instrument &unit) {
                                 automatic->setUnit(unit.tag, unit.serial, unit.procedure);
                                 ui->tabWidget_main->setCurrentWidget(automatic);
                             },
                             [this, batch](const QVector<recordsdb::Instrument> &units) {
                                 batch->setHanded(units);
                                 ui->tabWidget_main->setCurrentWidget(batch);
                             }});
    connect(this, &Widget::languageChanged, due, &DueList::setLanguage);
    for (QWidget *tab : std::initializer_list<QWidget *>{record_tab, automatic, batch, configuration, trend, traffic,
                                                         recordsView, due})
        ui->tabWidget_main->addTab(tab, tab->windowTitle());

    connect(record_tab, &CalibrationRecordTab::deviceReadFailed, this,
            [this] { notify(notices::Notice::ReadFailure); });
    connect(this, &Widget::liveValuesReceived, record_tab, &CalibrationRecordTab::onLiveValues);
    connect(this, &Widget::liveValuesReceived, trend, &TrendTab::addLiveValues);
    connect(this, &Widget::linkStatusShown, trend, &TrendTab::showLinkStatus);
    connect(this, &Widget::languageChanged, record_tab, &CalibrationRecordTab::setLanguage);
    connect(this, &Widget::languageChanged, configuration, &ConfigurationTab::setLanguage);
    connect(this, &Widget::languageChanged, trend, &TrendTab::setLanguage);
    connect(this, &Widget::languageChanged, traffic, &TrafficTab::setLanguage);
    connect(this, &Widget::languageChanged, automatic, &AutoCalibrationTab::setLanguage);
    connect(this, &Widget::languageChanged, batch, &BatchTab::setLanguage);
    languageToTabs(languageIndex());
}

Widget::~Widget()
{
    // The link goes first, while the window is whole.
    delete link;
    link = nullptr;
    delete ui;
}

void Widget::closeEvent(QCloseEvent *event)
{
    // A run ends safely first, the link still open; the window closes after it.
    if (!runs->mayClose(autotext::text(autotext::Text::WindowClosed, 2), [this] { close(); })) {
        event->ignore();
        return;
    }
    notices::closeAll();
    // An operation may still be inside one of its waits: from now on nothing
    // more goes out on the bus, and the waits return at once.
    link->shutDown();
    poll_timer->stop();
    poll_pass_timer->stop();
    event->accept();
}

// Slots the form connects by name that have nothing to do.
void Widget::on_radioButton_ma_4_sel_auto_toggled(bool) {}
void Widget::on_radioButton_ma_20_sel_auto_toggled(bool) {}
void Widget::on_radioButton_ma_fine_4_toggled(bool) {}
void Widget::on_radioButton_ma_fine_20_toggled(bool) {}
void Widget::on_radioButton_ma_4_sel_auto_pressed() {}
void Widget::on_radioButton_ma_20_sel_auto_pressed() {}
void Widget::on_radioButton_ma_fine_4_pressed() {}
void Widget::on_radioButton_ma_fine_20_pressed() {}
void Widget::on_spinBox_ma_fine_valueChanged(const QString &) {}
void Widget::on_radioButton_ma_fine_4_destroyed() {}
void Widget::on_radioButton_ma_fine_4_released() {}
