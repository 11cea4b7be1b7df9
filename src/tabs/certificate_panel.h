#pragma once
// Certificates and the records database on the record tab: CSV export, the
// certificate issued for the two checks shown, the laboratory's and customer's
// details, the chain's verification, the JSON import and the instrument
// register. Review, approval, reprints and replacements are the records view's:
// the checks shown are one press away there.

#include "record/calibration_record.h"
#include "record/certificate.h"
#include "records_db/certificate_store.h"
#include "records_db/record_db.h"
#include "tabs/record_widgets.h"

#include <QGroupBox>
#include <functional>
#include <optional>

class QCheckBox;
class QLineEdit;
class QPushButton;

class CertificatePanel : public QGroupBox
{
    Q_OBJECT

public:
    struct Hooks {
        std::function<recordsdb::RecordDb *()> database;   // nullptr: cannot be opened (the operator told)
        std::function<const std::optional<record::Record> &()> asFound;
        std::function<const std::optional<record::Record> &()> asLeft;
        std::function<QString()> folder;
        std::function<void(const QString &)> status;
        std::function<void()> changed;                      // the stored records changed
        std::function<void()> openInstruments;
        std::function<void()> storeDrafts;
        std::function<QString()> reference;                 // the header's reference instrument
        std::function<void(const QString &serial, const QDateTime &started)> showInRecords;
    };

    explicit CertificatePanel(Hooks hooks, QWidget *parent = nullptr);
    void applyTexts(int language);
    // The key of the person named beside the passphrase, unlocked for one
    // signature; nullopt with `why` (told on the status line too).
    std::optional<recordsdb::PersonSigner> unlockSigner(recordsdb::RecordDb &db, QString &why);

private:
    void fillDemoSigner();
    void exportCsv();
    void issue();
    void showInRecords();
    void showByReference();
    void editDetails();
    void verifyChain();
    void importJson();
    QString basePath(const record::Record &r) const;
    bool writePdf(const QString &path, const QByteArray &pdf);
    recordsdb::IssueRequest request() const;   // the checks shown and the settings

    Hooks m_hooks;
    recordui::Texts m_texts;
    int m_language = 0;
    QCheckBox *m_bom;
    QLineEdit *m_signer, *m_passphrase;
    QPushButton *m_showInRecords;
    record::Receipt m_receipt;   // the next certificate's place, receipt, condition and customer's data
};
