#include "window/close_on_signal.h"
#include "window/remembered_settings.h"
#include "window/widget.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QIcon>

namespace {

// --help and --version must work without a display (a terminal, a package
// test), so those never create the GUI application.
bool onlyTextWanted(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-v"
            || arg == "--version")
            return true;
    }
    return false;
}

// Exits for --help, --version and unknown options; --port becomes TCAL_PORT,
// the one place the port list reads its preselection from; --reset-settings
// forgets what earlier runs remembered.
void parseArguments(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Configuration and calibration of a 4-20 mA temperature transmitter over Modbus RTU."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Preselect serial port <path> (also: TCAL_PORT)."),
                                  QStringLiteral("path"));
    parser.addOption(port);
    const QCommandLineOption reset(QStringLiteral("reset-settings"),
                                   QStringLiteral("Start with the default settings."));
    parser.addOption(reset);
    parser.process(app);
    if (parser.isSet(port))
        qputenv("TCAL_PORT", QFile::encodeName(parser.value(port)));
    if (parser.isSet(reset))
        prefs::forget();
}

void describe()
{
    QCoreApplication::setApplicationName(QStringLiteral("tcal"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TCAL_VERSION));
}

} // namespace

int main(int argc, char *argv[])
{
    describe();
    if (onlyTextWanted(argc, argv)) {
        QCoreApplication app(argc, argv);
        parseArguments(app);
        return 0;
    }
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("TCal"));
    parseArguments(app);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/tcal.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tcal.TCal"));
    Widget window;
    prefs::remember(&window);
    platform::TerminationSignal stop;
    closeOnTermination(stop, window);
    window.show();
    return app.exec();
}
