#pragma once
// The certificate's annex: each point's uncertainty budget as the run
// computed it, so a reader can follow U from every contribution.

#include "record/certificate.h"

namespace record {

// HTML of the annex, starting on a page of its own; empty when no point
// carries its budget (a check typed in the window).
QString budgetAnnexHtml(const CertificateContent &content);

} // namespace record
