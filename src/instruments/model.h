#pragma once
// Instrument models are data: one JSON file per model (keys in model.cpp and
// docs/instruments.md), so a laboratory adds its own without a rebuild.

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace instruments {

// Environment: a thermometer/hygrometer that reads the room the check is made in.
enum class Role { Calibrator, Meter, Switch, Environment };

struct Range {
    QString function;            // "mV", "ohm", "mA", or an environment's "degC" and "%RH"
    double upTo = 0;             // in the function's unit
    double percentOfReading = 0;
    double floor = 0;            // in the function's unit
    double resolution = 0;       // in the function's unit
    bool statedAtK2 = false;     // false: rectangular limits
    // Optional terms; unset when the file does not state them. +- the error of
    // a simulated resistance at the transmitter's excitation current (ohm ranges).
    std::optional<double> excitationEffect;
    // Per degC outside referenceFrom..referenceTo: +-(% of reading + floor).
    std::optional<double> coefficientPercentPerDegree;
    double coefficientFloorPerDegree = 0;
    double referenceFrom = 18, referenceTo = 28;
};

struct Command {
    QString text;                // "{value}" is replaced by value*scale, "{channels}" by a channel list
    double scale = 1.0;          // a query's number is multiplied by scale
};

// How a switch writes a list of channels: SCPI's "(@101,102)" unless the model says otherwise.
struct ChannelListForm {
    QString prefix = QStringLiteral("(@");
    QString separator = QStringLiteral(",");
    QString suffix = QStringLiteral(")");
};

struct Model {
    QString name;
    Role role = Role::Calibrator;
    QString file;
    QString identityPattern;     // regular expression the *IDN? answer must match
    QString terminator = QStringLiteral("\n");
    int timeoutMs = 2000;
    Command identify, reset, errorQuery, sourceMillivolts, sourceOhms, outputOn, outputOff,
        measureCurrent, routeClose, routeOpen, routeOpenAll,
        measureTemperature, measureHumidity;   // humidity: optional
    QVector<Range> ranges;          // none for a switch
    ChannelListForm channelList;    // a switch's
    int settleMs = 0;               // a switch waits this long after closing a route
};

// A switch channel as a map file or a model names it: 1 to 16 letters, digits
// or '!' (a scanner's "101", a matrix's "1!2!3"); never a range or a list.
bool isChannelName(const QString &channel);
// "(@101,102)" for {"101", "102"} in the model's form.
QString channelListText(const ChannelListForm &form, const QStringList &channels);

// The whole file checked: unknown keys, missing commands for its role, bad
// numbers, bad regex -> refused with a message.
std::optional<Model> readModel(const QString &path, QString *why);
// The smallest range of that function holding |value|.
std::optional<Range> rangeFor(const Model &model, const QString &function, double value);
// $XDG_DATA_HOME/tcal/instruments, then <prefix>/share/tcal/instruments beside
// the program, then ":/instruments" (built in).
QStringList modelFolders();
// Every readable model in those folders; unreadable ones named in problems. A
// model hides one of the same name in a later folder.
QVector<Model> availableModels(QStringList *problems);
// A file path, or a model's name.
std::optional<Model> findModel(const QString &nameOrPath, QString *why);

} // namespace instruments
