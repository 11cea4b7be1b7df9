#include "instruments/address.h"

#include <QRegularExpression>

namespace instruments {

namespace {

constexpr qint32 kLowestBaud = 50;
constexpr qint32 kHighestBaud = 4000000;

std::optional<Address> refuse(QString *why, const QString &message)
{
    if (why)
        *why = message;
    return std::nullopt;
}

// `reason` said of the address as it was typed.
std::optional<Address> refuse(QString *why, const QString &text, const QString &reason)
{
    return refuse(why, QStringLiteral("\"%1\": %2").arg(text, reason));
}

bool allDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (!c.isDigit())
            return false;
    return true;
}

// "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT"
std::optional<Address> parseTcp(const QString &rest, const QString &text, QString *why)
{
    Address address;
    address.kind = Address::Kind::Tcp;
    std::optional<QString> portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return refuse(why, text, QStringLiteral("the host's \"[\" is not closed"));
        address.host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
            return refuse(why, text, QStringLiteral("\"%1\" after the host").arg(after));
        if (!after.isEmpty())
            portText = after.mid(1);
    } else {
        const QStringList parts = rest.split(QLatin1Char(':'));
        if (parts.size() > 2)
            return refuse(why, text, QStringLiteral("an IPv6 host is written in brackets, tcp:[::1]:5025"));
        address.host = parts.at(0);
        if (parts.size() == 2)
            portText = parts.at(1);
    }
    if (address.host.isEmpty())
        return refuse(why, text, QStringLiteral("no host after tcp:"));
    // A name or IPv4 address; in brackets an IPv6 address, with its zone.
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9._-]+$"));
    static const QRegularExpression v6(QStringLiteral("^[0-9A-Fa-f:.]*:[0-9A-Fa-f:.]*(%[A-Za-z0-9._-]+)?$"));
    if (!(rest.startsWith(QLatin1Char('[')) ? v6 : name).match(address.host).hasMatch())
        return refuse(why, text, QStringLiteral("\"%1\" is not a host name or address").arg(address.host));
    if (portText) {
        const int port = allDigits(*portText) ? portText->toInt() : 0;
        if (port < 1 || port > 65535)
            return refuse(why, text, QStringLiteral("the port must be 1 to 65535"));
        address.port = quint16(port);
    }
    return address;
}

std::optional<Address> parseUsbtmc(const QString &rest, const QString &text, QString *why)
{
#ifdef Q_OS_WIN
    Q_UNUSED(rest)
    return refuse(why, text, QStringLiteral("USBTMC devices are reached only on Linux; "
                                            "use the instrument's serial or network port"));
#else
    if (rest.isEmpty())
        return refuse(why, text, QStringLiteral("no device after usbtmc:"));
    Address address;
    address.kind = Address::Kind::Usbtmc;
    address.path = rest;
    return address;
#endif
}

// A last ":digits" is the baud; anything else with a colon that is no Unix
// path is a kind we do not know (by-path device names keep their colons).
std::optional<Address> parseSerial(const QString &text, QString *why)
{
    Address address;
    address.path = text;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0 && allDigits(text.mid(colon + 1))) {
        address.path = text.left(colon);
        bool ok = false;
        const qint64 baud = text.mid(colon + 1).toLongLong(&ok);
        if (!ok || baud < kLowestBaud || baud > kHighestBaud)
            return refuse(why, text, QStringLiteral("the baud must be %1 to %2")
                                         .arg(QString::number(kLowestBaud), QString::number(kHighestBaud)));
        address.baud = qint32(baud);
    }
    if (address.path.isEmpty())
        return refuse(why, text, QStringLiteral("no serial device"));
    // Written back, "tcp:9600" or "usbtmc:9600" would name another kind of address.
    if (address.path.compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0
        || address.path.compare(QLatin1String("usbtmc"), Qt::CaseInsensitive) == 0)
        return refuse(why, text, QStringLiteral("a serial device cannot be called %1").arg(address.path));
    if (address.path.contains(QLatin1Char(':')) && !address.path.startsWith(QLatin1Char('/')))
        return refuse(why, text, QStringLiteral("unknown kind of address \"%1:\"; known: a serial device, tcp:, usbtmc:")
                                     .arg(address.path.section(QLatin1Char(':'), 0, 0)));
    return address;
}

} // namespace

std::optional<Address> parseAddress(const QString &input, QString *why)
{
    const QString text = input.trimmed();
    if (text.isEmpty())
        return refuse(why, QStringLiteral("no instrument address given"));
    if (text.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive))
        return parseTcp(text.mid(4), text, why);
    if (text.startsWith(QLatin1String("usbtmc:"), Qt::CaseInsensitive))
        return parseUsbtmc(text.mid(7), text, why);
    return parseSerial(text, why);
}

QString addressText(const Address &address)
{
    switch (address.kind) {
    case Address::Kind::Tcp: {
        const QString host = address.host.contains(QLatin1Char(':'))
                                 ? QStringLiteral("[%1]").arg(address.host) : address.host;
        // Concatenated, never arg() after arg(): a "%1" in a name is text, not a place.
        return QStringLiteral("tcp:") + host + QLatin1Char(':') + QString::number(address.port);
    }
    case Address::Kind::Usbtmc:
        return QStringLiteral("usbtmc:") + address.path;
    case Address::Kind::Serial:
        break;
    }
    return address.path + QLatin1Char(':') + QString::number(address.baud);
}

} // namespace instruments
