#include "record/certificate_receipt.h"
#include "record/decision_texts.h"

#include <QJsonArray>

namespace record {

namespace {

enum Line { Place, Received, Condition, Environment, AmbientTyped, AmbientMeasured, Requirement, External, NoExternal,
            Supplied, NotStated, Title, PercentOfSpan, SuppliedFields, DateExample, ReceivedLate, NotSupplied };

// Three languages per line: Simplified Chinese, Traditional Chinese, English.
const char *const kTexts[][3] = {
    {"校准地点", "校準地點", "Place of calibration"},
    {"接收日期", "接收日期", "Date of receipt"},
    {"接收时状态", "接收時狀態", "Condition of the item on receipt"},
    {"环境条件", "環境條件", "Environmental conditions"},
    {"环境温度 %1 °C（技术员录入）", "環境溫度 %1 °C（技術員輸入）", "ambient %1 °C (typed by the technician)"},
    {"环境温度 %1 °C（变送器接线端温度传感器测得）", "環境溫度 %1 °C（變送器接線端溫度感測器測得）",
     "ambient %1 °C (measured by the transmitter's terminal temperature sensor)"},
    {"规定要求（判定规则所适用）", "規定要求（判定規則所適用）", "Specified requirement (to which the decision rule applies)"},
    {"外部供方提供的结果", "外部供方提供的結果", "Results from external providers"},
    {"无", "無", "none"},
    {"标 * 者为客户提供的数据，本实验室不对其负责", "標 * 者為客戶提供的資料，本實驗室不對其負責",
     "Marked *: data supplied by the customer, for which the laboratory is not responsible"},
    {"未说明", "未說明", "not stated"},
    {"接收、地点与要求", "接收、地點與要求", "Receipt, place and requirement"},
    {"量程的 %", "量程的 %", "% of span"},
    {"客户提供的数据", "客戶提供的資料", "Supplied by the customer"},
    {"如 2026-12-01；空白为未说明", "如 2026-12-01；空白為未說明", "such as 2026-12-01; empty: not stated"},
    {"未出具：接收日期 %1 晚于校准日期 %2", "未出具：接收日期 %1 晚於校準日期 %2",
     "not issued: the date of receipt %1 is after the calibration on %2"},
    {"未出具：“%1”不是客户可提供的数据", "未出具：「%1」不是客戶可提供的資料",
     "not issued: \"%1\" is not data a customer supplies"},
};

QString t(Line line, int lang)
{
    return QString::fromUtf8(kTexts[line][qBound(0, lang, 2)]);
}

QString orNotStated(const QString &text, int lang)
{
    return text.trimmed().isEmpty() ? t(NotStated, lang) : text.trimmed();
}

QString fieldValue(const Header &h, const QString &field, int lang)
{
    if (field == QLatin1String("tag"))
        return h.tag;
    if (field == QLatin1String("description"))
        return h.description;
    if (field == QLatin1String("range"))
        return QStringLiteral("%1 … %2 %3").arg(h.range.lower).arg(h.range.upper).arg(h.unit);
    return QStringLiteral("±%1 %2").arg(h.tolerance.value).arg(h.tolerance.kind == Tolerance::Kind::Degrees ? h.unit
                                                                                                          : t(PercentOfSpan, lang));
}

} // namespace

const QStringList &customerFields()
{
    static const QStringList fields{"tag", "description", "range", "tolerance"};
    return fields;
}

QString receiptLabel(ReceiptField field, int lang)
{
    static const Line lines[] = {Place, Received, Condition, External, SuppliedFields, DateExample};
    return t(lines[int(field)], lang);
}

QString receiptRefusal(const Receipt &r, const QDate &calibrated, int lang)
{
    for (const QString &field : r.customerSupplied)
        if (!customerFields().contains(field))
            return t(NotSupplied, lang).arg(field);
    if (r.received.isValid() && calibrated.isValid() && r.received > calibrated)
        return t(ReceivedLate, lang).arg(r.received.toString(Qt::ISODate), calibrated.toString(Qt::ISODate));
    return {};
}

QJsonObject receiptToJson(const Receipt &r)
{
    return {{"place", r.place}, {"received", r.received.toString(Qt::ISODate)}, {"condition", r.condition},
            {"externalProviders", r.externalProviders}, {"customerSupplied", QJsonArray::fromStringList(r.customerSupplied)}};
}

Receipt receiptFromJson(const QJsonObject &o)
{
    Receipt r{o.value("place").toString(), QDate::fromString(o.value("received").toString(), Qt::ISODate),
              o.value("condition").toString(), o.value("externalProviders").toString(), {}};
    for (const QJsonValue &v : o.value("customerSupplied").toArray())
        r.customerSupplied << v.toString();
    return r;
}

QString receiptSection(const Receipt &r, const Header &h, bool automatic, int lang)
{
    const auto row = [](const QString &name, const QString &value) {
        return QStringLiteral("<tr><td width='35%'><b>%1</b></td><td>%2</td></tr>").arg(name.toHtmlEscaped(), value.toHtmlEscaped());
    };
    QString html = QStringLiteral("<h3>%1</h3><table width='100%' cellspacing='0' cellpadding='2'>").arg(t(Title, lang).toHtmlEscaped());
    html += row(t(Place, lang), orNotStated(r.place, lang));
    html += row(t(Received, lang), r.received.isValid() ? r.received.toString(Qt::ISODate) : t(NotStated, lang));
    html += row(t(Condition, lang), orNotStated(r.condition, lang));
    // A record that names its ambient's source says it; older ones were typed or read from the transmitter.
    html += row(t(Environment, lang), h.ambient.trimmed().isEmpty() ? t(NotStated, lang)
                                      : !h.ambientSource.isEmpty()
                                          ? ambientStatement(h, lang)
                                          : t(automatic ? AmbientMeasured : AmbientTyped, lang).arg(h.ambient.trimmed()));
    html += row(t(Requirement, lang), fieldValue(h, QStringLiteral("tolerance"), lang)
                                          + (r.customerSupplied.contains(QLatin1String("tolerance")) ? QStringLiteral(" *") : QString()));
    html += row(t(External, lang), r.externalProviders.trimmed().isEmpty() ? t(NoExternal, lang) : r.externalProviders.trimmed());
    QStringList supplied;
    for (const QString &field : r.customerSupplied)
        if (customerFields().contains(field))
            supplied << QStringLiteral("%1 *: %2").arg(field, fieldValue(h, field, lang));
    if (!supplied.isEmpty())
        html += row(t(Supplied, lang), supplied.join(QStringLiteral("; ")));
    return html + QStringLiteral("</table>");
}

} // namespace record
