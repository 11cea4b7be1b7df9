// The selected calibration's details beside the list: each check's points
// with their error, U and verdict, its signatures with who and when, the
// certificates and the chain's state.

#include "tabs/records_view.h"

#include "record/calibration_record.h"
#include "texts/engine_texts.h"

#include <QTextBrowser>

using records::CalibrationRow;
using Meaning = record::Signature::Meaning;

namespace {

rv::Text meaningText(Meaning meaning)
{
    switch (meaning) {
    case Meaning::Performed: return rv::Text::SignaturePerformed;
    case Meaning::Reviewed: return rv::Text::SignatureReviewed;
    case Meaning::Approved: break;
    }
    return rv::Text::SignatureApproved;
}

QString pointLine(const record::Point &p, const record::Header &h, int language)
{
    const QString unit = h.unit;
    if (p.status != record::Point::Status::Recorded)
        return QStringLiteral("%1 %2: %3").arg(p.reference).arg(unit, rv::text(rv::Text::Incomplete, language));
    const record::PointFigures f = record::figures(p, h);
    // The figures as the certificate states them, so that the two never disagree.
    const QString u = f.expanded ? QString::number(*f.expanded, 'f', record::uncertaintyDecimals(*f.expanded))
                                 : QStringLiteral("—");
    return rv::text(rv::Text::PointLine, language)
        .arg(QStringLiteral("%1 %2").arg(QString::number(p.reference, 'f', f.decimals), unit),
             QString::number(f.reading, 'f', f.decimals), QString::number(f.error, 'f', f.decimals), u,
             rv::text(f.passed ? rv::Text::Pass : rv::Text::Fail, language));
}

QString checkHtml(const records::Check &c, int language)
{
    const record::Record &r = c.record;
    const QString stage = rv::text(r.stage == record::Stage::AsLeft ? rv::Text::AsLeft : rv::Text::AsFound, language);
    QString html = QStringLiteral("<h4>%1</h4><ul>")
                       .arg(rv::text(rv::Text::RecordLine, language)
                                .arg(r.id ? QString::number(r.id) : rv::text(rv::Text::StateDraft, language), stage,
                                     record::localTimeText(r.started, false))
                                .toHtmlEscaped());
    for (const record::Point &p : r.points)
        html += QStringLiteral("<li>%1</li>").arg(pointLine(p, r.header, language).toHtmlEscaped());
    html += QStringLiteral("</ul><p><b>%1</b></p><ul>").arg(rv::text(rv::Text::Signatures, language));
    if (c.signatures.isEmpty())
        html += QStringLiteral("<li>%1</li>").arg(rv::text(rv::Text::NoSignatures, language));
    for (const record::Signature &s : c.signatures)
        html += QStringLiteral("<li>%1</li>")
                    .arg(rv::text(rv::Text::SignatureLine, language)
                             .arg(rv::text(meaningText(s.meaning), language), s.name, s.login,
                                  record::localTimeText(s.time.toLocalTime()))
                             .toHtmlEscaped());
    return html + QStringLiteral("</ul>");
}

} // namespace

void RecordsView::showDetails()
{
    const CalibrationRow *row = selected();
    if (!row) {
        m_details->clear();
        return;
    }
    QString html = QStringLiteral("<h3>%1 %2</h3>").arg(row->serial().toHtmlEscaped(), row->tag().toHtmlEscaped());
    html += QStringLiteral("<p>%1</p>").arg(rv::text(records::stateText(row->state), m_language));
    if (row->certificate)
        html += QStringLiteral("<p>%1</p>").arg(rv::text(rv::Text::CertificateLine, m_language).arg(row->certificate, 6, 10, QLatin1Char('0')));
    if (row->withdrawn)
        html += QStringLiteral("<p>%1</p>")
                    .arg(rv::text(rv::Text::WithdrawnLine, m_language)
                             .arg(QStringLiteral("%1").arg(row->withdrawn, 6, 10, QLatin1Char('0')),
                                  QStringLiteral("%1").arg(row->withdrawnBy, 6, 10, QLatin1Char('0'))));
    for (const records::Check *c : row->checks())
        html += checkHtml(*c, m_language);
    html += QStringLiteral("<p><b>%1</b>: %2</p>")
                .arg(rv::text(rv::Text::ChainState, m_language),
                     m_context.chainIntact
                         ? rv::text(rv::Text::ChainIntact, m_language).arg(m_entries)
                         : rv::text(rv::Text::ChainBroken, m_language).arg(enginetext::render(m_context.chainFault, m_language).toHtmlEscaped()));
    if (!m_headNoteProblem.isEmpty())
        html += QStringLiteral("<p><b>%1</b></p>")
                    .arg(rv::text(rv::Text::HeadNotNoted, m_language).arg(enginetext::render(m_headNoteProblem, m_language).toHtmlEscaped()));
    m_details->setHtml(html);
}
