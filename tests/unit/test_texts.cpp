// Every text of every language table in all three languages, and the whole
// window walked in each language for text in the wrong script. The tables
// are one list below: a new table is one line there.

#include "automation/channel_map.h"
#include "automation/run_plan.h"
#include "diagnostics/diagnostics_texts.h"
#include "instruments/address.h"
#include "record/record_texts.h"
#include "tabs/auto_calibration_texts.h"
#include "tabs/batch_texts.h"
#include "tabs/configuration_texts.h"
#include "tabs/standards_texts.h"
#include "texts/engine_texts.h"
#include "texts/lab_texts.h"
#include "texts/language_table.h"
#include "texts/notice_texts.h"
#include "texts/records_view_texts.h"
#include "tabs/certificate_details_dialog.h"
#include "tabs/signing_dialog.h"
#include "shown_texts.h"
#include "widget_probe.h"
#include "records_db/db_texts.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>
#include <functional>

class TestTexts : public QObject
{
    Q_OBJECT
private slots:
    void everyTextInEveryLanguage();
    void windowShowsEveryLanguage();
    void engineTextsRenderBack();
    void longCompositionsRenderWhole();
    void fileRefusalsInEveryLanguage();
};


namespace {

struct Table {
    const char *name;
    int count;
    std::function<QString(int id, int language)> text;
};

template <class E, class F> Table table(const char *name, E count, F text)
{
    return {name, int(count), [text](int id, int language) { return text(E(id), language); }};
}

QString noticeBoth(notices::Notice n, int language)
{
    const auto t = notices::noticeText(n, language);
    return t && !t->title.isEmpty() && !t->text.isEmpty() ? t->title + ' ' + t->text : QString();
}

QString formRow(int i, int language)
{
    const lang::TextRow &row = lang::languageRows()[i];
    if (row.prop == lang::TextProp::ConnectButton)   // the two rows whose text follows a state
        return QStringList{lang::connectButtonText(lang::ConnectText::Idle, language),
                           lang::connectButtonText(lang::ConnectText::Connected, language),
                           lang::connectButtonText(lang::ConnectText::Disconnected, language)}.join(' ');
    if (row.prop == lang::TextProp::StepButton)
        return lang::stepText('a', language) + lang::stepText('b', language) + lang::stepText('c', language);
    return QString::fromUtf8(row.text[language]);
}

const QVector<Table> &tables()
{
    static const QVector<Table> kTables = {
        table("records view", rv::Text::TextCount, rv::text),
        table("record", record::Text::TextCount, record::text),
        table("automatic", autotext::Text::Count, autotext::text),
        table("batch", batchtext::Text::Count, batchtext::text),
        table("configuration", configtext::Text::Count, configtext::text),
        table("standards", standardstext::Text::Count, standardstext::text),
        table("engine", enginetext::Id::Count, enginetext::text),
        table("records library", dbtext::Id::Count, dbtext::text),
        table("laboratory", labtext::Text::TextCount, labtext::text),
        table("diagnostics", lang::DiagText::Count, lang::diagText),
        {"notices", int(notices::Notice::LinkClosedDuringOperation) + 1,
         [](int id, int language) { return noticeBoth(notices::Notice(id), language); }},
        {"form", int(lang::languageRows().size()), formRow},
    };
    return kTables;
}

} // namespace

void TestTexts::everyTextInEveryLanguage()
{
    int tried = 0;
    QStringList broke;
    for (const Table &t : tables())
        for (int id = 0; id < t.count; ++id)
            for (int language = 0; language < lang::kLanguageCount; ++language) {
                ++tried;
                const QString text = t.text(id, language);
                const QString where = QStringLiteral("%1 #%2 [%3] \"%4\"").arg(t.name).arg(id).arg(language).arg(text);
                if (text.trimmed().isEmpty())
                    broke << where + " empty";
                else if (language < 2 && !shown::englishIn(text).isEmpty())
                    broke << where + " English: " + shown::englishIn(text).join(',');
                else if (language == 2 && shown::hasChinese(text))
                    broke << where + " Chinese in English";
            }
    qInfo("text tables: %d texts x languages tried, %lld broke", tried, qlonglong(broke.size()));
    for (const QString &b : broke)
        qWarning("%s", qPrintable(b));
    QCOMPARE(broke.size(), 0);
}

namespace {

// What a widget shows in its own words: buttons, labels, boxes, tabs, headers, placeholders.
QStringList shownTexts(QWidget *w)
{
    QStringList texts;
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        texts << b->text() << b->toolTip();
    else if (auto *l = qobject_cast<QLabel *>(w))
        texts << l->text();
    else if (auto *g = qobject_cast<QGroupBox *>(w))
        texts << g->title();
    else if (auto *e = qobject_cast<QLineEdit *>(w))
        texts << e->placeholderText();
    else if (auto *tabs = qobject_cast<QTabWidget *>(w))
        for (int i = 0; i < tabs->count(); ++i)
            texts << tabs->tabText(i);
    else if (auto *h = qobject_cast<QHeaderView *>(w); h && h->model() && h->orientation() == Qt::Horizontal)
        for (int c = 0; c < h->count(); ++c)
            texts << h->model()->headerData(c, Qt::Horizontal).toString();
    return texts;
}

} // namespace

// Each language in turn, every page of every tab shown, and the dialogs of
// the records: no English left in the Chinese window and no Chinese in the English one.
void TestTexts::windowShowsEveryLanguage()
{
    Widget w;
    WidgetProbe probe(w);
    w.resize(900, 687);
    w.show();
    QTabWidget *main = probe.ui()->tabWidget_main;
    int tried = 0;
    QStringList broke;
    const auto walk = [&](QWidget *top, int language, const QString &where) {
        QCoreApplication::processEvents();
        for (QWidget *child : top->findChildren<QWidget *>()) {
            if (!child->isVisible() || qobject_cast<QLineEdit *>(child->parentWidget()))
                continue;
            QStringList texts = shownTexts(child);
            if (child == top)
                texts << top->windowTitle();
            for (const QString &text : texts) {
                if (text.isEmpty())
                    continue;
                ++tried;
                if ((language < 2 && !shown::englishIn(text).isEmpty()) || (language == 2 && shown::hasChinese(text)))
                    broke << QStringLiteral("[%1] %2 %3: \"%4\"").arg(language).arg(where, child->objectName(), text);
            }
        }
    };
    records::CalibrationRow row;
    row.asFound = records::Check{record::Record{}, 0, {}};
    for (int language : {2, 1, 0}) {
        probe.ui()->comboBox_sel_language->setCurrentIndex(language);
        for (int page = 0; page < main->count(); ++page) {
            main->setCurrentIndex(page);
            walk(&w, language, main->tabText(page));
        }
        SigningDialog signing(record::Signature::Meaning::Approved, row, nullptr, language);
        signing.show();
        walk(&signing, language, "signing");
        CertificateDetailsDialog details({}, {}, language);
        details.show();
        walk(&details, language, "details");
    }
    broke.removeDuplicates();
    qInfo("window walk: %d texts shown, %lld in the wrong language", tried, qlonglong(broke.size()));
    for (const QString &b : broke)
        qWarning("%s", qPrintable(b));
    QCOMPARE(broke.size(), 0);
}

QTEST_MAIN(TestTexts)

// Every engine text and every records library text, composed in English as they
// are, comes back in each language as its own template, with a reason of another
// id in its reason slot (the placeholder after a final colon or alone in brackets;
// the others take numbers).
void TestTexts::engineTextsRenderBack()
{
    struct Catalogue {
        int count;
        QString (*text)(int id, int language);
    };
    const Catalogue catalogues[] = {
        {int(enginetext::Id::Count), [](int id, int l) { return enginetext::text(enginetext::Id(id), l); }},
        {int(dbtext::Id::Count), [](int id, int l) { return dbtext::text(dbtext::Id(id), l); }}};
    QVector<std::function<QString(int)>> all;
    for (const Catalogue &c : catalogues)
        for (int id = 0; id < c.count; ++id)
            all << [c, id](int language) { return c.text(id, language); };
    const auto reasonSlot = [](const QString &english) {   // after the last colon, or alone in brackets
        const auto m = QRegularExpression(QStringLiteral(": %(\\d)$|\\(%(\\d)\\)")).match(english);
        return m.hasMatch() ? (m.captured(1) + m.captured(2)).toInt() : 0;
    };
    const auto fill = [](QString t, int slot, const QString &inner) {
        for (int n = 1; t.contains(QRegularExpression(QStringLiteral("%\\d"))); ++n)
            t = t.arg(n == slot ? inner : QString::number(40 + n));
        return t;
    };
    int tried = 0;
    QStringList broke;
    for (int id = 0; id < all.size(); ++id)
        for (int inner = 0; inner < all.size(); inner += 7)
            for (int language = 0; language < lang::kLanguageCount; ++language) {
                ++tried;
                const int slot = reasonSlot(all[id](2));
                const QString innerEnglish = fill(all[inner](2), 0, {});
                const QString want = fill(all[id](language), slot, fill(all[inner](language), 0, {}));
                const QString got = enginetext::render(fill(all[id](2), slot, innerEnglish), language);
                if (got != want)
                    broke << QStringLiteral("#%1 in #%2 [%3]: \"%4\" not \"%5\"").arg(id).arg(inner).arg(language).arg(got, want);
            }
    qInfo("engine and records texts: %d composed texts x languages rendered, %lld broke", tried, qlonglong(broke.size()));
    QVERIFY2(broke.isEmpty(), qPrintable(broke.mid(0, 10).join('\n')));
}

// The gate's longest refusal: five findings of the chain, each a composition, and
// the count of the rest. Every piece has several readings; it renders whole, in time.
void TestTexts::longCompositionsRenderWhole()
{
    using dbtext::en;
    using dbtext::Id;
    const QStringList findings{
        en(Id::Entry).arg(4).arg(en(Id::EntryUnreadable).arg(4)),
        en(Id::Entry).arg(5).arg(en(Id::SignedByKey).arg("ab12", en(Id::RevokedFrom).arg(3).arg("2026-12-01"))),
        en(Id::NotesDamaged).arg("/tmp/heads.json", en(Id::NotAnObject)),
        en(Id::Entry).arg(7).arg(en(Id::NumberFollows).arg("record").arg(3).arg(1)),
        en(Id::EntriesMissingHead).arg(9).arg(12).arg(en(Id::NotedHereForDb))};
    const QString refusal = en(Id::RefusedChainFails).arg(en(Id::IssuingCertificate),
                                                          findings.join("; ") + "; " + en(Id::AndMore).arg(3));
    QElapsedTimer clock;
    clock.start();
    for (int language = 0; language < 2; ++language) {
        const QString shown = enginetext::render(en(Id::NumberedOf).arg(8).arg("SN-1", refusal), language);
        QVERIFY2(shown::englishIn(shown).isEmpty() && shown::hasChinese(shown), qPrintable(shown));
    }
    qInfo("a refusal of %lld characters rendered in both Chinese languages in %lld ms", qlonglong(refusal.size()),
          qlonglong(clock.elapsed()));
    QVERIFY(clock.elapsed() < 2000);
}

namespace {

// Each key of `o` (and of its objects, named "outer.inner") missing, of each wrong kind and out of range.
QVector<QJsonObject> mutations(const QJsonObject &o)
{
    static const QJsonValue wrong[] = {QJsonValue("x"), QJsonValue(""), QJsonValue(" x"), QJsonValue(-1e9), QJsonValue(1e9),
                                       QJsonValue(2.5), QJsonValue(0), QJsonValue(true), QJsonValue(QJsonArray{}),
                                       QJsonValue(QJsonObject{})};
    QVector<QJsonObject> out{[&] { QJsonObject m = o; m.insert("no such key", 1); return m; }()};
    for (const QString &key : o.keys()) {
        QJsonObject m = o;
        m.remove(key);
        out << m;
        for (const QJsonValue &v : wrong)
            out << (m = o, m.insert(key, v), m);
        if (o.value(key).isObject())
            for (const QJsonObject &inner : mutations(o.value(key).toObject()))
                out << (m = o, m.insert(key, inner), m);
    }
    return out;
}

} // namespace

// A procedure file and a channel map, every key mutated: each refusal they give
// reads in Chinese in both Chinese windows, keys and values quoted as the file spells them.
void TestTexts::fileRefusalsInEveryLanguage()
{
    QJsonObject plan = QJsonDocument::fromJson(R"({"name": "five", "points": [0, 25, 50, 75, 100], "points are": "percent of range",
        "tolerance": 1.0, "tolerance is": "degrees", "tolerance mA": 0.024, "decision rule": "guarded acceptance",
        "guard factor": 1, "stability": {"band": 0.1, "band mA": 0.005, "samples": 5, "interval ms": 500, "timeout s": 120},
        "adjust": "when failed", "room sensor limit": 0.2, "room sensor limit is measured": false, "thermal EMF uV": 2,
        "lead resistance ohm": 0.1, "repeats": 1})").object();
    const QJsonObject unit1{{"unit", 1}, {"port", "/dev/ttyUSB1"}, {"tag", "TT-1"}, {"serial", "S-1"},
                            {"source channel", "1"}, {"meter channel", "2"}, {"input isolated", false}};
    const QJsonObject unit2{{"unit", 2}, {"port", "/dev/ttyUSB2"}, {"tag", "TT-2"}, {"serial", "S-2"}, {"source channel", "3"},
                            {"meter", "tcp:127.0.0.1:5025"}, {"meter model", "generic-scpi-meter"}};
    QSet<QString> refusals;
    int tried = 0;
    QString why;
    QVERIFY2(autocal::planFromJson(plan, why), qPrintable(why));
    for (const QJsonObject &m : mutations(plan))
        if (++tried, why.clear(), !autocal::planFromJson(m, why))
            refusals << why;
    // A key given twice with plain values: Qt 5's parser leaks an array the second one replaces.
    for (const QByteArray &text : {QByteArray("{\"repeats\": 1, \"repeats\": 2}"), QByteArray("[1]"), QByteArray("{")})
        if (++tried, why.clear(), !autocal::planFromText(text, why))
            refusals << why;
    for (const auto &[are, range] : {std::pair{"percent of range", record::Range{0, 1}}, {"degrees", record::Range{0, 50}}}) {
        QJsonObject o = plan;
        o.insert("points are", are);
        const auto p = autocal::planFromJson(o, why);
        QVERIFY2(p, qPrintable(why));
        if (++tried; const auto problem = autocal::planProblemFor(*p, range))
            refusals << *problem;
    }
    for (int e = QJsonParseError::UnterminatedObject; e <= QJsonParseError::GarbageAtEnd; ++e, ++tried) {
        QJsonParseError error;
        error.error = QJsonParseError::ParseError(e);
        refusals << enginetext::english(enginetext::Id::NotJsonObjectBecause).arg(error.errorString());
    }
    for (const char *address : {"", "tcp:[::1", "tcp:[::1]x", "tcp:::1", "tcp:", "tcp:a b", "tcp:host:0", "usbtmc:",
                                "/dev/ttyUSB0:1", ":9600", "tcp:9600", "com:3"}) {
        ++tried;
        if (!instruments::parseAddress(address, &why))
            refusals << why;
    }
    const auto map = [](const QJsonArray &units) { return QJsonObject{{"name", "bench"}, {"units", units}}; };
    QVERIFY2(autocal::channelMapFromJson(map({unit1, unit2}), why), qPrintable(why));
    QVector<QJsonObject> maps = mutations(map({unit1, unit2}));
    for (const QJsonObject &m : mutations(unit2))
        maps << map({unit1, m});
    const auto with = [](QJsonObject u, const QString &key, const QJsonValue &v) { return u.insert(key, v), u; };
    for (const char *shared : {"unit", "port", "serial", "source channel"})
        maps << map({unit1, with(unit2, shared, unit1.value(shared))});
    QJsonObject routed = with(unit2, "meter channel", "3");
    routed.remove("meter"), routed.remove("meter model");
    maps << map({unit1, routed}) << map({unit1, with(unit2, "meter", "tcp:127.0.0.1:5025/" + QString(200, 'x'))})
         << map({unit1, with(unit2, "meter", "nowhere")}) << map({unit1, 7});
    for (const QJsonObject &m : maps)
        if (++tried, why.clear(), !autocal::channelMapFromJson(m, why))
            refusals << why;
    QStringList broke;
    for (const QString &refusal : refusals)
        for (int language : {0, 1}) {
            const QString shown = enginetext::render(refusal, language);
            if (!shown::englishIn(shown).isEmpty() || !shown::hasChinese(shown))
                broke << QStringLiteral("[%1] \"%2\": %3").arg(language).arg(shown, shown::englishIn(shown).join(','));
        }
    qInfo("file refusals: %d files tried, %lld distinct refusals in 2 languages, %lld broke", tried,
          qlonglong(refusals.size()), qlonglong(broke.size()));
    QVERIFY2(broke.isEmpty(), qPrintable(broke.mid(0, 10).join('\n')));
}

#include "test_texts.moc"
