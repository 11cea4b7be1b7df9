#pragma once
// A standard's certificate terms in the Standards dialog: a row per function
// (mV, ohm, mA) with U, k, the correction and the drift per year as its own
// certificate states them. A row left empty states nothing for that function.

#include "records_db/standards_register.h"

#include <QTableWidget>
#include <optional>

class CertificateTermsTable : public QTableWidget
{
    Q_OBJECT

public:
    explicit CertificateTermsTable(int language, QWidget *parent = nullptr);
    void setTerms(const QMap<QString, recordsdb::CertificateTerms> &terms);
    // Every filled row read as tcal-cli's --certificate-terms reads it; nullopt
    // with `function` naming the first row that is not whole and valid.
    std::optional<QMap<QString, recordsdb::CertificateTerms>> terms(QString &function) const;
};
