#include "window/notices.h"
#include "widgets/modal_guard.h"

#include "core/operator_input.h"
#include "link/open_failure.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"
#include "widgets/hled.h"
#include "window/widget.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QQueue>
#include <QTimer>

namespace notices {

namespace {

struct Posted {
    QString title;
    QString text;
};

QQueue<Posted> &posted()
{
    static QQueue<Posted> queue;
    return queue;
}

void show(const QString &title, const QString &text)
{
    if (modal_guard::mayOpen()) {
        QMessageBox::information(nullptr, title, text, QMessageBox::Ok);
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void showPosted()
{
    while (!posted().isEmpty()) {
        const Posted next = posted().dequeue();
        show(next.title, next.text);
    }
}

} // namespace

void showBox(const QString &title, const QString &text)
{
    showPosted();
    show(title, text);
}

bool runActive()
{
    return !modal_guard::mayOpen();
}

void closeAll()
{
    posted().clear();
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            box->close();
}

void post(const QString &title, const QString &text)
{
    posted().enqueue({title, text});
    QTimer::singleShot(0, QCoreApplication::instance(), &showPosted);
}

} // namespace notices

int Widget::languageIndex() const
{
    return ui->comboBox_sel_language->currentIndex();
}

void Widget::notify(notices::Notice notice)
{
    if (link->isShuttingDown())
        return;
    // A step that failed because the link closed under it: the device did not fail.
    if ((notice == notices::Notice::ReadFailure || notice == notices::Notice::WriteFailure)
        && link->operationLinkLost())
        notice = notices::Notice::LinkClosedDuringOperation;
    if (const auto text = notices::noticeText(notice, languageIndex()))
        notices::showBox(text->title, text->text);
}

void Widget::notifyOpenFailure(const QString &port)
{
    if (ports::classifyOpenError(ports::openError(port)) != ports::OpenFailure::Permission) {
        notify(notices::Notice::SerialConnectFailed);
        return;
    }
    const QString group = ports::groupToJoin(ports::owningGroup(port));
    if (link->isShuttingDown())
        return;
    if (const auto text = notices::permissionNotice(port, group, languageIndex()))
        notices::showBox(text->title, text->text);
}

void Widget::notifyInvalidNumber(notices::Field field, qint64 min, qint64 max, int scale)
{
    if (link->isShuttingDown())
        return;
    const auto text = notices::invalidNumberNotice(field, input::limitText(min, scale),
                                                   input::limitText(max, scale), languageIndex());
    if (text)
        notices::showBox(text->title, text->text);
}

// The link-status line reads the same in every language.
void Widget::showLinkOk()
{
    // A read-back verdict stays readable through good polls until the next
    // operation, or half a minute.
    // The link is good either way, and the tabs are told so.
    constexpr qint64 kVerdictHoldMs = 30000;
    if (!verdict_shown.isValid() || verdict_shown.elapsed() >= kVerdictHoldMs)
        ui->label_link_sta->setText(QStringLiteral("link status: 【OK】"));
    led_rt->turnOn(true);
    emit linkStatusShown(true, ui->label_link_sta->text());
}

void Widget::showLinkFailure(const QString &error)
{
    // A failure replaces a held verdict for good: the next good poll says OK.
    verdict_shown.invalidate();
    ui->label_link_sta->setText(QStringLiteral("link status: 【") + error + QStringLiteral("】"));
    led_rt->turnOff(true);
    emit linkStatusShown(false, ui->label_link_sta->text());
}
