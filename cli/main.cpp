// tcal-cli: the transmitter's configuration, live values and registers from a
// shell or a script, on the same core as the window.

#include "arguments.h"
#include "core/configuration.h"
#include "instruments_commands.h"
#include "records_commands.h"
#include "standards_commands.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// A usage error; with --json among the arguments it is an error object on
// standard output as well, as every other error is.
int usageError(const QString &message)
{
    std::fprintf(stderr, "tcal-cli: %s\n", qPrintable(message));
    if (QCoreApplication::arguments().contains(QStringLiteral("--json"))) {
        const QJsonObject error{{"code", int(cli::UsageError)}, {"message", message}};
        std::printf("%s", QJsonDocument(QJsonObject{{"error", error}, {"exitStatus", int(cli::UsageError)}})
                              .toJson().constData());
    }
    return cli::UsageError;
}

// A certificate (also the draft an unattended run writes) is laid out with fonts, which takes a GUI application; it
// needs no display (the offscreen platform unless another is chosen).
bool printsCertificate(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "certificate") == 0 || std::strcmp(argv[i], "auto") == 0
            || std::strcmp(argv[i], "batch") == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    const bool gui = printsCertificate(argc, argv);
    if (gui && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app(gui ? new QGuiApplication(argc, argv) : new QCoreApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("tcal-cli"));
    QCoreApplication::setApplicationVersion(config::toolVersion());

    const cli::Parsed parsed = cli::parseArguments(QCoreApplication::arguments());
    if (!parsed.invocation) {
        std::fputs(qPrintable(parsed.output), stdout);
        return parsed.error.isEmpty() ? parsed.exitCode : usageError(parsed.error);
    }
    const cli::Invocation &inv = *parsed.invocation;

    QTextStream out(stdout);
    QTextStream err(stderr);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    out.setCodec("UTF-8");   // Qt 6 streams write UTF-8 already
    err.setCodec("UTF-8");
#endif
    if (inv.command == QLatin1String("records"))
        return cli::runRecords(inv, out, err);
    if (inv.command == QLatin1String("instruments"))
        return cli::runInstruments(inv, out, err);
    if (inv.command == QLatin1String("standards"))
        return cli::runStandards(inv, out, err);
    return cli::run(inv, out, err);
}
