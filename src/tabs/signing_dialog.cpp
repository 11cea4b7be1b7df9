#include "tabs/signing_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

using Meaning = record::Signature::Meaning;

namespace {

QString settingsKey(Meaning meaning, const char *what)
{
    return QStringLiteral("records/%1_%2").arg(record::meaningKey(meaning), QLatin1String(what));
}

} // namespace

SigningDialog::SigningDialog(Meaning meaning, const records::CalibrationRow &row, int language, QWidget *parent)
    : QDialog(parent), m_meaning(meaning), m_row(row), m_language(language)
{
    setObjectName(QStringLiteral("dialog_records_sign"));
    setWindowTitle(rv::text(meaning == Meaning::Approved ? rv::Text::SignApproveTitle : rv::Text::SignReviewTitle, language)
                       .arg(row.numbers()));
    QSettings settings;
    m_name = new QLineEdit(settings.value(settingsKey(meaning, "name")).toString());
    m_name->setObjectName(QStringLiteral("lineEdit_sign_name"));
    m_function = new QLineEdit(settings.value(settingsKey(meaning, "function")).toString());
    m_function->setObjectName(QStringLiteral("lineEdit_sign_function"));
    auto *buttons = new QDialogButtonBox;
    m_ok = buttons->addButton(rv::text(rv::Text::SignOk, language), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("pushButton_sign_ok"));
    m_ok->setDefault(true);
    setMinimumWidth(360);
    buttons->addButton(rv::text(rv::Text::SignCancel, language), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("pushButton_sign_cancel"));
    auto *form = new QFormLayout(this);
    auto *what = new QLabel(QStringLiteral("<b>%1</b> %2 %3").arg(windowTitle().toHtmlEscaped(), row.serial().toHtmlEscaped(),
                                                                row.tag().toHtmlEscaped()));
    what->setObjectName(QStringLiteral("label_sign_what"));
    form->addRow(what);
    form->addRow(rv::text(rv::Text::SignName, language), m_name);
    form->addRow(rv::text(rv::Text::Function, language), m_function);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_name, &QLineEdit::textChanged, this, &SigningDialog::check);
    check();
}

QString SigningDialog::name() const { return m_name->text().trimmed(); }
QString SigningDialog::function() const { return m_function->text().trimmed(); }

void SigningDialog::remember() const
{
    QSettings settings;
    settings.setValue(settingsKey(m_meaning, "name"), name());
    settings.setValue(settingsKey(m_meaning, "function"), function());
}

void SigningDialog::check()
{
    records::Context context;
    context.person = name();
    const auto action = m_meaning == Meaning::Approved ? records::Action::Approve : records::Action::Review;
    const auto why = records::refusal(action, &m_row, context);
    m_ok->setEnabled(!why);
    m_ok->setToolTip(why ? why->text(m_language) : QString());
}
