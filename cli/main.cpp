// tcal-cli: the transmitter's configuration, live values and registers from a
// shell or a script, on the same core as the window.

#include "arguments.h"
#include "configuration.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tcal-cli"));
    QCoreApplication::setApplicationVersion(config::toolVersion());

    const cli::Parsed parsed = cli::parseArguments(QCoreApplication::arguments());
    if (!parsed.invocation) {
        std::fputs(qPrintable(parsed.output), stdout);
        if (!parsed.error.isEmpty())
            std::fprintf(stderr, "tcal-cli: %s\n", qPrintable(parsed.error));
        return parsed.exitCode;
    }

    QTextStream out(stdout);
    QTextStream err(stderr);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    out.setCodec("UTF-8");   // Qt 6 streams write UTF-8 already
    err.setCodec("UTF-8");
#endif
    return cli::run(*parsed.invocation, out, err);
}
