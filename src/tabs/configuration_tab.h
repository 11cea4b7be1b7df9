#pragma once
// The configuration tab: read the transmitter into named fields, save and
// open configuration files, compare, and apply a file with read-back
// verification. Every device step runs through the window's link.

#include "procedures/config_apply.h"
#include "tabs/configuration_texts.h"

#include <QFileDialog>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
namespace rtu { class Link; }

class ConfigurationTab : public QWidget
{
    Q_OBJECT

public:
    explicit ConfigurationTab(rtu::Link &link, QWidget *parent = nullptr);
    ~ConfigurationTab() override;

    // The operations behind the buttons, with the file already chosen.
    void readDevice();
    bool saveTo(const QString &path);
    bool openFile(const QString &path);
    void compareWithDevice();
    // With the calibration box checked, asks first (a dialog listing the fields).
    void applyFile();

public slots:
    void setLanguage(int language);

private:
    void buildLayout();
    void chooseFile(QFileDialog::AcceptMode mode);
    void confirmCalibration();
    void runApply(bool includeCalibration);
    void setControlsEnabled(bool enabled);
    bool readInto(core::RegisterBus &bus);
    // Runs `operation` on the link under its guard; false when it did not run.
    bool runOnLink(const std::function<void(core::RegisterBus &)> &operation);
    void showRows();
    void showStatus(const QString &text, bool ok);
    QString tr3(configtext::Text t) const { return configtext::text(t, m_language); }

    rtu::Link &m_link;
    int m_language = 0;
    std::optional<config::Configuration> m_device;
    std::optional<config::Configuration> m_file;
    QString m_filePath;
    QPointer<QFileDialog> m_dialog;
    bool m_verified = false;   // the device as shown was verified against the file
    bool m_applying = false;   // the file stays fixed while an apply is asked about or waits on the link
    bool m_calibrationApplied = false;

    QPushButton *m_read;
    QPushButton *m_open;
    QPushButton *m_save;
    QPushButton *m_compare;
    QPushButton *m_apply;
    QLabel *m_tagLabel;
    QLabel *m_descriptionLabel;
    QLineEdit *m_tag;
    QLineEdit *m_description;
    QLabel *m_fileLabel;
    QCheckBox *m_includeCalibration;
    QTableWidget *m_table;
    QLabel *m_status;
};
