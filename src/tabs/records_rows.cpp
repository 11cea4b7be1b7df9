#include "tabs/records_rows.h"

#include "records_db/approvals.h"
#include "texts/engine_texts.h"

#include <QMap>
#include <QSet>
#include <algorithm>

namespace records {

using record::Signature;
using Meaning = record::Signature::Meaning;

rv::Text stateText(RowState state)
{
    static const rv::Text kTexts[kRowStateCount] = {
        rv::Text::StateDraft, rv::Text::StatePerformed, rv::Text::StateReviewed, rv::Text::StateApproved,
        rv::Text::StateCertified, rv::Text::StateSuperseded, rv::Text::StateWithdrawn};
    return kTexts[static_cast<int>(state)];
}

bool Check::signedAs(Meaning meaning) const
{
    return std::any_of(signatures.begin(), signatures.end(), [&](const Signature &s) { return s.meaning == meaning; });
}

QStringList Check::signers(Meaning meaning) const
{
    QStringList names;
    for (const Signature &s : signatures)
        if (s.meaning == meaning)
            names << s.name;
    if (names.isEmpty() && meaning == Meaning::Performed && !record.header.technician.isEmpty())
        names << record.header.technician;
    return names;
}

QVector<const Check *> CalibrationRow::checks() const
{
    QVector<const Check *> list;
    for (const auto *c : {&asFound, &asLeft})
        if (*c)
            list << &**c;
    return list;
}

QString CalibrationRow::numbers() const
{
    QStringList numbers;
    for (const Check *c : checks())
        numbers << QStringLiteral("#%1").arg(c->record.id);
    return numbers.join(QStringLiteral(", "));
}

namespace {

bool sameUnit(const record::Record &a, const record::Record &b)
{
    return a.header.serial == b.header.serial && a.header.address == b.header.address;
}

CalibrationRow rowOf(const Check *found, const Check *left)
{
    CalibrationRow row;
    if (found)
        row.asFound = *found;
    if (left)
        row.asLeft = *left;
    return row;
}

// The certificates' pairs first, the current ones before the withdrawn, newest first.
void pairByCertificates(const QVector<CertificateRef> &certificates, const QMap<qint64, const Check *> &byId,
                        QSet<qint64> &used, QVector<CalibrationRow> &rows)
{
    QVector<CertificateRef> ordered = certificates;
    std::sort(ordered.begin(), ordered.end(), [](const CertificateRef &a, const CertificateRef &b) {
        return (a.withdrawnBy == 0) != (b.withdrawnBy == 0) ? a.withdrawnBy == 0 : a.number > b.number;
    });
    QMap<QPair<qint64, qint64>, int> rowOfPair;
    for (const CertificateRef &c : ordered) {
        const auto key = qMakePair(c.asFound, c.asLeft);
        if (!rowOfPair.contains(key)) {
            const Check *found = byId.value(c.asFound), *left = byId.value(c.asLeft);
            if ((c.asFound && (!found || used.contains(c.asFound))) || (c.asLeft && (!left || used.contains(c.asLeft)))
                || (!found && !left))
                continue;
            used.insert(c.asFound);
            used.insert(c.asLeft);
            rowOfPair.insert(key, rows.size());
            rows << rowOf(found, left);
        }
        CalibrationRow &row = rows[rowOfPair.value(key)];
        if (!c.withdrawnBy)
            row.certificate = std::max(row.certificate, c.number);
        else if (!row.withdrawn) {
            row.withdrawn = c.number;
            row.withdrawnBy = c.withdrawnBy;
        }
    }
}

} // namespace

QVector<CalibrationRow> groupRows(const QVector<Check> &stored, const QVector<Check> &drafts,
                                  const QVector<CertificateRef> &certificates)
{
    QVector<const Check *> checks;
    QMap<qint64, const Check *> byId;
    for (const Check &c : stored) {
        checks << &c;
        byId.insert(c.record.id, &c);
    }
    std::sort(checks.begin(), checks.end(), [](const Check *a, const Check *b) { return a->record.id < b->record.id; });
    QSet<qint64> used{0};
    QVector<CalibrationRow> rows;
    pairByCertificates(certificates, byId, used, rows);
    for (const Check *left : checks) {
        if (left->record.stage != record::Stage::AsLeft || used.contains(left->record.id))
            continue;
        const Check *found = nullptr;
        for (const Check *c : checks)
            if (c->record.id < left->record.id && c->record.stage == record::Stage::AsFound && !used.contains(c->record.id)
                && sameUnit(c->record, left->record) && (c->supersededBy == 0) == (left->supersededBy == 0))
                found = c;
        used.insert(left->record.id);
        if (found)
            used.insert(found->record.id);
        rows << rowOf(found, left);
    }
    for (const Check *c : checks)
        if (!used.contains(c->record.id))
            rows << (c->record.stage == record::Stage::AsLeft ? rowOf(nullptr, c) : rowOf(c, nullptr));
    for (const Check &d : drafts)
        rows << (d.record.stage == record::Stage::AsLeft ? rowOf(nullptr, &d) : rowOf(&d, nullptr));
    for (CalibrationRow &row : rows)
        row.state = rowState(row);
    std::stable_sort(rows.begin(), rows.end(), [](const CalibrationRow &a, const CalibrationRow &b) {
        return a.date() != b.date() ? a.date() > b.date() : a.main().record.id > b.main().record.id;
    });
    return rows;
}

RowState rowState(const CalibrationRow &row)
{
    const auto checks = row.checks();
    const auto all = [&](auto test) { return std::all_of(checks.begin(), checks.end(), test); };
    if (!all([](const Check *c) { return c->record.id != 0; }))
        return RowState::Draft;
    if (row.certificate)
        return RowState::Certified;
    if (row.withdrawn)
        return RowState::Withdrawn;
    if (!all([](const Check *c) { return c->supersededBy == 0; }))
        return RowState::Superseded;
    if (all([](const Check *c) { return c->signedAs(Meaning::Approved); }))
        return RowState::Approved;
    if (all([](const Check *c) { return c->signedAs(Meaning::Reviewed); }))
        return RowState::Reviewed;
    return RowState::Performed;
}

bool matches(const CalibrationRow &row, const Filter &filter)
{
    if (filter.state && row.state != *filter.state)
        return false;
    const QDate day = row.date().toLocalTime().date();
    if ((filter.from.isValid() && day < filter.from) || (filter.to.isValid() && day > filter.to))
        return false;
    const QString wanted = filter.text.trimmed();
    if (wanted.isEmpty())
        return true;
    const record::Header &h = row.main().record.header;
    QStringList haystack{h.serial, h.tag, h.description, row.numbers()};
    for (qint64 n : {row.certificate, row.withdrawn})
        if (n)
            haystack << QString::number(n) << QStringLiteral("%1").arg(n, 6, 10, QLatin1Char('0'));
    return std::any_of(haystack.begin(), haystack.end(),
                       [&](const QString &s) { return s.contains(wanted, Qt::CaseInsensitive); });
}

QString Refusal::text(int language) const
{
    const QString t = rv::text(why, language);
    return t.contains(QLatin1String("%1")) ? t.arg(enginetext::render(detail, language)) : t;
}

namespace {

bool isPerson(const QStringList &names, const QString &person)
{
    const QString key = recordsdb::personKey(person);
    return std::any_of(names.begin(), names.end(), [&](const QString &n) { return recordsdb::personKey(n) == key; });
}

std::optional<Refusal> signingRefusal(Meaning meaning, const CalibrationRow &row, const Context &context)
{
    const auto checks = row.checks();
    const auto any = [&](auto test) { return std::any_of(checks.begin(), checks.end(), test); };
    if (!any([&](const Check *c) { return !c->signedAs(meaning); }))
        return Refusal{meaning == Meaning::Reviewed ? rv::Text::ReviewedAlready : rv::Text::ApprovedAlready, {}};
    if (meaning == Meaning::Approved && any([](const Check *c) { return !c->signedAs(Meaning::Reviewed); }))
        return Refusal{rv::Text::ReviewedFirst, {}};
    if (!context.person)
        return std::nullopt;
    if (recordsdb::personKey(*context.person).isEmpty())
        return Refusal{rv::Text::NoPerson, {}};
    if (any([&](const Check *c) { return isPerson(c->signers(Meaning::Performed), *context.person); }))
        return Refusal{rv::Text::YouPerformed, {}};
    if (meaning == Meaning::Approved
        && any([&](const Check *c) { return isPerson(c->signers(Meaning::Reviewed), *context.person); }))
        return Refusal{rv::Text::YouReviewed, {}};
    return std::nullopt;
}

} // namespace

std::optional<Refusal> refusal(Action action, const CalibrationRow *row, const Context &context)
{
    if (!row)
        return Refusal{rv::Text::NoSelection, {}};
    if (action == Action::Export)
        return std::nullopt;
    if (row->state == RowState::Draft)
        return Refusal{rv::Text::NotStored, {}};
    if (!context.chainIntact)
        return Refusal{rv::Text::ChainBroken, context.chainFault};
    const bool changesRecords = action == Action::Review || action == Action::Approve || action == Action::Issue;
    for (const Check *c : row->checks())
        if (changesRecords && c->supersededBy)
            return Refusal{rv::Text::SupersededBy, QString::number(c->supersededBy)};
    switch (action) {
    case Action::Review:
        return signingRefusal(Meaning::Reviewed, *row, context);
    case Action::Approve:
        return signingRefusal(Meaning::Approved, *row, context);
    case Action::Issue: {
        if (row->certificate)
            return Refusal{rv::Text::CertifiedAlready, QString::number(row->certificate)};
        const auto checks = row->checks();
        if (std::any_of(checks.begin(), checks.end(), [](const Check *c) { return !c->signedAs(Meaning::Approved); }))
            return Refusal{rv::Text::ApprovedFirst, {}};
        return std::nullopt;
    }
    case Action::Open:
    case Action::Replace:
        return row->certificate ? std::nullopt : std::optional<Refusal>(Refusal{rv::Text::NoCertificate, {}});
    case Action::Reprint:
        return row->certificate || row->withdrawn ? std::nullopt
                                                  : std::optional<Refusal>(Refusal{rv::Text::NoCertificate, {}});
    case Action::Export:
        break;
    }
    return std::nullopt;
}

} // namespace records
