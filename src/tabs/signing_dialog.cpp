#include "tabs/signing_dialog.h"

#include "records_db/approvals.h"
#include "records_db/record_db.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

using Meaning = record::Signature::Meaning;

namespace {

QString functionKey(Meaning meaning) { return QStringLiteral("records/%1_function").arg(record::meaningKey(meaning)); }

} // namespace

SigningDialog::SigningDialog(Meaning meaning, const records::CalibrationRow &row, recordsdb::RecordDb *db, int language,
                             QWidget *parent)
    : QDialog(parent), m_meaning(meaning), m_row(row), m_db(db), m_language(language)
{
    setObjectName(QStringLiteral("dialog_records_sign"));
    setWindowTitle(rv::text(meaning == Meaning::Approved ? rv::Text::SignApproveTitle : rv::Text::SignReviewTitle, language)
                       .arg(row.numbers()));
    setMinimumWidth(380);
    m_person = new QComboBox;
    m_person->setObjectName(QStringLiteral("comboBox_sign_person"));
    m_function = new QLineEdit(QSettings().value(functionKey(meaning)).toString());
    m_function->setObjectName(QStringLiteral("lineEdit_sign_function"));
    m_passphrase = new QLineEdit;
    m_passphrase->setObjectName(QStringLiteral("lineEdit_sign_passphrase"));
    m_passphrase->setEchoMode(QLineEdit::Password);
    m_passphrase->setPlaceholderText(recordsdb::passphraseText(language));
    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("label_sign_problem"));
    m_problem->setWordWrap(true);
    auto *buttons = new QDialogButtonBox;
    m_ok = buttons->addButton(rv::text(rv::Text::SignOk, language), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("pushButton_sign_ok"));
    m_ok->setDefault(true);
    buttons->addButton(rv::text(rv::Text::SignCancel, language), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("pushButton_sign_cancel"));
    auto *what = new QLabel(QStringLiteral("<b>%1</b> %2 %3").arg(windowTitle().toHtmlEscaped(), row.serial().toHtmlEscaped(),
                                                                row.tag().toHtmlEscaped()));
    auto *form = new QFormLayout(this);
    form->addRow(what);
    form->addRow(rv::text(rv::Text::SignName, language), m_person);
    form->addRow(rv::text(rv::Text::Function, language), m_function);
    form->addRow(rv::text(rv::Text::SignPassphrase, language), m_passphrase);
    form->addRow(m_problem);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SigningDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The first person who may sign is offered; the others stay to be chosen.
    int first = -1;
    if (m_db)
        for (const recordsdb::Person &p : recordsdb::Persons(*m_db).list().value_or(QVector<recordsdb::Person>()))
            if (p.active()) {
                m_persons << p;
                m_person->addItem(p.name);
                if (first < 0 && !refusalFor(p))
                    first = m_persons.size() - 1;
            }
    m_person->setCurrentIndex(qMax(first, 0));
    connect(m_person, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &SigningDialog::check);
    check();
    m_passphrase->setFocus();
}

QString SigningDialog::function() const { return m_function->text().trimmed(); }

// The records' own reason this person may not sign one of the checks so.
std::optional<QString> SigningDialog::refusalFor(const recordsdb::Person &person) const
{
    recordsdb::Approvals approvals(*m_db);
    for (const records::Check *c : m_row.checks()) {
        if (c->signedAs(m_meaning))
            continue;
        if (const auto why = approvals.refusal(c->record.id, m_meaning, person.fingerprint))
            return recordsdb::signingBarText(why->bar, m_language);
    }
    return std::nullopt;
}

void SigningDialog::check()
{
    const int i = m_person->currentIndex();
    const std::optional<QString> why = i < 0 || i >= m_persons.size()
                                           ? std::optional<QString>(rv::text(rv::Text::NoPerson, m_language))
                                           : refusalFor(m_persons[i]);
    m_ok->setEnabled(!why);
    m_ok->setToolTip(why.value_or(QString()));
}

void SigningDialog::accept()
{
    const int i = m_person->currentIndex();
    if (!m_db || i < 0 || i >= m_persons.size() || !m_ok->isEnabled())
        return;
    recordsdb::Persons persons(*m_db);
    m_signer = persons.unlock(m_persons[i].name, m_passphrase->text().toUtf8());
    if (!m_signer) {
        m_problem->setText(rv::notDone(persons.error(), m_language));
        m_passphrase->selectAll();
        return;
    }
    QSettings().setValue(functionKey(m_meaning), function());
    QDialog::accept();
}
