#pragma once
// What ISO/IEC 17025:2017 7.8 asks of a certificate beyond the results: where
// it was calibrated (7.8.2.1 c), when the item was received (h) and in what
// condition (g), the environment and where that figure comes from, results
// from external providers (p), the data the customer supplied, marked
// (7.8.2.2), and the specified requirement the decision rule applies to
// (7.8.6). Given when the certificate is issued and stored with it.

#include "record/calibration_record.h"

#include <QDate>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace record {

struct Receipt {
    QString place;               // where it was calibrated: the laboratory, or the site
    QDate received;              // invalid: not stated
    QString condition;           // of the item on receipt
    QString externalProviders;   // results from outside the laboratory; empty: none
    QStringList customerSupplied;   // header fields the customer supplied: tag, description, range, tolerance
};

// The fields that may be marked as supplied by the customer.
const QStringList &customerFields();

QJsonObject receiptToJson(const Receipt &receipt);
Receipt receiptFromJson(const QJsonObject &object);

// What the window's form calls each element, in `language`, as the certificate does.
enum class ReceiptField { Place, Received, Condition, External, Supplied, DateExample };
QString receiptLabel(ReceiptField field, int language);

// Why `receipt` cannot go on a certificate of checks calibrated on
// `calibrated`: a field the customer cannot supply, or an item received after
// it was calibrated. Empty when it can.
QString receiptRefusal(const Receipt &receipt, const QDate &calibrated, int language);

// The certificate's section of these elements, as rich text, in `language`.
QString receiptSection(const Receipt &receipt, const Header &header, bool automatic, int language);

} // namespace record
