#pragma once
// Signing a calibration's checks as a person: one of the keyring's persons,
// their function and their passphrase. The person first offered is the first
// who may sign these checks so; the Sign button is disabled, with the
// records' reason as its tooltip, while the chosen one may not. A wrong
// passphrase keeps the dialog open with the reason.

#include "records_db/persons.h"
#include "tabs/records_rows.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
namespace recordsdb { class RecordDb; }

class SigningDialog : public QDialog
{
    Q_OBJECT

public:
    SigningDialog(record::Signature::Meaning meaning, const records::CalibrationRow &row, recordsdb::RecordDb *db,
                  int language, QWidget *parent = nullptr);
    QString function() const;
    // The chosen person's key, unlocked by the accepted dialog.
    const std::optional<recordsdb::PersonSigner> &signer() const { return m_signer; }

    void accept() override;

private:
    void check();
    std::optional<QString> refusalFor(const recordsdb::Person &person) const;

    record::Signature::Meaning m_meaning;
    records::CalibrationRow m_row;
    recordsdb::RecordDb *m_db;
    int m_language;
    QVector<recordsdb::Person> m_persons;
    QComboBox *m_person;
    QLineEdit *m_function, *m_passphrase;
    QLabel *m_problem;
    QPushButton *m_ok;
    std::optional<recordsdb::PersonSigner> m_signer;
};
