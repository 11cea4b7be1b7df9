#include "remembered_settings.h"
#include "widget.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("TCal"));
    QCoreApplication::setApplicationName(QStringLiteral("tcal"));
    if (app.arguments().contains(QStringLiteral("--reset-settings")))
        prefs::forget();
    Widget window;
    prefs::remember(&window);
    window.show();
    return app.exec();
}
