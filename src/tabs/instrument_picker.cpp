#include "tabs/instrument_picker.h"

#include "instruments/instrument.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

InstrumentPicker::InstrumentPicker(instruments::Role role, QWidget *parent) : QGroupBox(parent)
{
    m_address = new QLineEdit;
    m_address->setPlaceholderText(QStringLiteral("tcp:192.168.1.20  /dev/ttyUSB1:9600  usbtmc:/dev/usbtmc0"));
    m_model = new QComboBox;
    QStringList problems;
    for (const instruments::Model &m : instruments::availableModels(&problems))
        if (m.role == role)
            m_model->addItem(m.name, m.file);
    m_identify = new QPushButton;
    m_identity = new QLabel;
    m_identity->setWordWrap(true);
    m_identity->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_addressLabel = new QLabel;
    m_modelLabel = new QLabel;
    auto *form = new QFormLayout(this);
    form->addRow(m_addressLabel, m_address);
    form->addRow(m_modelLabel, m_model);
    form->addRow(m_identify, m_identity);
    connect(m_identify, &QPushButton::clicked, this, &InstrumentPicker::identify);
}

QString InstrumentPicker::identity() const
{
    return m_identity->text();
}

void InstrumentPicker::setTexts(const QString &title, const QString &address, const QString &model,
                                const QString &identify, const QString &notIdentified)
{
    setTitle(title);
    m_addressLabel->setText(address);
    m_modelLabel->setText(model);
    m_identify->setText(identify);
    m_notIdentified = notIdentified;
}

std::unique_ptr<instruments::Instrument> InstrumentPicker::make(QString &why) const
{
    const auto address = instruments::parseAddress(m_address->text().trimmed(), &why);
    if (!address)
        return nullptr;
    const auto model = instruments::findModel(m_model->currentData().toString(), &why);
    if (!model)
        return nullptr;
    return std::make_unique<instruments::Instrument>(*model, *address);
}

void InstrumentPicker::identify()
{
    QString why;
    auto instrument = make(why);
    std::optional<QString> identity;
    if (instrument && instrument->open())
        identity = instrument->identify();
    if (instrument && !identity)
        why = instrument->lastError();
    m_identity->setText(identity ? *identity : m_notIdentified.arg(why));
}

void InstrumentPicker::remember(QSettings &settings, const QString &key) const
{
    settings.setValue(key, m_address->text());
    settings.setValue(key + QStringLiteral("Model"), m_model->currentText());
}

void InstrumentPicker::recall(const QSettings &settings, const QString &key, const char *environment)
{
    const QString remembered = settings.value(key).toString();
    m_address->setText(environment ? qEnvironmentVariable(environment, remembered) : remembered);
    if (const int i = m_model->findText(settings.value(key + QStringLiteral("Model")).toString()); i >= 0)
        m_model->setCurrentIndex(i);
}
