#pragma once
// The commands of tcal-cli, one function each, writing to the given streams
// and returning the process's exit status.

#include "link/link.h"
#include "record/certificate_receipt.h"

#include <QDate>
#include <QList>
#include <optional>
#include <QStringList>
#include <QTextStream>
#include <optional>

namespace cli {

enum Exit {
    Success = 0,
    Different = 1,      // compare: not equal; apply: not verified; scan: nothing found
    UsageError = 2,
    LinkError = 3,      // port missing, device silent, exception reply, store refused
    FileError = 4,      // malformed, incompatible or invalid file, or it cannot be written
    Unsettled = 5,      // RAM holds unstored words, or the stored image is unknown: see the message
};

struct Invocation {
    rtu::SerialOptions line;
    QList<int> addresses;          // apply may name several; the others use line.address
    QString command;
    QStringList arguments;
    QString tag;
    QString description;
    double intervalSeconds = 1.0;
    int count = 0;                 // monitor: 0 runs until stopped
    QList<int> bauds;              // scan
    int firstAddress = 1;          // scan
    int lastAddress = 247;
    int retries = 1;               // resends of a request that got no answer
    bool json = false;
    bool includeCalibration = false;
    bool otherUnit = false;
    QString recordsFolder;         // records: empty for the window's folder
    std::optional<int> dueWithin;  // instruments list: days ahead
    QDate since;                   // records by-reference: invalid for all
    QString out;                   // records certificate: the PDF's path
    qint64 reprint = 0;            // records certificate: a stored certificate's number
    qint64 replaces = 0;           // records certificate: the one a new certificate corrects
    QString signAs;                // records approve: reviewer or approver
    QString name;                  // records approve: the signer's name (default: the login)
    QString function;              // records approve: the signer's function
    QString person;                // who signs: approve, import, calibrate; records person enrol's name
    QStringList roles;             // records person enrol: performs, reviews, approves
    QString passphraseFile;        // the signer's passphrase, its first line; else typed at the terminal
    QString reason;                // records key new, records migrate: why, kept in the chain
    record::Receipt receipt;       // records certificate: place, receipt, condition, customer's data
    std::optional<quint16> at4mA;  // calibrate current: the meter's readings in µA
    std::optional<quint16> at20mA;
    QString anchor;                // records verify: a checkpoint file to check against
    QString assumeOffset;          // records import: the zone of files written without one
    QString serial;                // calibrate auto: the transmitter's; standards save: the *IDN? serial
    QString source;                // calibrate auto: the calibrator's and the meter's addresses
    QString meter;
    QString sourceModel;           // their models: a name or a model file
    QString meterModel;
    QString environment;           // calibrate auto: an optional thermometer/hygrometer's address
    QString environmentModel;
    QString procedureFile;         // calibrate auto: a procedure file, or --points and --tolerance
    QString points;
    QString tolerance;
    QString mapFile;               // calibrate batch: the channel map
    QString routeSwitch;           // calibrate batch: the switch's address and model
    QString switchModel;
    QString model;
    QString certificate;
    QString status;                // empty: not given
    QDate due;                     // invalid: not given
    QDate calibrated;
    QStringList certificateTerms;  // standards save: FUNCTION:U:k:correction:drift per year, as typed
};

int run(const Invocation &invocation, QTextStream &out, QTextStream &err);

} // namespace cli
