#pragma once
// The PDF certificate: header fields, the as-found and as-left tables, the
// verdicts with the decision rule, and signature lines. Laid out by Qt's
// rich-text document and printed through QPdfWriter page by page (table
// header repeated, "page x of y"), so nothing is cut however many points.

#include "record/calibration_record.h"

#include <QString>
#include <optional>

class QTextDocument;

namespace record {

struct CertificateContent {
    std::optional<Record> asFound;
    std::optional<Record> asLeft;
    int language = 2;
    qint64 number = 0;   // from the database's sequence; 0 when not issued
};

// The verdict a certificate states: the as-left check's when there is one.
Verdict overallVerdict(const CertificateContent &content);

// An as-found check failed and an as-left one followed: the transmitter was adjusted.
bool adjusted(const CertificateContent &content);

// The certificate as rich text (what the PDF prints).
QString certificateHtml(const CertificateContent &content);

// False when there is nothing to certify or the file cannot be written;
// `pages` receives the number of pages printed.
bool writeCertificate(const QString &path, const CertificateContent &content, int *pages = nullptr);

} // namespace record
