// Dismisses every modal message box as soon as it appears and records what
// the operator was told.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>

class NoticeCatcher : public QObject
{
public:
    struct Notice {
        QString title;
        QString text;
    };

    NoticeCatcher()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { dismiss(); });
        m_timer.start();
    }

    const QList<Notice> &notices() const { return m_notices; }
    int count() const { return m_notices.size(); }
    QStringList texts() const
    {
        QStringList list;
        for (const Notice &n : m_notices)
            list << n.text;
        return list;
    }
    QString lastText() const { return m_notices.isEmpty() ? QString() : m_notices.last().text; }
    QString lastTitle() const { return m_notices.isEmpty() ? QString() : m_notices.last().title; }
    void clear() { m_notices.clear(); }

private:
    void dismiss()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        m_notices.append({box->windowTitle(), box->text()});
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }

    QTimer m_timer;
    QList<Notice> m_notices;
};
