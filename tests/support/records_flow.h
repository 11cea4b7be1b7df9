// Driving the Records tab by its object names, as an operator would: the
// dialogs its buttons open answered, and the user's actions counted.
#pragma once

#include "tabs/records_model.h"
#include "tabs/records_view.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <functional>

namespace recordsflow {

// Runs `act` on the next modal dialog, once the click that opens it is made:
// asked again until the dialog is up, which a loaded machine may delay past
// the first turn of its event loop (for at most 30 s).
inline void onDialog(std::function<void(QDialog &)> act, int triesLeft = 3000)
{
    QTimer::singleShot(triesLeft == 3000 ? 0 : 10, [act, triesLeft] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            act(*dialog);
        else if (triesLeft > 0)
            onDialog(act, triesLeft - 1);
    });
}

// In the signing dialog: `name` chosen when it is not the person offered
// (one more action, counted in `choices`), the passphrase typed and Enter
// pressed: the signer's one action. `okTip` gets the Sign button's tooltip
// for that person; a dialog still open after Enter is cancelled. A `function`
// given replaces the one the dialog remembers.
inline void signAs(const QString &name, const QString &passphrase, QString *okTip = nullptr, int *choices = nullptr,
                   const QString &function = {})
{
    onDialog([=](QDialog &d) {
        if (!function.isEmpty())
            d.findChild<QLineEdit *>("lineEdit_sign_function")->setText(function);
        auto *person = d.findChild<QComboBox *>("comboBox_sign_person");
        if (person->currentText() != name) {
            person->setCurrentIndex(person->findText(name));
            if (choices)
                ++*choices;
        }
        if (okTip)
            *okTip = d.findChild<QPushButton *>("pushButton_sign_ok")->toolTip();
        auto *edit = d.findChild<QLineEdit *>("lineEdit_sign_passphrase");
        QTest::keyClicks(edit, passphrase);
        QTest::keyClick(edit, Qt::Key_Return);
        if (d.isVisible())
            d.reject();
    });
}

// From the newest row to its certificate opened: select, review as `reviewer`,
// approve as `approver` (each with `passphrase`), issue (the details dialog's OK), open. The number of
// user actions, or -1 with `why` at the first step that did not do its part.
inline int toOpenedCertificate(RecordsView &view, const QString &reviewer, const QString &approver,
                               const QString &passphrase, QString &why)
{
    auto *table = view.findChild<QTableView *>("tableView_records");
    int actions = 0;
    const auto click = [&](const char *name) {
        auto *button = view.findChild<QPushButton *>(name);
        ++actions;
        if (!button->isEnabled())
            return why = QStringLiteral("%1 disabled: %2 (after: %3)").arg(name, button->toolTip(), view.statusText()), false;
        QTest::mouseClick(button, Qt::LeftButton);
        return true;
    };
    ++actions;
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(0, 0)).center());
    signAs(reviewer, passphrase, nullptr, &actions);
    if (!click("pushButton_records_review"))
        return -1;
    ++actions;
    signAs(approver, passphrase, nullptr, &actions);
    if (!click("pushButton_records_approve"))
        return -1;
    ++actions;
    onDialog([](QDialog &d) { d.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click(); });
    if (!click("pushButton_records_issue"))
        return -1;
    ++actions;
    if (!click("pushButton_records_open"))
        return -1;
    why = view.statusText();
    return actions;
}

} // namespace recordsflow
