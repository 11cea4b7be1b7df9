#pragma once
// Counts the frames the RTU master discards for a bad CRC. Qt's master does
// not report them on the reply: it logs a warning on "qt.modbus" and lets the
// request time out. While a CrcWatch exists, a message handler recognises that
// warning and counts it, passing every message on to the handler before it.

#include <QtGlobal>

namespace diag {

class CrcWatch
{
public:
    CrcWatch();    // the first watch installs the handler
    ~CrcWatch();   // the last one puts the previous handler back

    CrcWatch(const CrcWatch &) = delete;
    CrcWatch &operator=(const CrcWatch &) = delete;

    // Discards seen since the first watch was installed; a request compares the
    // figure at its start with the one at its end.
    static quint64 discards();

    // True for the master's discard message (exposed for the unit test).
    static bool isCrcDiscard(const char *category, const QString &message);
};

} // namespace diag
