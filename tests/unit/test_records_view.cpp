// The records view: checks grouped into calibrations with their states, the
// filter, a sweep that holds the view's refusals against the records
// library's, and the view driven by its object names.

#include "record_samples.h"
#include "record/certificate.h"
#include "records_db/approvals.h"
#include "records_db/certificate_store.h"
#include "records_db/record_db.h"
#include "records_fixture.h"
#include "records_flow.h"
#include "shown_texts.h"
#include "tabs/due_list.h"
#include "tabs/records_loader.h"
#include "tabs/records_model.h"
#include "tabs/records_view.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QSqlQuery>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTextBrowser>
#include <QtTest>
#include <functional>

using records::Action;
using records::RowState;
using Meaning = record::Signature::Meaning;
using record::Stage;

class TestRecordsView : public QObject
{
    Q_OBJECT
private slots:
    void rowsStatesAndFilter();
    void refusalsAgreeWithTheLibrary();
    void viewFromSelectionToOpenedCertificate();
    void libraryReasonsInTheWindowsLanguage();
    void dueListHandsTheUnitOver();
};

namespace {

const QDateTime kStart(QDate(2026, 11, 2), QTime(8, 0), Qt::UTC);

records::Check check(qint64 id, const QString &serial, Stage stage, int minutes, qint64 supersededBy = 0,
                     QVector<Meaning> signedAs = {})
{
    records::Check c{recordedCheck(serial, stage, kStart.addSecs(60 * minutes), 0.0), supersededBy, {}};
    c.record.id = id;
    c.record.header.technician = QStringLiteral("Ana");
    for (Meaning m : signedAs)
        c.signatures << record::Signature{m, m == Meaning::Approved ? "Cy" : "Bo", {}, {}, kStart};
    return c;
}

QString describe(const QVector<records::CalibrationRow> &rows)
{
    QStringList out;
    for (const auto &r : rows)
        out << r.numbers() + ':' + rv::text(records::stateText(r.state), 2);
    return out.join(' ');
}

} // namespace

// A table of stored checks against the rows they make: pairing, states, order and filtering.
void TestRecordsView::rowsStatesAndFilter()
{
    const Meaning R = Meaning::Reviewed, A = Meaning::Approved;
    const QVector<records::Check> stored = {
        check(1, "SN-1", Stage::AsFound, 0, 0, {R}), check(2, "SN-1", Stage::AsLeft, 30, 0, {R}),
        check(3, "SN-2", Stage::AsFound, 60, 5), check(4, "SN-2", Stage::AsLeft, 90, 0, {R, A}),
        check(5, "SN-2", Stage::AsFound, 100), check(6, "SN-3", Stage::AsLeft, 120, 0, {R, A}),
        check(7, "SN-4", Stage::AsFound, 130, 0, {R, A}), check(8, "SN-4", Stage::AsLeft, 140, 0, {R, A}),
        check(9, "SN-1", Stage::AsLeft, 150)};
    const QVector<records::CertificateRef> certificates = {{1, 7, 8, 2}, {2, 7, 8, 0}, {3, 6, 0, 0}};
    QVector<records::Check> drafts = {check(0, "SN-5", Stage::AsFound, 200)};
    const auto rows = records::groupRows(stored, drafts, certificates);
    // Newest first. #9 finds no as-found of its own (#1 went with #2); #3 is
    // superseded, so neither it nor #5 (stored after it) pairs with #4.
    QCOMPARE(describe(rows), QStringLiteral("#0:draft #9:performed #7, #8:certified #6:certified #5:performed "
                                            "#4:approved #3:superseded #1, #2:reviewed"));
    // The current certificate is the row's; the one it replaced stays in its history.
    QVERIFY(rows[2].certificate == 2 && rows[2].withdrawn == 1 && rows[2].withdrawnBy == 2);
    const QVector<std::pair<records::Filter, int>> filters = {
        {{"sn-2", {}, {}, {}}, 3}, {{"000003", {}, {}, {}}, 1}, {{"#1", {}, {}, {}}, 1},
        {{{}, RowState::Certified, {}, {}}, 2}, {{{}, {}, QDate(2026, 11, 3), {}}, 0},
        {{{}, {}, {}, QDate(2026, 11, 1)}, 0}, {{"SN-1", RowState::Performed, {}, {}}, 1}};
    for (const auto &[filter, expected] : filters) {
        const auto &f = filter;   // a structured binding is not captured by clang 14
        QCOMPARE(std::count_if(rows.begin(), rows.end(), [&](const auto &r) { return records::matches(r, f); }),
                 expected);
    }
}

namespace {

bool copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QFileInfo &f : QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
        if (f.isDir() ? !copyTree(f.filePath(), QDir(to).filePath(f.fileName()))
                      : !QFile::copy(f.filePath(), QDir(to).filePath(f.fileName())))
            return false;
    return true;
}

recordsdb::DbSettings settingsIn(const QString &folder)
{
    recordsdb::DbSettings s = recordsdb::sqliteIn(folder);
    s.dataFolder = QDir(folder).filePath("data");
    return s;
}

// A database holding SN-1's as-found and as-left checks, performed by Ana.
bool makeBase(const QString &folder)
{
    recordsdb::RecordDb db;
    if (!db.open(settingsIn(folder)) || !recordsfixture::trustOwnKey(db))
        return false;
    for (Stage stage : {Stage::AsFound, Stage::AsLeft}) {
        record::Record r = recordedCheck("SN-1", stage, kStart.addSecs(stage == Stage::AsLeft ? 1800 : 0), 0.01);
        r.header.technician = QStringLiteral("Ana");
        r.header.uncertainty = 0.05;
        r.header.laboratory = QStringLiteral("Plant lab");
        r.header.procedure = QStringLiteral("QP-1");
        r.header.reference = QStringLiteral("Calibrator CX-9");
        r.header.referenceCertificate = QStringLiteral("RC-1");
        if (!db.append(r, recordsfixture::person(db, "Ana"), "Technician"))
            return false;
    }
    for (const char *name : {"Bo", "Cy"})
        recordsfixture::person(db, name, {"reviews", "approves"});
    return true;
}

records::CalibrationRow onlyRow(recordsdb::RecordDb &db)
{
    QString error;
    const auto snapshot = records::loadSnapshot(&db, QString(), error);
    return snapshot && snapshot->rows.size() == 1 ? snapshot->rows.first() : records::CalibrationRow{};
}

} // namespace

// Every sequence of up to three steps (review or approve by Ana, Bo or Cy,
// then issue): whatever the view lets through, the library does; what it
// holds back from the performer, or from an issue without approval, the
// library refuses too.
void TestRecordsView::refusalsAgreeWithTheLibrary()
{
    QTemporaryDir dir;
    const QString base = dir.filePath("base");
    QVERIFY(makeBase(base));
    const QStringList people = {"Ana", "Bo", "Cy"};
    const QVector<Meaning> meanings = {Meaning::Reviewed, Meaning::Approved};
    int tried = 0, broke = 0, sequences = 0;
    std::function<void(const QString &, int)> walk = [&](const QString &folder, int depth) {
        recordsdb::RecordDb db;
        QVERIFY(db.open(settingsIn(folder)));
        const records::CalibrationRow row = onlyRow(db);
        QVERIFY(row.asFound && row.asLeft);
        // Issue from here, in a copy: allowed exactly when both checks are approved.
        const QString issued = folder + "-issue";
        QVERIFY(copyTree(folder, issued));
        {
            recordsdb::RecordDb copy;
            QVERIFY(copy.open(settingsIn(issued)));
            const bool may = !records::refusal(Action::Issue, &row, {});
            const bool did = bool(recordsdb::CertificateStore(copy).issue({1, 2, 0, {"Lab road 1", "Plant", "Plant road 2"}, 2, {}}));
            ++tried;
            broke += may != did;
            if (did)
                QVERIFY(onlyRow(copy).state == RowState::Certified);
        }
        ++sequences;
        if (depth == 3)
            return;
        for (const QString &person : people)
            for (Meaning meaning : meanings) {
                const QString next = QStringLiteral("%1-%2%3").arg(folder, person).arg(int(meaning));
                QVERIFY(copyTree(folder, next));
                recordsdb::RecordDb step;
                QVERIFY(step.open(settingsIn(next)));
                const auto why = records::refusal(meaning == Meaning::Approved ? Action::Approve : Action::Review,
                                                  &row, {person, true, {}});
                recordsdb::Approvals approvals(step);
                if (why) {
                    // The performer is refused by the library as well as by the view.
                    if (why->why == rv::Text::YouPerformed) {
                        ++tried;
                        broke += bool(approvals.sign(row.asFound->record.id, meaning,
                                                     recordsfixture::person(step, person, {"reviews", "approves"}), "x"));
                    }
                    continue;
                }
                ++tried;
                for (const records::Check *c : row.checks())
                    if (!c->signedAs(meaning)
                        && !approvals.sign(c->record.id, meaning, recordsfixture::person(step, person), "x")) {
                        qWarning() << person << record::meaningKey(meaning) << approvals.error();
                        ++broke;
                    }
                walk(next, depth + 1);
            }
    };
    walk(base, 0);
    qInfo("refusal sweep: %d sequences, %d actions tried, %d broke", sequences, tried, broke);
    QCOMPARE(broke, 0);
    QVERIFY(tried > sequences);   // every sequence tried an issue, and some a signature
}

using recordsflow::onDialog;
using recordsflow::signAs;

// From the checks stored by a run to an approved certificate opened in the
// viewer, counting each click and each signer's entry as one action.
void TestRecordsView::viewFromSelectionToOpenedCertificate()
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("settings"));
    QVERIFY(makeBase(dir.filePath("records")));
    {
        QSettings settings;   // the laboratory's and the customer's, kept from an earlier day
        record::writeIssuer(settings, {"Lab road 1", "Plant", "Plant road 2"});
    }
    recordsdb::RecordDb db;
    QVERIFY(db.open(settingsIn(dir.filePath("records"))));
    QString opened;
    RecordsView view({[&](bool) { return &db; }, [&] { return dir.filePath("records"); },
                      [&](const QString &path) { return opened = path, true; }});
    view.setLanguage(2);
    view.resize(900, 600);
    view.show();
    auto *table = view.findChild<QTableView *>("tableView_records");
    const auto button = [&](const char *name) { return view.findChild<QPushButton *>(name); };
    QCOMPARE(table->model()->rowCount(), 1);
    QCOMPARE(button("pushButton_records_review")->toolTip(), QStringLiteral("select a calibration first"));
    int actions = 0;
    const auto click = [&](const char *name) {
        ++actions;
        QVERIFY2(button(name)->isEnabled(), name);
        QTest::mouseClick(button(name), Qt::LeftButton);
    };
    ++actions;
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(0, 0)).center());
    QCOMPARE(button("pushButton_records_approve")->toolTip(), QStringLiteral("reviewed first"));
    QCOMPARE(button("pushButton_records_issue")->toolTip(), QStringLiteral("approved first"));
    QString tip;
    signAs("Ana", recordsfixture::kPassphrase, &tip);   // the performer may not review: refused in the dialog, nothing signed
    QTest::mouseClick(button("pushButton_records_review"), Qt::LeftButton);
    QCOMPARE(tip, QStringLiteral("You performed this check and cannot review or approve it"));
    QVERIFY(!view.model().rows().first().asLeft->signedAs(Meaning::Reviewed));
    signAs("Bo", recordsfixture::kPassphrase);
    click("pushButton_records_review");
    ++actions;
    QCOMPARE(view.statusText(), QStringLiteral("records #1, #2 reviewed by Bo"));
    QCOMPARE(button("pushButton_records_review")->toolTip(), QStringLiteral("reviewed already"));
    signAs("Bo", recordsfixture::kPassphrase, &tip);
    QTest::mouseClick(button("pushButton_records_approve"), Qt::LeftButton);
    QCOMPARE(tip, QStringLiteral("You reviewed this check and cannot approve it"));
    signAs("Cy", recordsfixture::kPassphrase);
    click("pushButton_records_approve");
    ++actions;
    QCOMPARE(view.model().rows().first().state, RowState::Approved);
    onDialog([](QDialog &d) { d.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click(); });
    click("pushButton_records_issue");
    ++actions;
    QVERIFY2(view.statusText().startsWith("certificate 1 issued: "), qPrintable(view.statusText()));
    QCOMPARE(view.model().rows().first().state, RowState::Certified);
    click("pushButton_records_open");
    QFile pdf(opened);
    QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.read(4) == "%PDF");
    qInfo("from a finished run to an opened certificate: %d user actions", actions);
    QVERIFY(actions <= 8);
    QCOMPARE(button("pushButton_records_issue")->toolTip(),
             QStringLiteral("certified already: certificate 1 (reprint or replace it)"));
}

// What the records library says reaches the Chinese window in Chinese: the chain's
// findings on the actions' tooltips and in the details, and an action's refusal
// on the status line.
void TestRecordsView::libraryReasonsInTheWindowsLanguage()
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("settings"));
    QVERIFY(makeBase(dir.filePath("records")));
    recordsdb::RecordDb db;
    QVERIFY(db.open(settingsIn(dir.filePath("records"))));
    RecordsView view({[&](bool) { return &db; }, [&] { return dir.filePath("records"); }, {}});
    view.setLanguage(0);
    view.show();
    auto *table = view.findChild<QTableView *>("tableView_records");
    const auto select = [&] {
        view.refresh();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(0, 0)).center());
    };
    const auto inChinese = [](const QString &text) { return shown::englishIn(text).isEmpty() && shown::hasChinese(text); };
    // Approved, then issued with no customer named: the library's refusal.
    for (const char *person : {"Bo", "Cy"})
        for (qint64 n : {1, 2})
            QVERIFY(recordsdb::Approvals(db).sign(n, person == QLatin1String("Bo") ? Meaning::Reviewed : Meaning::Approved,
                                                  recordsfixture::person(db, person), "x"));
    select();
    recordsflow::onDialog([](QDialog &d) { d.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click(); });
    QTest::mouseClick(view.findChild<QPushButton *>("pushButton_records_issue"), Qt::LeftButton);
    QTRY_VERIFY2(view.statusText().contains("客户"), qPrintable(view.statusText()));
    QVERIFY2(inChinese(view.statusText()), qPrintable(view.statusText()));
    // A check altered behind the library's back: every action says why, in Chinese.
    {
        QSqlDatabase raw = recordsfixture::connection(settingsIn(dir.filePath("records")), "raw");
        const QStringList guards = recordsfixture::liftGuards(raw);
        QVERIFY(QSqlQuery(raw).exec("UPDATE entries SET content = replace(content, 'Plant lab', 'Plant lib') WHERE kind = 'record'"));
        QVERIFY(recordsfixture::restoreGuards(raw, guards));
        raw.close();
    }
    QSqlDatabase::removeDatabase("raw");
    select();
    int shownTips = 0;
    for (QPushButton *b : view.findChildren<QPushButton *>(QRegularExpression("^pushButton_records_")))
        if (!b->isEnabled() && b->toolTip().contains("记录链")) {
            ++shownTips;
            QVERIFY2(inChinese(b->toolTip()), qPrintable(b->toolTip()));
        }
    QVERIFY2(shownTips >= 3, qPrintable(view.findChild<QPushButton *>("pushButton_records_review")->toolTip()));
    const QString details = view.findChild<QTextBrowser *>("textBrowser_records_details")->toPlainText();
    QVERIFY2(details.contains("记录链校验未通过") && details.contains("内容已被改动") && !details.contains("content altered"),
             qPrintable(details));
}

// The register's units by urgency, those on time only when asked for, and
// the selected one handed over whole.
void TestRecordsView::dueListHandsTheUnitOver()
{
    const QDate today = QDate::currentDate();
    const auto unit = [&](const char *tag, int dueInDays, const char *status = "in service") {
        recordsdb::InstrumentRow r;
        r.instrument.tag = tag;
        r.instrument.serial = QStringLiteral("S-") + tag;
        r.instrument.status = status;
        if (dueInDays != 999)
            r.due = today.addDays(dueInDays);
        return r;
    };
    const QVector<recordsdb::InstrumentRow> rows = {unit("A", 200), unit("B", 10), unit("C", 999), unit("D", -3),
                                                    unit("E", -9, "out of service"), unit("F", 0), unit("G", -1, "spare")};
    const auto tags = [](const QVector<records::DueRow> &due) {
        QString out;
        for (const auto &d : due)
            out += d.row.instrument.tag;
        return out;
    };
    QCOMPARE(tags(records::dueRows(rows, today, false)), QStringLiteral("DGCFB"));
    QCOMPARE(tags(records::dueRows(rows, today, true)), QStringLiteral("DGCFBA"));

    QTemporaryDir dir;
    recordsdb::RecordDb db;
    QVERIFY(db.open(settingsIn(dir.path())));
    recordsdb::InstrumentRegister reg(db);
    recordsdb::Instrument seven = unit("TT-7", 0).instrument;
    seven.procedure = QStringLiteral("/lab/procedures/qp-7.json");   // kept with the register, handed over with it
    QVERIFY(reg.save(seven));
    recordsdb::Instrument handed;
    DueList list({[&] { return &db; }, [&](const recordsdb::Instrument &i) { handed = i; }, {}});
    list.setLanguage(2);
    list.show();
    auto *start = list.findChild<QPushButton *>("pushButton_due_automatic");
    auto *table = list.findChild<QTableWidget *>("tableWidget_due");
    QCOMPARE(table->rowCount(), 1);
    QVERIFY(!start->isEnabled() && start->toolTip() == "select an instrument first");
    table->selectRow(0);
    QTest::mouseClick(start, Qt::LeftButton);
    QVERIFY(handed.tag == "TT-7" && handed.serial == "S-TT-7" && handed.procedure == seven.procedure);
    QCOMPARE(table->item(0, 6)->text(), QStringLiteral("never calibrated"));
}

QTEST_MAIN(TestRecordsView)
#include "test_records_view.moc"
