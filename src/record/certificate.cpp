#include "certificate.h"

#include "record_table.h"
#include "record_texts.h"

#include <QPainter>
#include <QPdfWriter>

namespace record {

namespace {

// Drawing state: the painter, the page width and the pen's vertical position.
struct Page {
    QPainter &p;
    int width;
    int y;
    int line() const { return p.fontMetrics().height() * 13 / 10; }
};

void setFont(QPainter &p, double points, bool bold)
{
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPointSizeF(points);
    font.setBold(bold);
    p.setFont(font);
}

const Record &anyRecord(const CertificateContent &c)
{
    return c.asLeft ? *c.asLeft : *c.asFound;
}

void drawHeader(Page &page, const CertificateContent &c)
{
    const Header &h = anyRecord(c).header;
    const int lang = c.language;
    setFont(page.p, 16, true);
    page.p.drawText(QRect(0, page.y, page.width, page.line()), Qt::AlignLeft | Qt::AlignVCenter,
                    text(Text::CertificateTitle, lang));
    page.y += page.line() * 3 / 2;
    setFont(page.p, 9, false);
    const QList<QPair<Text, QString>> left = {
        {Text::Tag, h.tag}, {Text::Serial, h.serial}, {Text::Description, h.description},
        {Text::Technician, h.technician}};
    const QList<QPair<Text, QString>> right = {
        {Text::ReferenceInstrument, h.reference},
        {Text::ReferenceDue, h.referenceDue.toString(Qt::ISODate)},
        {Text::Ambient, h.ambient.isEmpty() ? QString() : h.ambient + QStringLiteral(" °C")},
        {Text::Tolerance, toleranceText(h, lang)}};
    const int half = page.width / 2;
    for (int i = 0; i < left.size(); ++i) {
        const int y = page.y + i * page.line();
        page.p.drawText(0, y, half, page.line(), Qt::AlignVCenter,
                        text(left[i].first, lang) + QStringLiteral(": ") + left[i].second);
        page.p.drawText(half, y, half, page.line(), Qt::AlignVCenter,
                        text(right[i].first, lang) + QStringLiteral(": ") + right[i].second);
    }
    page.y += left.size() * page.line();
    page.p.drawText(0, page.y, page.width, page.line(), Qt::AlignVCenter,
                    text(Text::RangeLower, lang) + QStringLiteral(" / ") + text(Text::RangeUpper, lang)
                        + QStringLiteral(": ") + rangeText(h));
    page.y += page.line() * 3 / 2;
}

// One check's table in the column at x; returns the height used.
int drawTable(QPainter &p, const QRect &area, const std::optional<Record> &record, Text title,
              int language)
{
    setFont(p, 10, true);
    const int rowHeight = p.fontMetrics().height() * 14 / 10;
    QString heading = text(title, language);
    if (record)
        heading += QStringLiteral("  ") + record->started.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    p.drawText(area.x(), area.y(), area.width(), rowHeight, Qt::AlignVCenter, heading);
    int y = area.y() + rowHeight;
    setFont(p, 7, true);
    const QStringList titles = columnTitles(language);
    const int cell = area.width() / titles.size();
    auto drawRow = [&](const QStringList &cells) {
        for (int i = 0; i < cells.size(); ++i) {
            const QRect r(area.x() + i * cell, y, cell, rowHeight);
            p.drawRect(r);
            p.drawText(r.adjusted(2, 0, -2, 0), Qt::AlignCenter | Qt::TextWordWrap, cells[i]);
        }
        y += rowHeight;
    };
    drawRow(titles);
    setFont(p, 7, false);
    if (record) {
        for (const Point &point : record->points)
            drawRow(rowCells(point, record->header, language));
    }
    setFont(p, 10, true);
    const QString result = record ? verdictText(verdict(*record), language) : QStringLiteral("—");
    p.drawText(area.x(), y, area.width(), rowHeight, Qt::AlignVCenter,
               text(Text::Verdict, language) + QStringLiteral(": ") + result);
    return y + rowHeight - area.y();
}

void drawSignatures(Page &page, int language)
{
    setFont(page.p, 10, false);
    const int half = page.width / 2;
    for (int column = 0; column < 2; ++column) {
        const Text who = column == 0 ? Text::SignTechnician : Text::SignReviewer;
        const int x = column * half;
        page.p.drawText(x, page.y, half, page.line(), Qt::AlignVCenter, text(who, language) + QLatin1Char(':'));
        page.p.drawLine(x, page.y + page.line() * 2, x + half * 6 / 10, page.y + page.line() * 2);
        page.p.drawText(x + half * 65 / 100, page.y, half / 3, page.line(), Qt::AlignVCenter,
                        text(Text::SignDate, language) + QLatin1Char(':'));
        page.p.drawLine(x + half * 65 / 100, page.y + page.line() * 2, x + half * 95 / 100,
                        page.y + page.line() * 2);
    }
}

} // namespace

Verdict overallVerdict(const CertificateContent &content)
{
    if (content.asLeft)
        return verdict(*content.asLeft);
    return content.asFound ? verdict(*content.asFound) : Verdict::Incomplete;
}

bool writeCertificate(const QString &path, const CertificateContent &content)
{
    if (!content.asFound && !content.asLeft)
        return false;
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageOrientation(QPageLayout::Landscape);
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(text(Text::CertificateTitle, content.language));
    writer.setCreator(QStringLiteral("TCal"));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    Page page{painter, writer.width(), 0};
    drawHeader(page, content);

    const int gap = page.width / 40;
    const int column = (page.width - gap) / 2;
    const int used = std::max(
        drawTable(painter, QRect(0, page.y, column, 0), content.asFound, Text::AsFound, content.language),
        drawTable(painter, QRect(column + gap, page.y, column, 0), content.asLeft, Text::AsLeft,
                  content.language));
    page.y += used + page.line();

    setFont(painter, 14, true);
    painter.drawText(0, page.y, page.width, page.line(), Qt::AlignVCenter,
                     text(Text::Verdict, content.language) + QStringLiteral(": ")
                         + verdictText(overallVerdict(content), content.language));
    page.y += page.line() * 3;
    drawSignatures(page, content.language);
    return painter.end();
}

} // namespace record
