#include "tabs/calibration_record_tab.h"
#include "widgets/modal_guard.h"

#include "core/config_file.h"
#include "core/configuration.h"
#include "core/registers.h"
#include "link/link.h"
#include "record/record_texts.h"
#include "records_db/approvals.h"
#include "records_db/draft_store.h"
#include "tabs/certificate_panel.h"
#include "tabs/check_runner.h"
#include "tabs/instrument_list.h"
#include "tabs/record_header_form.h"
#include "tabs/record_history.h"
#include "texts/records_view_texts.h"
#include "texts/engine_texts.h"

#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace record;

CalibrationRecordTab::CalibrationRecordTab(rtu::Link &link, QWidget *parent)
    : QWidget(parent), m_link(link)
{
    setObjectName(QStringLiteral("calibrationRecordTab"));
    m_header = new RecordHeaderForm;
    m_checks = new CheckRunner({[this](Stage s) { return startCheck(s); },
                                [this] { return m_header->stabilitySettings(); },
                                [this] { return m_header->header(0).unit; },
                                [this](Record &r) { return amendFinished(r); },
                                [this](Record &r) { saveRecord(r); },
                                [this](const QString &t) { showStatus(t); }});
    m_certificates = new CertificatePanel({[this] { return database(); },
                                           [this]() -> const std::optional<Record> & { return m_checks->asFound(); },
                                           [this]() -> const std::optional<Record> & { return m_checks->asLeft(); },
                                           [this] { return m_header->recordsFolder(); },
                                           [this](const QString &t) { showStatus(t); },
                                           [this] { refreshHistory(); },
                                           [this] { openInstruments(); },
                                           [this] { storeDrafts(); },
                                           [this] { return m_header->header(0).reference; },
                                           [this](const QString &serial, const QDateTime &started) {
                                               emit openInRecords(serial, started);
                                           }});
    m_history = new RecordHistory;
    auto *records = new QWidget;
    auto *recordsColumn = new QVBoxLayout(records);
    recordsColumn->addWidget(m_certificates);
    recordsColumn->addWidget(m_history, 1);

    m_pages = new QTabWidget;
    m_pages->setObjectName(QStringLiteral("tabWidget_record_pages"));
    m_pages->setDocumentMode(true);
    // The header and the records page are taller than the tab at the window's
    // default size: they scroll, but only downwards.
    for (QWidget *page : {static_cast<QWidget *>(m_header), static_cast<QWidget *>(m_checks), records}) {
        if (page == m_checks) {
            m_pages->addTab(page, QString());
            continue;
        }
        auto *scroll = new QScrollArea;
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidget(page);
        m_pages->addTab(scroll, QString());
    }
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("label_record_status"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->addWidget(m_pages, 1);
    outer->addWidget(m_status);

    connect(m_header, &RecordHeaderForm::readRangeRequested, this, &CalibrationRecordTab::readRange);
    connect(m_header, &RecordHeaderForm::serialOrFolderChanged, this, &CalibrationRecordTab::refreshHistory);
    setLanguage(0);
}

CalibrationRecordTab::~CalibrationRecordTab() = default;

const std::optional<Record> &CalibrationRecordTab::asFound() const { return m_checks->asFound(); }
const std::optional<Record> &CalibrationRecordTab::asLeft() const { return m_checks->asLeft(); }
bool CalibrationRecordTab::checkRunning() const { return m_checks->running(); }

void CalibrationRecordTab::setLanguage(int language)
{
    if (language < 0 || language > 2)
        return;
    m_language = language;
    setWindowTitle(title());
    m_header->applyTexts(language);
    m_checks->applyTexts(language);
    m_certificates->applyTexts(language);
    m_history->applyTexts(language);
    m_pages->setTabText(0, text(Text::HeaderGroup, language));
    m_pages->setTabText(1, text(Text::ChecksGroup, language));
    m_pages->setTabText(2, text(Text::Certificates, language) + QStringLiteral(" · ") + text(Text::History, language));
    refreshHistory();
}

void CalibrationRecordTab::onLiveValues(const reg::LiveValues &values)
{
    m_checks->onLiveValues(values);
}

void CalibrationRecordTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_checks->showReading();
}

// A new check from the header, refused with the reason when the header is not complete.
std::optional<Record> CalibrationRecordTab::startCheck(Stage stage)
{
    QString refused;
    const auto points = m_header->typedPoints(&refused);
    const Header h = m_header->header(m_link.isOpen() ? m_link.address() : 0);
    if (!refused.isEmpty()) {
        showStatus(text(Text::BadPoints, m_language).arg(refused));
        return std::nullopt;
    }
    if (!points || !h.range.valid()) {
        showStatus(text(Text::TestPoints, m_language) + QStringLiteral(" ?"));
        return std::nullopt;
    }
    if (!m_header->badUncertainty().isEmpty()) {
        showStatus(text(Text::BadNumber, m_language).arg(m_header->badUncertainty()));
        return std::nullopt;
    }
    switch (referenceState(h, QDate::currentDate())) {
    case ReferenceState::Missing:
        showStatus(text(Text::DueMissing, m_language));
        return std::nullopt;
    case ReferenceState::Expired:
        if (h.referenceOverride.isEmpty()) {
            showStatus(text(Text::DueExpired, m_language).arg(h.referenceDue.toString(Qt::ISODate)));
            return std::nullopt;
        }
        break;
    case ReferenceState::Valid:
        break;
    }
    m_header->saveRemembered();
    Record r = newRecord(h, stage, *points, QDateTime::currentDateTimeUtc());
    // The configuration the check was made with, when the transmitter can be read.
    if (const auto words = readHolding()) {
        if (const auto configuration = config::fromHolding(*words)) {
            r.configuration = QJsonDocument::fromJson(config::toJson(*configuration)).object();
            const config::FieldDef &input = config::fields().front();   // the input type comes first
            r.header.inputType = config::valueText(input, config::fieldWords(*configuration, input));
        }
    }
    return r;
}

// A finished check stays as it was stored: a change to it becomes an
// amendment (a new version naming the one it supersedes), and only with a reason.
bool CalibrationRecordTab::amendFinished(Record &r)
{
    const QString reason = r.id == 0 ? QString() : m_header->takeAmendReason();
    if (reason.isEmpty()) {
        showStatus(text(Text::FinishedUnchanged, m_language));
        return false;
    }
    r.amendment = Amendment{r.id, reason, m_header->technician()};
    r.id = 0;
    return true;
}

// Kept as a draft first, so a database out of reach loses nothing (recordsdb::DraftStore).
void CalibrationRecordTab::saveRecord(Record &r)
{
    auto *db = database();
    QString why;
    const auto performer = db ? m_certificates->unlockSigner(*db, why) : std::nullopt;
    const recordsdb::DraftStore::Saved saved = recordsdb::DraftStore(m_header->recordsFolder())
                                                   .save(db, r, performer ? &*performer : nullptr,
                                                         text(Text::Technician, m_language));
    if (saved.number)
        r.id = *saved.number;
    refreshHistory();
    QString said = saved.number ? text(Text::Saved, m_language).arg(QStringLiteral("#%1").arg(*saved.number))
                                : text(Text::NotStoredYet, m_language).arg(saved.draft, saved.error);
    if (saved.number && !db->headNoteProblem().isEmpty())
        said += QLatin1Char('\n') + rv::text(rv::Text::HeadNotNoted, m_language).arg(enginetext::render(db->headNoteProblem(), m_language));
    showStatus(said);
}

std::optional<recordsdb::PersonSigner> CalibrationRecordTab::unlockSigner(recordsdb::RecordDb &db)
{
    QString why;
    return m_certificates->unlockSigner(db, why);
}

void CalibrationRecordTab::storeDrafts()
{
    recordsdb::DraftStore drafts(m_header->recordsFolder());
    auto *db = drafts.pending().isEmpty() ? nullptr : database();
    QString error;
    const auto performer = db ? m_certificates->unlockSigner(*db, error) : std::nullopt;
    const auto stored = performer ? drafts.storePending(*db, *performer, error) : std::nullopt;
    m_checks->adoptNumbers([&](const Record &r) {
        for (const auto &s : stored.value_or(QVector<recordsdb::DraftStore::Stored>()))
            if (recordsdb::canonicalContent(r) == s.content) {
                return s.number;
            }
        return qint64(0);
    });
    refreshHistory();
    showStatus(text(Text::DraftsLeft, m_language).arg(drafts.pending().size()).arg(error));
}

void CalibrationRecordTab::readRange()
{
    const auto words = readHolding();
    if (!words || words->size() <= reg::kUnit) {
        showStatus(text(Text::RangeReadFailed, m_language));
        return;
    }
    m_header->setRange(rangeFromWords(words->at(1), words->at(2)), reg::unitSymbol(words->at(reg::kUnit)));
}

// The holding block through the link, under its operation guard; nullopt when
// another operation runs, the link is down or the read failed.
std::optional<QVector<quint16>> CalibrationRecordTab::readHolding()
{
    std::optional<QVector<quint16>> words;
    m_link.runOperation([&] {
        const core::BlockReply reply = m_link.readBlock(core::Block::Holding);
        if (reply.ok())
            words = reply.words;
        else if (!m_link.operationLinkLost())
            emit deviceReadFailed();
    });
    return words;
}

QString CalibrationRecordTab::recordsFolder() const
{
    return m_header->recordsFolder();
}

recordsdb::RecordDb *CalibrationRecordTab::database(Access access)
{
    const QString folder = m_header->recordsFolder();
    const bool writing = access == Access::Write;
    if (m_db && m_dbFolder == folder && (m_dbWritable || !writing))
        return m_db.get();
    m_db.reset();
    // An empty field would put a database in the working directory.
    if (folder.trimmed().isEmpty()) {
        if (writing)
            showStatus(text(Text::DatabaseFailed, m_language).arg(QStringLiteral("no records folder")));
        return nullptr;
    }
    m_db = std::make_unique<recordsdb::RecordDb>();
    m_dbFolder = folder;
    m_dbWritable = writing;
    recordsdb::DbSettings settings = recordsdb::fromEnvironment(folder);
    // A shared PostgreSQL database: the password is asked for, never kept.
    if (settings.kind == recordsdb::DbSettings::Kind::Postgres && settings.password.isEmpty()
        && !modal_guard::mayOpen()) {
        showStatus(text(Text::DatabaseFailed, m_language).arg(recordsdb::describe(settings)));
        m_db.reset();
        return nullptr;
    }
    if (settings.kind == recordsdb::DbSettings::Kind::Postgres && settings.password.isEmpty())
        settings.password = QInputDialog::getText(this, recordsdb::describe(settings), QStringLiteral("Password"),
                                                  QLineEdit::Password);
    if (writing && !mayCreateDatabase(settings, folder)) {
        showStatus(text(Text::DatabaseNotCreated, m_language));
        m_db.reset();
        return nullptr;
    }
    if (m_db->open(settings, writing ? recordsdb::RecordDb::Mode::Create : recordsdb::RecordDb::Mode::ExistingOnly))
        return m_db.get();
    // A folder without a database, being typed: nothing to show, nothing made.
    if (writing)
        showStatus(text(Text::DatabaseFailed, m_language).arg(enginetext::render(m_db->error(), m_language)));
    m_db.reset();
    return nullptr;
}

// A mistyped folder must not become a second, empty set of records: a store
// makes a database only where the operator said yes. A shared server is not asked.
bool CalibrationRecordTab::mayCreateDatabase(const recordsdb::DbSettings &settings, const QString &folder)
{
    if (settings.kind != recordsdb::DbSettings::Kind::Sqlite || QFileInfo::exists(settings.sqliteFile))
        return true;
    const QString question = text(Text::CreateDatabase, m_language).arg(QDir::toNativeSeparators(folder));
    if (m_askCreate)
        return m_askCreate(question);
    if (!modal_guard::mayOpen())
        return false;
    return QMessageBox::question(this, title(), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void CalibrationRecordTab::openInstruments()
{
    auto *db = database();
    if (!db)
        return;
    auto *dialog = new InstrumentListDialog(*db, m_language, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &InstrumentListDialog::checkRequested, this, &CalibrationRecordTab::useInstrument);
    dialog->open();
}

void CalibrationRecordTab::useInstrument(const recordsdb::Instrument &instrument)
{
    m_header->useInstrument(instrument);
    m_pages->setCurrentIndex(0);
}

void CalibrationRecordTab::rememberHeader()
{
    m_header->rememberHeader();
}

void CalibrationRecordTab::refreshHistory()
{
    const QString serial = m_header->serial();
    auto *db = serial.isEmpty() || m_header->recordsFolder().isEmpty() ? nullptr : database(Access::Read);
    m_history->refresh(db, serial, m_checks->asFound());
}

void CalibrationRecordTab::showStatus(const QString &message)
{
    m_status->setText(message);
}
