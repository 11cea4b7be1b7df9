#pragma once
// The main window: owns the form, the lamps, the link and the poll timer, and
// holds every operation of the form. Each operation is a straight-line
// sequence on the link's steps; they live in this folder, a file per concern,
// and this header is the one place that lists them.

#include "core/live_values.h"
#include "link/link.h"
#include "link/request_description.h"
#include "procedures/current_calibration.h"
#include "procedures/fine_trim.h"
#include "procedures/sensor_calibration.h"
#include "procedures/unit_state.h"
#include "window/page_scaling.h"

#include <QModbusDataUnit>
#include <QModbusDevice>
#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <optional>

QT_BEGIN_NAMESPACE
namespace Ui { class Widget; }
class QModbusClient;
class QModbusReply;
class QTableWidget;
class QTimer;
class QLineEdit;
class QRadioButton;
QT_END_NAMESPACE
class HLed;
class CalibrationRecordTab;
namespace autocal { class RunRegistry; }

namespace notices { enum class Notice; enum class Field; }
namespace proc { struct ChangeReport; struct Aftermath; }

class Widget : public QWidget
{
    Q_OBJECT

public:
    explicit Widget(QWidget *parent = nullptr);
    ~Widget() override;

    // True while a device operation runs; a second one started meanwhile does nothing.
    bool operationRunning() const { return link->operationRunning(); }

signals:
    // Every live poll that arrived; the tabs beyond the form listen to these.
    void liveValuesReceived(const reg::LiveValues &values);
    // The link-status line changed: ok, and the text it shows.
    void linkStatusShown(bool ok, const QString &text);
    // The serial link was opened (the connect button succeeded).
    void linkOpened();
    // The operator chose another language; every tab follows it.
    void languageChanged(int index);

private slots:
    void on_tabWidget_main_currentChanged(int index);
    void on_pushButton_com_ref_clicked();
    void on_pushButton_com_connect_clicked();
    void timerUpDate();
    void on_pushButton_reg_read_clicked();
    void on_pushButton_reg_read_2_clicked();
    void on_pushButton_para_set_clicked();
    void on_pushButton_tc_calib_2_clicked();
    void on_pushButton_pt_calib_clicked();
    void on_pushButton_ma_calib_clicked();
    void on_pushButton_para_read_clicked();
    void on_pushButton_para_write_clicked();
    void on_commandLinkButton_tc_indoor_auto_calib_clicked();
    void on_commandLinkButton_tc_50mV_clicked();
    void on_commandLinkButton_tc_0mV_clicked();
    void on_commandLinkButton_pt_100R_clicked();
    void on_commandLinkButton_pt_200R_clicked();
    void on_radioButton_ma_4_sel_auto_toggled(bool checked);
    void on_radioButton_ma_20_sel_auto_toggled(bool checked);
    void on_radioButton_ma_fine_4_toggled(bool checked);
    void on_radioButton_ma_fine_20_toggled(bool checked);
    void on_commandLinkButton_ma_auto_calib_4_clicked();
    void on_radioButton_ma_4_sel_auto_clicked();
    void on_pushButton_ma_read_clicked();
    void on_spinBox_ma_fine_valueChanged(int arg1);
    void on_pushButton_tc_write_clicked();
    void on_pushButton_pt_write_clicked();
    void on_pushButton_ma_write_clicked();
    void on_radioButton_ma_4_sel_auto_pressed();
    void on_radioButton_ma_20_sel_auto_pressed();
    void on_radioButton_ma_fine_4_pressed();
    void on_radioButton_ma_fine_20_pressed();
    void on_radioButton_ma_20_sel_auto_clicked();
    void on_radioButton_ma_fine_4_clicked();
    void on_radioButton_ma_fine_20_clicked();
    void on_spinBox_ma_fine_valueChanged(const QString &arg1);
    void on_radioButton_ma_fine_4_destroyed();
    void on_radioButton_ma_fine_4_released();
    void on_pushButton_set_baudrate_clicked();
    void on_comboBox_sel_language_currentIndexChanged(int index);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // --- function groups and feedback (gating.cpp, notices.cpp) ---
    void setParaGroupEnabled(bool on);
    void setTcGroupEnabled(bool on);
    void setPtGroupEnabled(bool on);
    void setMaGroupEnabled(bool on);
    // Renders the unit's group: `from` closes, `to` opens.
    void showGroup(int from, int to);
    void showLinkOk();
    void showLinkFailure(const QString &error);
    // Reads the holding block back and shows in the link-status line whether
    // `written` (from holding `start`) is what the transmitter now holds.
    bool verifyReadBack(int start, const QVector<quint16> &written);
    // What a stored change left, in the link status and the notices; true when verified.
    bool reportChange(const proc::ChangeReport &report);
    void showAftermath(const proc::Aftermath &aftermath);
    void showVerdict(const QString &text);
    void notify(notices::Notice notice);
    void notifyOpenFailure(const QString &port);   // the permission notice, or the generic one
    void notifyInvalidNumber(notices::Field field, qint64 min, qint64 max, int scale);
    int languageIndex() const;

    // --- page scaling (resize.cpp) ---
    void scaleWindowContainers();
    void fitPageContainers();
    void scrollCalibrationGroups();

    // --- connection, requests and their steps (connection.cpp, requests.cpp) ---
    void refreshPorts();
    void openLink();
    void onLinkClosed();
    void onPortSilent(const QString &port);
    void pollPass();

    bool sendPoll();
    void onReadEnded(const rtu::Verdict &verdict);
    void onWriteEnded(const rtu::Verdict &verdict);

    // The steps operations are written with, on the link's waits.
    using ReadOutcome = rtu::ReadOutcome;
    using WriteOutcome = rtu::WriteOutcome;
    // Operation read of a whole block after a pre-wait (or one attempt of
    // `budget`); `progressOnSend` >= 0 is shown once the read went out.
    rtu::ReadResult fetchBlock(QModbusDataUnit::RegisterType type, int progressOnSend = -1,
                               int *budget = nullptr);
    // fetchBlock that tells the operator: `failure` when the read failed or never
    // went out, nothing when it timed out. The words only when they arrived whole.
    std::optional<QVector<quint16>> fetchOrReport(QModbusDataUnit::RegisterType type,
                                                  notices::Notice failure, int progressOnSend = -1,
                                                  int *budget = nullptr);
    // Every device operation starts here: false, with the notice, when the link is down.
    bool requireLink();
    bool runProgress(int first, int last, int stepMs);

    // --- live monitor and tables (monitor.cpp, register_tables.cpp) ---
    void showLiveValues(const QModbusDataUnit &unit);
    void fillTable(QTableWidget *table, const QModbusDataUnit &unit);
    void setTableCell(QTableWidget *table, int row, int column, quint16 value);
    void readTable(QModbusDataUnit::RegisterType type);

    // --- calibration procedures shared by thermocouple and RTD (sensor_calibration.cpp) ---
    void toggleCalibrationMode(proc::SensorCalibration &calibration);
    void capturePoint(proc::SensorCalibration &calibration, int index);
    void storeCalibration(proc::SensorCalibration &calibration);
    void showPoint(const proc::SensorCalibration &calibration, int index, qint32 value);

    // --- current output (current_calibration.cpp, fine_trim.cpp) ---
    void setStepText(QChar letter);
    void showCalibrationStep(proc::CurrentCalibration::Step step);
    void reportCalibrationStep(proc::CurrentCalibration::Result result);
    // Tells the transmitter to trim `end` (none: only the progress run).
    void chooseTrimEnd(std::optional<proc::FineTrim::End> end);
    void trimEndClicked(proc::FineTrim::End end);
    // The ends and the spin box as the fine trim says.
    void showFineTrim();
    void loadTrimValue(int value);

    // --- languages (language.cpp) ---
    void setLanguage(int index);
    void languageToTabs(int index);
    void addTabs();

    Ui::Widget *ui;
    HLed *led_com;
    HLed *led_rt;
    HLed *led_para;
    HLed *led_tc;
    HLed *led_pt;
    HLed *led_ma;
    rtu::Link *link = nullptr;
    proc::CurrentCalibration *current_calibration = nullptr;   // the 4/20 mA procedure on the link
    proc::SensorCalibration *thermocouple = nullptr;           // the input procedures on the link
    proc::SensorCalibration *rtd = nullptr;
    proc::FineTrim *fine_trim = nullptr;
    proc::UnitState *unit_state = nullptr;                      // mode and decimal code the polls report
    QTimer *poll_timer = nullptr;

    // Beyond the shared bookkeeping above.
    int poll_passes_left = 0;
    QElapsedTimer verdict_shown;      // a read-back verdict stays in view a while
    QTimer *poll_pass_timer = nullptr;
    scaling::Rule rule_top_logo;
    scaling::Rule rule_top_serial;
    scaling::Rule rule_live_strip;
    scaling::Rule rule_tabs;
    scaling::Rule rule_status;
    CalibrationRecordTab *record_tab = nullptr;   // the tab after the form's four pages
    int first_extra_tab = 0;                       // tabs from here on are not the form's
    autocal::RunRegistry *runs = nullptr;          // the one run of every tab, past the slot that started it

    friend class WidgetProbe;   // tests reach the bookkeeping through it
};
