#include "tabs/certificate_panel.h"
#include "widgets/modal_guard.h"

#include "core/whole_file.h"
#include "record/certificate.h"
#include "record/record_csv.h"
#include "record/record_store.h"
#include "records_db/approvals.h"
#include "records_db/persons.h"
#include "records_db/signing_texts.h"
#include "tabs/certificate_details_dialog.h"
#include "tabs/reference_dialog.h"
#include "texts/lab_texts.h"
#include "texts/records_view_texts.h"
#include "texts/engine_texts.h"

#include <QFile>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>

using namespace record;

CertificatePanel::CertificatePanel(Hooks hooks, QWidget *parent) : QGroupBox(parent), m_hooks(std::move(hooks))
{
    m_texts.add(this, Text::Certificates);
    auto *grid = new QGridLayout(this);
    auto *csv = m_texts.button(Text::ExportCsv, "pushButton_record_csv");
    m_bom = new QCheckBox;
    m_bom->setObjectName(QStringLiteral("checkBox_record_bom"));
    m_texts.add(m_bom, Text::CsvBom);
    auto *issue = m_texts.button(Text::IssueCertificate, "pushButton_record_pdf");
    // Reviews, approvals, reprints and replacements act on a calibration chosen in the records view.
    m_showInRecords = new QPushButton;
    m_showInRecords->setObjectName(QStringLiteral("pushButton_record_show_in_records"));
    auto *details = m_texts.button(Text::CertificateDetails, "pushButton_record_certificate_details");
    auto *instruments = m_texts.button(Text::Instruments, "pushButton_record_instruments");
    auto *verify = m_texts.button(Text::VerifyChain, "pushButton_record_verify");
    auto *import = m_texts.button(Text::ImportJson, "pushButton_record_import");
    auto *drafts = m_texts.button(Text::StoreDrafts, "pushButton_record_store_drafts");
    auto *byReference = m_texts.button(Text::ByReference, "pushButton_record_by_reference");
    m_signer = recordui::lineEdit("lineEdit_record_signer");
    m_passphrase = recordui::lineEdit("lineEdit_record_signer_passphrase");
    m_passphrase->setEchoMode(QLineEdit::Password);
    fillDemoSigner();
    m_texts.placeholder(m_signer, Text::SignerName);
    const QList<QList<QWidget *>> rows = {{issue, details, m_showInRecords}, {m_signer, m_passphrase},
                                          {csv, m_bom, instruments, verify}, {import, drafts, byReference}};
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            grid->addWidget(rows[r][c], r, c);
    connect(m_showInRecords, &QPushButton::clicked, this, &CertificatePanel::showInRecords);
    connect(byReference, &QPushButton::clicked, this, &CertificatePanel::showByReference);
    connect(csv, &QPushButton::clicked, this, &CertificatePanel::exportCsv);
    connect(issue, &QPushButton::clicked, this, &CertificatePanel::issue);
    connect(details, &QPushButton::clicked, this, &CertificatePanel::editDetails);
    modal_guard::holdDuringRuns(instruments);
    connect(instruments, &QPushButton::clicked, this, [this] {
        if (modal_guard::mayOpen())
            m_hooks.openInstruments();
    });
    connect(verify, &QPushButton::clicked, this, &CertificatePanel::verifyChain);
    connect(import, &QPushButton::clicked, this, &CertificatePanel::importJson);
    connect(drafts, &QPushButton::clicked, this, [this] { m_hooks.storeDrafts(); });
}

void CertificatePanel::applyTexts(int language)
{
    m_language = language;
    m_texts.apply(language);
    m_passphrase->setPlaceholderText(recordsdb::passphraseText(language));
    m_showInRecords->setText(labtext::text(labtext::Text::OpenInRecords, language));
}

std::optional<recordsdb::PersonSigner> CertificatePanel::unlockSigner(recordsdb::RecordDb &db, QString &why)
{
    recordsdb::Persons persons(db);
    auto signer = persons.unlock(m_signer->text(), m_passphrase->text().toUtf8());
    // A passphrase opens one signing: the next one is typed again (the demo's comes back).
    m_passphrase->clear();
    fillDemoSigner();
    if (!signer)
        m_hooks.status(enginetext::render(why = persons.error(), m_language));
    return signer;
}

// "<serial>_<time>Z" of the check, in the records folder.
QString CertificatePanel::basePath(const Record &r) const
{
    QString name = fileName(r);
    name.remove(QRegularExpression(QStringLiteral("_as-(found|left)\\.json$")));
    return QDir(m_hooks.folder()).filePath(name);
}

void CertificatePanel::exportCsv()
{
    const auto &found = m_hooks.asFound(), &left = m_hooks.asLeft();
    if (!found && !left)
        return;
    QVector<Record> checks;
    for (const auto &r : {found, left})
        if (r)
            checks << *r;
    const QString path = basePath(left ? *left : *found) + QStringLiteral("_record.csv");
    QDir().mkpath(m_hooks.folder());
    const bool ok = writeCsv(path, checks, m_bom->isChecked());
    m_hooks.status(text(ok ? Text::Exported : Text::SaveFailed, m_language).arg(path));
}

// The laboratory and customer are kept in the settings; the receipt's
// elements are the next certificate's, until one is issued.
void CertificatePanel::editDetails()
{
    if (!modal_guard::mayOpen())
        return;
    QSettings settings;
    CertificateDetailsDialog dialog(readIssuer(settings), m_receipt, m_language, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    writeIssuer(settings, dialog.issuer());
    m_receipt = dialog.receipt();
}

void CertificatePanel::verifyChain()
{
    auto *db = m_hooks.database();
    if (!db)
        return;
    const recordsdb::ChainReport report = db->verify();
    QStringList named;
    for (const recordsdb::ChainFault &f : report.faults)
        named << QStringLiteral("#%1 %2 (%3)").arg(f.number).arg(f.serial, enginetext::render(f.what, m_language));
    m_hooks.status(report.intact() ? text(Text::ChainIntact, m_language).arg(report.records)
                                   : text(Text::ChainBroken, m_language).arg(named.join(QStringLiteral("; "))));
}

void CertificatePanel::importJson()
{
    auto *db = m_hooks.database();
    if (!db)
        return;
    QString why;
    const auto importer = unlockSigner(*db, why);
    if (!importer)
        return;
    const recordsdb::ImportReport report = db->importFolder(m_hooks.folder(), *importer);
    // A database that took nothing is said so, never "0 imported".
    m_hooks.status(report.refused.isEmpty() ? text(Text::ImportedCount, m_language).arg(report.imported).arg(report.already)
                                            : text(Text::DatabaseFailed, m_language).arg(enginetext::render(report.refused, m_language)));
    m_hooks.changed();
}

recordsdb::IssueRequest CertificatePanel::request() const
{
    const auto &found = m_hooks.asFound(), &left = m_hooks.asLeft();
    QSettings settings;
    return {found ? found->id : 0, left ? left->id : 0, 0, readIssuer(settings), m_language, m_receipt};
}

bool CertificatePanel::writePdf(const QString &path, const QByteArray &pdf)
{
    QString why;
    const bool ok = !pdf.isEmpty() && files::writeWhole(files::FileKind::Certificate, path, pdf, why);
    if (!ok)
        m_hooks.status(text(Text::SaveFailed, m_language).arg(path));
    return ok;
}

// The checks shown, as stored: issued when approved (a number in the same
// append that stores it), otherwise only a draft. A replacement is the records
// view's, where the certificate it replaces is chosen.
void CertificatePanel::issue()
{
    const auto &found = m_hooks.asFound(), &left = m_hooks.asLeft();
    auto *db = (found || left) ? m_hooks.database() : nullptr;
    if (!db)
        return;
    // A check shown but kept only as a draft is never left off the certificate quietly.
    if ((found && found->id == 0) || (left && left->id == 0)) {
        m_hooks.status(text(Text::PairingMissing, m_language).arg(QStringLiteral("—")) + QStringLiteral(" (")
                       + text(Text::StoreDrafts, m_language) + QLatin1Char(')'));
        return;
    }
    recordsdb::CertificateStore store(*db);
    const recordsdb::IssueRequest wanted = request();
    const auto content = store.prepare(wanted);
    if (!content) {
        m_hooks.status(enginetext::render(store.error(), m_language));
        return;
    }
    const QString base = basePath(left ? *left : *found);
    if (!approved(*content)) {
        const QString path = base + QStringLiteral("_certificate-draft.pdf");
        if (writePdf(path, certificatePdf(*content)))
            m_hooks.status(text(Text::DraftWritten, m_language).arg(path));
        return;
    }
    const auto issued = store.issue(wanted);
    if (!issued) {
        m_hooks.status(enginetext::render(store.error(), m_language));
        return;
    }
    const QString path = base + QStringLiteral("_certificate-%1.pdf").arg(issued->content.number, 6, 10, QLatin1Char('0'));
    m_receipt = {m_receipt.place, {}, {}, {}, {}};   // the place stays; the next item is received anew
    if (writePdf(path, issued->pdf))
        m_hooks.status(text(Text::Issued2, m_language).arg(issued->content.number).arg(path));
    m_hooks.changed();
}

// The check shown, selected in the records view (its newest stage first).
void CertificatePanel::showInRecords()
{
    const auto &found = m_hooks.asFound(), &left = m_hooks.asLeft();
    const auto &shown = left ? left : found;
    if (!shown) {
        m_hooks.status(rv::text(rv::Text::NoSelection, m_language));
        return;
    }
    m_hooks.showInRecords(shown->header.serial, shown->started);
}

void CertificatePanel::showByReference()
{
    auto *db = m_hooks.database();
    if (!db)
        return;
    auto *dialog = new ReferenceDialog(*db, m_hooks.reference(), m_language, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

// The demo's operator (run.sh enrols one and keeps its passphrase in a file only
// its owner reads), so that a first automatic run stores its checks signed.
void CertificatePanel::fillDemoSigner()
{
    const QString name = qEnvironmentVariable("TCAL_DEMO_SIGNER");
    QFile file(qEnvironmentVariable("TCAL_DEMO_PASSPHRASE_FILE"));
    if (name.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    if (m_signer->text().isEmpty())
        m_signer->setText(name);
    if (m_signer->text() == name)   // the demo person's only, never another's typed name
        m_passphrase->setText(QString::fromUtf8(file.readLine(1024)).trimmed());
}
