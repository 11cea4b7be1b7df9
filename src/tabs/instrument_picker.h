#pragma once
// One instrument of an unattended run as the operator picks it: its address,
// its model among those of its role, and Identify (*IDN?) to check the two
// before a run. The automatic calibration and the batch views use it alike.

#include <QGroupBox>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSettings;
namespace instruments { class Instrument; enum class Role; }

class InstrumentPicker : public QGroupBox
{
    Q_OBJECT

public:
    explicit InstrumentPicker(instruments::Role role, QWidget *parent = nullptr);

    QLineEdit *address() const { return m_address; }
    QComboBox *model() const { return m_model; }
    QPushButton *identifyButton() const { return m_identify; }
    QString identity() const;

    // `notIdentified` takes the reason as %1.
    void setTexts(const QString &title, const QString &address, const QString &model, const QString &identify,
                  const QString &notIdentified);
    // The instrument at the address, of the model; nullptr with `why`.
    std::unique_ptr<instruments::Instrument> make(QString &why) const;
    void identify();
    // Under `key` and `key`Model; `environment` overrides the address for a session.
    void remember(QSettings &settings, const QString &key) const;
    void recall(const QSettings &settings, const QString &key, const char *environment = nullptr);

private:
    QLineEdit *m_address;
    QComboBox *m_model;
    QPushButton *m_identify;
    QLabel *m_identity;
    QLabel *m_addressLabel, *m_modelLabel;
    QString m_notIdentified;
};
