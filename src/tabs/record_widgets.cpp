#include "tabs/record_widgets.h"

#include "records_db/instrument_register.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace recordui {

QLineEdit *lineEdit(const char *name)
{
    auto *edit = new QLineEdit;
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QDoubleSpinBox *numberBox(const char *name, double min, double max, int decimals, double value)
{
    auto *box = new QDoubleSpinBox;
    box->setObjectName(QLatin1String(name));
    box->setRange(min, max);
    box->setDecimals(decimals);
    box->setValue(value);
    return box;
}

QTableWidget *table(const char *name, int columns)
{
    auto *t = new QTableWidget(0, columns);
    t->setObjectName(QLatin1String(name));
    t->verticalHeader()->setVisible(false);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    t->horizontalHeader()->setMinimumSectionSize(20);
    t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setMinimumHeight(100);
    return t;
}

void Texts::add(QWidget *widget, record::Text text)
{
    m_widgets.append({widget, text});
}

void Texts::placeholder(QLineEdit *edit, record::Text text)
{
    m_widgets.append({edit, text});
}

QLabel *Texts::label(record::Text text)
{
    auto *l = new QLabel;
    add(l, text);
    return l;
}

QPushButton *Texts::button(record::Text text, const char *name)
{
    auto *b = new QPushButton;
    b->setObjectName(QLatin1String(name));
    add(b, text);
    return b;
}

void Texts::apply(int language) const
{
    for (const Labelled &l : m_widgets) {
        const QString t = record::text(l.text, language);
        if (auto *labelWidget = qobject_cast<QLabel *>(l.widget))
            labelWidget->setText(t);
        else if (auto *b = qobject_cast<QPushButton *>(l.widget))
            b->setText(t);
        else if (auto *g = qobject_cast<QGroupBox *>(l.widget))
            g->setTitle(t);
        else if (auto *c = qobject_cast<QCheckBox *>(l.widget))
            c->setText(t);
        else if (auto *e = qobject_cast<QLineEdit *>(l.widget))
            e->setPlaceholderText(t);
    }
}

QColor dueColour(recordsdb::DueState state)
{
    using recordsdb::DueState;
    switch (state) {
    case DueState::Overdue: return QColor(0xf4, 0xb4, 0xb4);
    case DueState::DueSoon: return QColor(0xfb, 0xe3, 0xa0);
    case DueState::Never: return QColor(0xd6, 0xe4, 0xf5);
    default: return QColor();
    }
}

} // namespace recordui
