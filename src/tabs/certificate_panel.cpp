#include "tabs/certificate_panel.h"

#include "record/certificate.h"
#include "record/certificate_pairing.h"
#include "record/record_csv.h"
#include "record/record_store.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
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
    auto *reprint = m_texts.button(Text::Reprint, "pushButton_record_reprint");
    auto *approve = m_texts.button(Text::Approve, "pushButton_record_approve");
    auto *details = m_texts.button(Text::CertificateDetails, "pushButton_record_certificate_details");
    auto *instruments = m_texts.button(Text::Instruments, "pushButton_record_instruments");
    auto *verify = m_texts.button(Text::VerifyChain, "pushButton_record_verify");
    auto *import = m_texts.button(Text::ImportJson, "pushButton_record_import");
    auto *drafts = m_texts.button(Text::StoreDrafts, "pushButton_record_store_drafts");
    const QList<QList<QWidget *>> rows = {{issue, reprint, approve, details},
                                          {csv, m_bom, instruments, verify}, {import, drafts}};
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            grid->addWidget(rows[r][c], r, c);
    connect(csv, &QPushButton::clicked, this, &CertificatePanel::exportCsv);
    connect(issue, &QPushButton::clicked, this, &CertificatePanel::issue);
    connect(reprint, &QPushButton::clicked, this, &CertificatePanel::reprint);
    connect(approve, &QPushButton::clicked, this, &CertificatePanel::approve);
    connect(details, &QPushButton::clicked, this, &CertificatePanel::editDetails);
    connect(instruments, &QPushButton::clicked, this, [this] { m_hooks.openInstruments(); });
    connect(verify, &QPushButton::clicked, this, &CertificatePanel::verifyChain);
    connect(import, &QPushButton::clicked, this, &CertificatePanel::importJson);
    connect(drafts, &QPushButton::clicked, this, [this] { m_hooks.storeDrafts(); });
}

void CertificatePanel::applyTexts(int language)
{
    m_language = language;
    m_texts.apply(language);
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

void CertificatePanel::editDetails()
{
    QSettings settings;
    Issuer issuer = readIssuer(settings);
    QDialog dialog(this);
    dialog.setWindowTitle(text(Text::CertificateDetails, m_language));
    auto *form = new QFormLayout(&dialog);
    QLineEdit *edits[3];
    const Text labels[3] = {Text::LaboratoryAddress, Text::CustomerName, Text::CustomerAddress};
    QString *fields[3] = {&issuer.laboratoryAddress, &issuer.customer, &issuer.customerAddress};
    for (int i = 0; i < 3; ++i) {
        edits[i] = new QLineEdit(*fields[i]);
        edits[i]->setMinimumWidth(360);
        form->addRow(text(labels[i], m_language), edits[i]);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return;
    for (int i = 0; i < 3; ++i)
        *fields[i] = edits[i]->text();
    writeIssuer(settings, issuer);
}

void CertificatePanel::verifyChain()
{
    auto *db = m_hooks.database();
    if (!db)
        return;
    const recordsdb::ChainReport report = db->verify();
    QStringList named;
    for (const recordsdb::ChainFault &f : report.faults)
        named << QStringLiteral("#%1 %2 (%3)").arg(f.number).arg(f.serial, f.what);
    m_hooks.status(report.intact() ? text(Text::ChainIntact, m_language).arg(report.records)
                                   : text(Text::ChainBroken, m_language).arg(named.join(QStringLiteral("; "))));
}

void CertificatePanel::importJson()
{
    auto *db = m_hooks.database();
    if (!db)
        return;
    const recordsdb::ImportReport report = db->importFolder(m_hooks.folder());
    m_hooks.status(text(Text::ImportedCount, m_language).arg(report.imported).arg(report.already));
    m_hooks.changed();
}

// The checks shown, as stored; refused unless they may go on one certificate.
void CertificatePanel::issue()
{
    const auto &found = m_hooks.asFound(), &left = m_hooks.asLeft();
    auto *db = m_hooks.database();
    if (!db)
        return;
    std::optional<recordsdb::StoredRecord> storedFound, storedLeft;
    const auto lookUp = [&](const std::optional<Record> &shown, std::optional<recordsdb::StoredRecord> &stored) {
        if (!shown)
            return true;
        stored = db->find(shown->id);
        if (!stored)
            m_hooks.status(text(Text::PairingMissing, m_language).arg(shown->id));
        return stored.has_value();
    };
    if (!lookUp(found, storedFound) || !lookUp(left, storedLeft))
        return;
    const QString refused = pairingRefusal({storedFound ? &storedFound->record : nullptr,
                                            storedLeft ? &storedLeft->record : nullptr,
                                            storedFound ? storedFound->supersededBy : 0,
                                            storedLeft ? storedLeft->supersededBy : 0}, m_language);
    if (!refused.isEmpty()) {
        m_hooks.status(refused);
        return;
    }
    const auto number = db->issueCertificate(found ? found->id : 0, left ? left->id : 0);
    if (!number) {
        m_hooks.status(text(Text::SaveFailed, m_language).arg(db->error()));
        return;
    }
    QSettings settings;
    CertificateContent content;
    content.asFound = storedFound ? std::optional(storedFound->record) : std::nullopt;
    content.asLeft = storedLeft ? std::optional(storedLeft->record) : std::nullopt;
    content.language = m_language;
    content.number = *number;
    content.issued = QDateTime::currentDateTimeUtc();
    content.issuer = readIssuer(settings);
    const QString path = basePath(left ? *left : *found)
                         + QStringLiteral("_certificate-%1.pdf").arg(*number, 6, 10, QLatin1Char('0'));
    QDir().mkpath(m_hooks.folder());
    const bool ok = writeCertificate(path, content);
    m_hooks.status(text(ok ? Text::Exported : Text::SaveFailed, m_language).arg(path));
}

void CertificatePanel::reprint()
{
}

void CertificatePanel::approve()
{
}
