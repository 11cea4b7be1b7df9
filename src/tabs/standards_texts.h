#pragma once
// Every text of the reference standards dialog in the three languages, as data.

#include <QString>

namespace standardstext {

enum class Text {
    Title,
    Serial,
    Model,
    Description,
    Certificate,
    Calibrated,
    Due,
    Status,
    Save,
    New,
    Saved,       // %1 serial
    Overdue,
    DueSoon,
    Terms,
    TermsU,
    TermsK,
    TermsCorrection,
    TermsDrift,
    TermsHint,
    BadTerms,    // %1 function
    Count
};

QString text(Text which, int language);

} // namespace standardstext
