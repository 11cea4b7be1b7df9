#pragma once
// The one-page PDF certificate: header, as-found and as-left tables side by
// side, the verdict and signature lines. Qt's own PDF writer, no widgets.

#include "calibration_record.h"

#include <QString>
#include <optional>

namespace record {

struct CertificateContent {
    std::optional<Record> asFound;
    std::optional<Record> asLeft;
    int language = 2;
};

// The verdict a certificate states: the as-left check's when there is one.
Verdict overallVerdict(const CertificateContent &content);

// False when there is nothing to certify or the file cannot be written.
bool writeCertificate(const QString &path, const CertificateContent &content);

} // namespace record
