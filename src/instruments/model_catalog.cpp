// Where model files are looked for, and finding one by name.
#include "instruments/model.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "instruments/built_in_models.h"

// Outside any namespace, as Q_INIT_RESOURCE needs.
static void initBuiltInModels()
{
    Q_INIT_RESOURCE(tcal_instruments);
}

namespace instruments {

void registerBuiltInModels()
{
    static const bool done = (initBuiltInModels(), true);
    Q_UNUSED(done)
}

namespace {

const QString kBuiltIn = QStringLiteral(":/instruments");
const QString kSubfolder = QStringLiteral("tcal/instruments");

bool looksLikePath(const QString &text)
{
    return text.contains(QLatin1Char('/')) || text.contains(QLatin1Char('\\'))
           || text.endsWith(QLatin1String(".json"), Qt::CaseInsensitive) || QFileInfo(text).isFile();
}

} // namespace

QStringList modelFolders()
{
    registerBuiltInModels();
    QStringList folders;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!data.isEmpty())
        folders << QDir(data).filePath(kSubfolder);
    if (QCoreApplication::instance())
        folders << QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/")
                                   + kSubfolder);
    folders << kBuiltIn;
    folders.removeDuplicates();
    return folders;
}

QVector<Model> availableModels(QStringList *problems)
{
    QVector<Model> models;
    QStringList names;
    for (const QString &folder : modelFolders()) {
        const QDir dir(folder);
        const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
        for (const QString &file : files) {
            QString why;
            const std::optional<Model> model = readModel(dir.filePath(file), &why);
            if (!model) {
                if (problems)
                    *problems << why;
            } else if (!names.contains(model->name, Qt::CaseInsensitive)) {
                names << model->name;
                models << *model;
            }
        }
    }
    return models;
}

std::optional<Model> findModel(const QString &nameOrPath, QString *why)
{
    const QString wanted = nameOrPath.trimmed();
    if (wanted.isEmpty()) {
        if (why)
            *why = QStringLiteral("no instrument model named");
        return std::nullopt;
    }
    if (looksLikePath(wanted))
        return readModel(wanted, why);
    QStringList problems;
    const QVector<Model> models = availableModels(&problems);
    QStringList names;
    for (const Model &model : models) {
        if (model.name.compare(wanted, Qt::CaseInsensitive) == 0)
            return model;
        names << model.name;
    }
    if (why) {
        *why = QStringLiteral("no instrument model \"%1\" in %2; known: %3")
                   .arg(wanted, modelFolders().join(QStringLiteral(", ")),
                        names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", ")));
        if (!problems.isEmpty())
            *why += QStringLiteral("; unreadable: ") + problems.join(QStringLiteral("; "));
    }
    return std::nullopt;
}

} // namespace instruments
