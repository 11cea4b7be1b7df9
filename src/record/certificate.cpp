#include "record/certificate.h"

#include "record/certificate_annex.h"
#include "record/decision_texts.h"
#include "record/record_table.h"
#include "record/record_texts.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSettings>
#include <QTextDocument>

namespace record {

namespace {

QString esc(const QString &s) { return s.toHtmlEscaped(); }

const Record &anyRecord(const CertificateContent &c)
{
    return c.asLeft ? *c.asLeft : *c.asFound;
}

QString numberText(qint64 number)
{
    return number > 0 ? QString::number(number).rightJustified(6, QLatin1Char('0')) : QStringLiteral("—");
}

QString dateText(const QDateTime &t)
{
    return t.isValid() ? t.toUTC().toString(QStringLiteral("yyyy-MM-dd")) : QStringLiteral("—");
}

using Rows = QList<QPair<Text, QString>>;

// Label and value pairs in two columns; long text wraps inside its cell.
QString fieldTable(const QString &title, const Rows &rows, int lang)
{
    QString html = QStringLiteral("<h3>%1</h3><table width='100%' cellspacing='0' cellpadding='2'>").arg(esc(title));
    for (int i = 0; i < rows.size(); i += 2) {
        html += QStringLiteral("<tr>");
        for (int j = i; j < i + 2 && j < rows.size(); ++j)
            html += QStringLiteral("<td width='18%'><b>%1</b></td><td width='32%'>%2</td>")
                        .arg(esc(text(rows[j].first, lang)), esc(rows[j].second));
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

// Some check states its uncertainty point by point.
bool perPoint(const CertificateContent &c)
{
    return (c.asFound && hasPointUncertainties(*c.asFound)) || (c.asLeft && hasPointUncertainties(*c.asLeft));
}

QString partiesTable(const CertificateContent &c)
{
    const Header &h = anyRecord(c).header;
    return fieldTable(QString(), {{Text::Laboratory, h.laboratory}, {Text::CustomerName, c.issuer.customer},
                                  {Text::LaboratoryAddress, c.issuer.laboratoryAddress},
                                  {Text::CustomerAddress, c.issuer.customerAddress}}, c.language);
}

QString itemTable(const CertificateContent &c)
{
    const Header &h = anyRecord(c).header;
    const int lang = c.language;
    QStringList dates;
    for (const auto &r : {c.asFound, c.asLeft})
        if (r)
            dates << dateText(r->started);
    dates.removeDuplicates();
    return fieldTable(text(Text::ItemGroup, lang),
                      {{Text::Tag, h.tag}, {Text::Serial, h.serial},
                       {Text::Description, h.description}, {Text::InputType, h.inputType},
                       {Text::Range, rangeText(h)}, {Text::Address, h.address > 0 ? QString::number(h.address) : QString()},
                       {Text::CalibrationDates, dates.join(QStringLiteral(", "))}, {Text::IssueDate, dateText(c.issued)},
                       {Text::Procedure, h.procedure},
                       {Text::Ambient, h.ambient.isEmpty() ? QString() : h.ambient + QLatin1Char(' ') + h.unit},
                       {Text::ReferenceInstrument, h.reference}, {Text::ReferenceCertificate, h.referenceCertificate},
                       {Text::Tolerance, toleranceText(h, lang)},
                       {Text::Uncertainty, perPoint(c) ? text(Text::UncertaintyPerPointShort, lang) : uncertaintyText(h, lang)}},
                      lang);
}

QString checkTable(const Record &r, Text title, int lang)
{
    QString html = QStringLiteral("<h3>%1 &nbsp; %2</h3>").arg(esc(text(title, lang)), esc(localTimeText(r.started, false)));
    if (r.amendment)
        html += QStringLiteral("<p>%1</p>").arg(esc(text(Text::AmendmentOf, lang)
                                                     .arg(r.amendment->supersedes).arg(r.amendment->reason, r.amendment->author)));
    // The header row is a <thead>: the layout repeats it on every page the table spans.
    if (!r.incompleteReason.isEmpty())
        html += QStringLiteral("<p><b>%1</b></p>").arg(esc(text(Text::EndedEarly, lang).arg(r.incompleteReason)));
    const bool uColumn = hasPointUncertainties(r);
    html += QStringLiteral("<table width='100%' border='1' cellspacing='0' cellpadding='3'><thead><tr>");
    for (const QString &t : certificateTitles(lang, r.header.unit, uColumn))
        html += QStringLiteral("<th>%1</th>").arg(esc(t).replace(QLatin1Char('\n'), QStringLiteral("<br>")));
    html += QStringLiteral("</tr></thead>");
    for (const Point &p : r.points) {
        html += QStringLiteral("<tr>");
        for (const QString &cell : certificateCells(p, r.header, lang, uColumn))
            html += QStringLiteral("<td align='center'>%1</td>").arg(esc(cell));
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    return html + QStringLiteral("<p><b>%1: %2</b></p>")
                      .arg(esc(text(Text::Verdict, lang)), esc(verdictText(verdict(r), lang)));
}

Text meaningText(Signature::Meaning m)
{
    switch (m) {
    case Signature::Meaning::Reviewed: return Text::SignedReviewed;
    case Signature::Meaning::Approved: return Text::SignedApproved;
    case Signature::Meaning::Performed: break;
    }
    return Text::SignedPerformed;
}

// The electronic signatures, then the authorising person's name, function and signature line.
QString signatures(const CertificateContent &c)
{
    const int lang = c.language;
    QString html = QStringLiteral("<br>");
    const Signature *authoriser = nullptr;
    for (const Signature &s : c.signatures) {
        html += QStringLiteral("<p>%1</p>").arg(esc(text(Text::SignatureLine, lang)
                                                     .arg(text(meaningText(s.meaning), lang), s.name, s.function,
                                                          localTimeText(s.time, false), s.login)));
        if (s.meaning == Signature::Meaning::Approved)
            authoriser = &s;
    }
    return html + QStringLiteral("<table width='100%' cellpadding='6'><tr><td width='35%'><b>%1:</b> %2</td>"
                                 "<td width='40%'><b>%3:</b> %4</td><td width='25%'>____________________</td></tr></table>")
                      .arg(esc(text(Text::Authorised, lang)), esc(authoriser ? authoriser->name : QString()),
                           esc(text(Text::FunctionText, lang)), esc(authoriser ? authoriser->function : QString()));
}

QString titleBlock(const CertificateContent &c)
{
    const int lang = c.language;
    QString mark;
    if (c.copy)
        mark += QStringLiteral(" &nbsp; [%1]").arg(esc(text(Text::Copy, lang)));
    if (!approved(c))
        mark += QStringLiteral(" &nbsp; [%1]").arg(esc(text(Text::Draft, lang)));
    QString html = QStringLiteral("<h2>%1%2</h2><p><b>%3: %4</b></p>")
                       .arg(esc(text(Text::CertificateTitle, lang)), mark, esc(text(Text::CertificateNumber, lang)),
                            numberText(c.number));
    if (c.replaces > 0)
        html += QStringLiteral("<p><b>%1</b></p>").arg(esc(text(Text::Replaces, lang).arg(numberText(c.replaces))));
    if (c.withdrawnBy > 0)
        html += QStringLiteral("<p><b>%1</b></p>").arg(esc(text(Text::Withdrawn, lang).arg(numberText(c.withdrawnBy))));
    if (!approved(c))
        html += QStringLiteral("<p><b>%1</b></p>").arg(esc(text(Text::DraftNotice, lang)));
    return html;
}

Text roleText(const QString &role)
{
    return role == QLatin1String("meter") ? Text::RoleMeter : Text::RoleSource;
}

// The instruments the runs used, each once, under the traceability statement.
QString instrumentsUsed(const CertificateContent &c)
{
    QStringList lines;
    for (const auto &r : {c.asFound, c.asLeft}) {
        for (const UsedInstrument &i : r ? r->instruments : QVector<UsedInstrument>()) {
            const QString role = i.role == QLatin1String("environment") ? environmentRoleText(c.language)
                                                                        : text(roleText(i.role), c.language);
            const QString line = text(Text::UsedInstrumentLine, c.language)
                                     .arg(role, i.model, i.identity, i.serial,
                                          i.certificate, i.due.isValid() ? i.due.toString(Qt::ISODate) : QStringLiteral("—"));
            if (!lines.contains(line))
                lines << line;
        }
    }
    if (lines.isEmpty())
        return QString();
    QString html = QStringLiteral("<p>%1</p><ul>").arg(esc(text(Text::InstrumentsUsed, c.language)));
    for (const QString &line : lines)
        html += QStringLiteral("<li>%1</li>").arg(esc(line));
    return html + QStringLiteral("</ul>");
}

// Where the ambient came from, and what an electrical check of a thermocouple
// input leaves unverified.
QString conditions(const Header &h, int lang)
{
    QString html;
    if (!ambientStatement(h, lang).isEmpty())
        html += QStringLiteral("<p>%1</p>").arg(esc(ambientStatement(h, lang)));
    if (isThermocoupleInput(h))
        html += QStringLiteral("<p>%1</p>").arg(esc(coldJunctionStatement(lang)));
    return html;
}

QString statements(const CertificateContent &c)
{
    const int lang = c.language;
    const Header &h = anyRecord(c).header;
    QString html = QStringLiteral("<h3>%1</h3>")
                       .arg(esc(text(Text::Conformity, lang).arg(verdictText(overallVerdict(c), lang))));
    if (adjusted(c))
        html += QStringLiteral("<p>%1</p>").arg(esc(text(Text::AdjustedStatement, lang)));
    html += QStringLiteral("<p>%1</p>").arg(esc(decisionRuleStatement(h, perPoint(c), lang)));
    html += conditions(h, lang);
    html += QStringLiteral("<p>%1: %2</p>").arg(esc(text(Text::Uncertainty, lang)),
                                               esc(perPoint(c) ? text(Text::UncertaintyPerPoint, lang) : uncertaintyText(h, lang)));
    html += QStringLiteral("<p>%1</p>").arg(esc(text(Text::Traceability, lang)
                                                 .arg(h.reference, h.referenceCertificate,
                                                      h.referenceDue.toString(Qt::ISODate))));
    html += instrumentsUsed(c);
    if (!h.referenceOverride.isEmpty())
        html += QStringLiteral("<p><b>%1</b> %2</p>").arg(esc(text(Text::ReferenceOverridden, lang)), esc(h.referenceOverride));
    return html + QStringLiteral("<p>%1</p>").arg(esc(text(Text::RelatesOnly, lang)));
}

// Drawn as outlines, not text: the word shows on the page but stays out of the
// certificate's text, so a reader extracting it gets the certificate alone.
void drawWatermark(QPainter &painter, const QSizeF &page, const QString &word)
{
    QFont big = painter.font();
    big.setPointSizeF(96);
    big.setBold(true);
    QPainterPath path;
    path.addText(0, 0, big, word);
    const QRectF box = path.boundingRect();
    painter.save();
    painter.translate(page.width() / 2, page.height() / 2);
    painter.rotate(-45);
    painter.translate(-box.center());
    painter.fillPath(path, QColor(200, 200, 200, 110));
    painter.restore();
}

// Prints `content` through `writer`; the page count, 0 on failure.
int print(QPdfWriter &writer, const CertificateContent &content)
{
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(text(Text::CertificateTitle, content.language));
    writer.setCreator(QStringLiteral("TCal"));
    QPainter painter;
    if (!painter.begin(&writer))
        return 0;
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&writer);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPointSizeF(9);
    doc.setDefaultFont(font);
    doc.setHtml(certificateHtml(content));
    painter.setFont(font);
    const int footer = painter.fontMetrics().height() * 2;
    const QSizeF body(writer.width(), writer.height() - footer);
    doc.setPageSize(body);
    const int count = doc.pageCount();
    const QString who = QStringLiteral("%1 %2 · %3").arg(text(Text::CertificateNumber, content.language),
                                                         numberText(content.number), anyRecord(content).header.serial);
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !writer.newPage())
            return 0;
        if (!approved(content))
            drawWatermark(painter, body, text(Text::Draft, content.language));
        painter.save();
        const QRectF view(0, i * body.height(), body.width(), body.height());
        painter.translate(0, -view.top());
        doc.drawContents(&painter, view);
        painter.restore();
        const QRect foot(0, int(body.height()) + footer / 4, int(body.width()), footer);
        painter.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter, who);
        painter.drawText(foot, Qt::AlignRight | Qt::AlignVCenter,
                         text(Text::PageOf, content.language).arg(i + 1).arg(count));
    }
    return painter.end() ? count : 0;
}

} // namespace

Issuer readIssuer(QSettings &settings)
{
    settings.beginGroup(QStringLiteral("certificate"));
    Issuer i{settings.value(QStringLiteral("laboratoryAddress")).toString(),
             settings.value(QStringLiteral("customer")).toString(),
             settings.value(QStringLiteral("customerAddress")).toString()};
    settings.endGroup();
    return i;
}

void writeIssuer(QSettings &settings, const Issuer &i)
{
    settings.beginGroup(QStringLiteral("certificate"));
    settings.setValue(QStringLiteral("laboratoryAddress"), i.laboratoryAddress.trimmed());
    settings.setValue(QStringLiteral("customer"), i.customer.trimmed());
    settings.setValue(QStringLiteral("customerAddress"), i.customerAddress.trimmed());
    settings.endGroup();
}

QString meaningKey(Signature::Meaning meaning)
{
    switch (meaning) {
    case Signature::Meaning::Reviewed: return QStringLiteral("reviewed");
    case Signature::Meaning::Approved: return QStringLiteral("approved");
    case Signature::Meaning::Performed: break;
    }
    return QStringLiteral("performed");
}

std::optional<Signature::Meaning> meaningFromKey(const QString &key)
{
    for (auto m : {Signature::Meaning::Performed, Signature::Meaning::Reviewed, Signature::Meaning::Approved})
        if (meaningKey(m) == key)
            return m;
    return std::nullopt;
}

QJsonObject signatureToJson(const Signature &s)
{
    QJsonObject o{{"meaning", meaningKey(s.meaning)}, {"name", s.name}, {"function", s.function}, {"login", s.login},
                  {"time", s.time.toUTC().toString(Qt::ISODateWithMs)}};
    if (!s.key.isEmpty())
        o.insert("key", QString::fromLatin1(s.key));
    return o;
}

std::optional<Signature> signatureFromJson(const QJsonObject &o)
{
    const auto meaning = meaningFromKey(o.value("meaning").toString());
    const QDateTime time = QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs);
    if (!meaning || !time.isValid() || o.value("name").toString().trimmed().isEmpty())
        return std::nullopt;
    return Signature{*meaning, o.value("name").toString(), o.value("function").toString(), o.value("login").toString(),
                     time, o.value("key").toString().toLatin1()};
}

Verdict overallVerdict(const CertificateContent &content)
{
    if (content.asLeft)
        return verdict(*content.asLeft);
    return content.asFound ? verdict(*content.asFound) : Verdict::Incomplete;
}

bool adjusted(const CertificateContent &content)
{
    return content.asFound && content.asLeft && verdict(*content.asFound) == Verdict::Fail;
}

bool approved(const CertificateContent &content)
{
    for (const Signature &s : content.signatures)
        if (s.meaning == Signature::Meaning::Approved)
            return true;
    return false;
}

QString certificateHtml(const CertificateContent &c)
{
    QString html = titleBlock(c) + partiesTable(c) + itemTable(c);
    if (c.asFound)
        html += checkTable(*c.asFound, Text::AsFound, c.language);
    if (c.asLeft)
        html += checkTable(*c.asLeft, Text::AsLeft, c.language);
    html += receiptSection(c.receipt, anyRecord(c).header, !anyRecord(c).instruments.isEmpty(), c.language);
    html += statements(c) + signatures(c) + budgetAnnexHtml(c);
    return html + QStringLiteral("<p align='center'>%1</p>").arg(esc(text(Text::EndOfCertificate, c.language)));
}

QByteArray certificatePdf(const CertificateContent &content, int *pages)
{
    if (!content.asFound && !content.asLeft)
        return {};
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    int count = 0;
    {
        QPdfWriter writer(&buffer);
        count = print(writer, content);
    }
    if (pages)
        *pages = count;
    return count > 0 ? buffer.data() : QByteArray();
}

bool writeCertificate(const QString &path, const CertificateContent &content, int *pages)
{
    const QByteArray pdf = certificatePdf(content, pages);
    // Written whole or not at all: a half-written file never takes a certificate's name.
    QSaveFile file(path);
    return !pdf.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size() && file.commit();
}

} // namespace record
