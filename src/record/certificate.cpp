#include "record/certificate.h"

#include "record/record_table.h"
#include "record/record_texts.h"

#include <QAbstractTextDocumentLayout>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

namespace record {

namespace {

QString esc(const QString &s) { return s.toHtmlEscaped(); }

const Record &anyRecord(const CertificateContent &c)
{
    return c.asLeft ? *c.asLeft : *c.asFound;
}

QString numberText(const CertificateContent &c)
{
    return c.number > 0 ? QString::number(c.number).rightJustified(6, QLatin1Char('0')) : QStringLiteral("—");
}

// Header fields in two columns; long text wraps inside its cell.
QString headerTable(const CertificateContent &c)
{
    const Header &h = anyRecord(c).header;
    const int lang = c.language;
    const QString address = h.address > 0 ? QString::number(h.address) : QString();
    const QString uncertainty = h.uncertainty
        ? QStringLiteral("± %1 %2 (k=2)").arg(QString::number(*h.uncertainty, 'f', 2), h.unit) : QStringLiteral("—");
    const QList<QPair<Text, QString>> rows = {
        {Text::Laboratory, h.laboratory}, {Text::Procedure, h.procedure},
        {Text::Tag, h.tag}, {Text::Serial, h.serial},
        {Text::Description, h.description}, {Text::InputType, h.inputType},
        {Text::Range, rangeText(h)}, {Text::Address, address},
        {Text::ReferenceInstrument, h.reference}, {Text::ReferenceCertificate, h.referenceCertificate},
        {Text::ReferenceDue, h.referenceDue.toString(Qt::ISODate)},
        {Text::Ambient, h.ambient.isEmpty() ? QString() : h.ambient + QLatin1Char(' ') + h.unit},
        {Text::Tolerance, toleranceText(h, lang)}, {Text::Uncertainty, uncertainty},
        {Text::Technician, h.technician}, {Text::Issued, localTimeText(QDateTime::currentDateTimeUtc(), false)},
    };
    QString html = QStringLiteral("<table width='100%' cellspacing='0' cellpadding='2'>");
    for (int i = 0; i < rows.size(); i += 2) {
        html += QStringLiteral("<tr>");
        for (int j = i; j < i + 2 && j < rows.size(); ++j)
            html += QStringLiteral("<td width='18%'><b>%1</b></td><td width='32%'>%2</td>")
                        .arg(esc(text(rows[j].first, lang)), esc(rows[j].second));
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QString checkTable(const Record &r, Text title, int lang)
{
    QString html = QStringLiteral("<h3>%1 &nbsp; %2</h3>").arg(esc(text(title, lang)), esc(localTimeText(r.started, false)));
    if (r.amendment)
        html += QStringLiteral("<p>%1</p>").arg(esc(text(Text::AmendmentOf, lang)
                                                     .arg(r.amendment->supersedes).arg(r.amendment->reason, r.amendment->author)));
    // The header row is a <thead>: the layout repeats it on every page the table spans.
    html += QStringLiteral("<table width='100%' border='1' cellspacing='0' cellpadding='3'><thead><tr>");
    for (const QString &t : columnTitles(lang))
        html += QStringLiteral("<th>%1</th>").arg(esc(t).replace(QLatin1Char('\n'), QStringLiteral("<br>")));
    html += QStringLiteral("</tr></thead>");
    for (const Point &p : r.points) {
        html += QStringLiteral("<tr>");
        for (const QString &cell : rowCells(p, r.header, lang))
            html += QStringLiteral("<td align='center'>%1</td>").arg(esc(cell));
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    return html + QStringLiteral("<p><b>%1: %2</b></p>")
                      .arg(esc(text(Text::Verdict, lang)), esc(verdictText(verdict(r), lang)));
}

QString decisionRule(const Header &h, int lang)
{
    const QString resolution = QString::number(h.resolution, 'f', decimalsOf(h.resolution));
    if (h.uncertainty)
        return text(Text::DecisionRuleGuarded, lang)
            .arg(resolution, h.unit, QString::number(acceptanceLimit(h.tolerance, h.range, *h.uncertainty), 'f', 2));
    return text(Text::DecisionRule, lang).arg(resolution, h.unit);
}

QString signatures(int lang)
{
    QString html = QStringLiteral("<br><table width='100%' cellpadding='6'><tr>");
    for (Text who : {Text::SignTechnician, Text::SignReviewer})
        html += QStringLiteral("<td width='30%'>%1: ____________________</td><td width='20%'>%2: ____________</td>")
                    .arg(esc(text(who, lang)), esc(text(Text::SignDate, lang)));
    return html + QStringLiteral("</tr></table>");
}

} // namespace

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

QString certificateHtml(const CertificateContent &c)
{
    const int lang = c.language;
    const Header &h = anyRecord(c).header;
    QString html = QStringLiteral("<h2>%1</h2><p><b>%2: %3</b></p>")
                       .arg(esc(text(Text::CertificateTitle, lang)), esc(text(Text::CertificateNumber, lang)),
                            numberText(c));
    html += headerTable(c);
    if (c.asFound)
        html += checkTable(*c.asFound, Text::AsFound, lang);
    if (c.asLeft)
        html += checkTable(*c.asLeft, Text::AsLeft, lang);
    html += QStringLiteral("<h3>%1: %2</h3>").arg(esc(text(Text::Verdict, lang)), esc(verdictText(overallVerdict(c), lang)));
    if (adjusted(c))
        html += QStringLiteral("<p>%1</p>").arg(esc(text(Text::AdjustedStatement, lang)));
    html += QStringLiteral("<p>%1</p>").arg(esc(decisionRule(h, lang)));
    if (!h.referenceOverride.isEmpty())
        html += QStringLiteral("<p><b>%1</b> %2</p>").arg(esc(text(Text::ReferenceOverridden, lang)), esc(h.referenceOverride));
    return html + signatures(lang);
}

bool writeCertificate(const QString &path, const CertificateContent &content, int *pages)
{
    if (!content.asFound && !content.asLeft)
        return false;
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(text(Text::CertificateTitle, content.language));
    writer.setCreator(QStringLiteral("TCal"));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;

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
                                                         numberText(content), anyRecord(content).header.serial);
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !writer.newPage())
            return false;
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
    if (pages)
        *pages = count;
    return painter.end() && QFileInfo(path).size() > 0;
}

} // namespace record
