#include "window/remembered_settings.h"

#include "link/port_list.h"
#include "tabs/calibration_record_tab.h"
#include "window/port_combo.h"
#include "window/settings_record.h"
#include "window/widget.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QSettings>

namespace prefs {

namespace {

// The serial and language controls of the form, found by name as the language
// table finds them.
struct Controls {
    QComboBox *port, *baud, *parity, *dataBits, *stopBits, *language;
    QLineEdit *address;

    explicit Controls(Widget *w)
        : port(w->findChild<QComboBox *>(QStringLiteral("comboBox_com_num"))),
          baud(w->findChild<QComboBox *>(QStringLiteral("comboBox_baudrate"))),
          parity(w->findChild<QComboBox *>(QStringLiteral("comboBox_checkbit"))),
          dataBits(w->findChild<QComboBox *>(QStringLiteral("comboBox_databit"))),
          stopBits(w->findChild<QComboBox *>(QStringLiteral("comboBox_stopbit"))),
          language(w->findChild<QComboBox *>(QStringLiteral("comboBox_sel_language"))),
          address(w->findChild<QLineEdit *>(QStringLiteral("lineEdit_dev_addr")))
    {
    }
    bool complete() const
    {
        return port && baud && parity && dataBits && stopBits && language && address;
    }
};

QStringList items(const QComboBox *combo)
{
    QStringList list;
    for (int i = 0; i < combo->count(); ++i)
        list << combo->itemText(i);
    return list;
}

void choose(QComboBox *combo, const QString &saved)
{
    combo->setCurrentIndex(combo->findText(pickChoice(saved, items(combo), combo->currentText())));
}

// Ports are remembered by location; older settings hold the entry's text.
QStringList locations(const QComboBox *combo)
{
    QStringList list;
    for (int i = 0; i < combo->count(); ++i) {
        const QVariant data = combo->itemData(i);
        list << (data.isValid() ? data.toString() : combo->itemText(i));
    }
    return list;
}

QString savedLocation(const QComboBox *combo, const QString &saved)
{
    const int byText = combo->findText(saved);
    return combo->findData(saved) < 0 && byText >= 0 ? locations(combo).at(byText) : saved;
}

void restore(Widget *window, const Controls &c, const WindowSettings &v)
{
    const QStringList listed = locations(c.port);
    const QString port = pickPort(savedLocation(c.port, v.port), ports::preferredPort(), listed);
    if (!port.isEmpty())
        c.port->setCurrentIndex(listed.indexOf(port));
    choose(c.baud, v.baud);
    choose(c.parity, v.parity);
    choose(c.dataBits, v.dataBits);
    choose(c.stopBits, v.stopBits);
    if (validAddress(v.address))
        c.address->setText(v.address.trimmed());
    if (v.language >= 0 && v.language < c.language->count())
        c.language->setCurrentIndex(v.language);
    if (v.size.isValid())
        window->resize(v.size.expandedTo(window->minimumSize()));
}

WindowSettings current(Widget *window, const Controls &c)
{
    WindowSettings v;
    v.port = ports::chosenLocation(c.port);
    v.baud = c.baud->currentText();
    v.parity = c.parity->currentText();
    v.dataBits = c.dataBits->currentText();
    v.stopBits = c.stopBits->currentText();
    v.address = c.address->text();
    v.language = c.language->currentIndex();
    v.size = window->size();
    return v;
}

class Keeper : public QObject
{
public:
    explicit Keeper(Widget *window) : QObject(window), m_window(window), m_controls(window)
    {
        window->installEventFilter(this);
        connect(window, &Widget::linkOpened, this, &Keeper::store);
    }
    bool complete() const { return m_controls.complete(); }
    void store()
    {
        QSettings settings;
        save(settings, current(m_window, m_controls));
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Close)
            store();
        return false;
    }

private:
    Widget *m_window;
    Controls m_controls;
};

} // namespace

void remember(Widget *window)
{
    auto *keeper = new Keeper(window);
    if (!keeper->complete()) {
        delete keeper;
        return;
    }
    restore(window, Controls(window), load(QSettings()));
    if (auto *records = window->findChild<CalibrationRecordTab *>())
        records->rememberHeader();
}

void forget()
{
    QSettings settings;
    settings.clear();
    settings.sync();
}

} // namespace prefs
