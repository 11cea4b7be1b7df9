#include "instruments/instrument.h"

#include "instruments/transport.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>

#include <cmath>

namespace instruments {

namespace {

// Errors left in the queue after the first are read away, so that the next
// command does not inherit them; the queue is short on any instrument.
constexpr int kMostQueuedErrors = 8;
// SCPI's overload and "not a number" answers (9.9E37, 9.91E37).
constexpr double kScpiOverload = 9.9e37;

struct DeviceError {
    int code = 0;
    QString text;
};

// `-222,"Data out of range"`, `+0,"No error"`, `0`
std::optional<DeviceError> parseErrorAnswer(const QString &answer)
{
    static const QRegularExpression form(QStringLiteral("^\\s*([+-]?\\d+)\\s*(?:,\\s*(.*?))?\\s*$"));
    const QRegularExpressionMatch match = form.match(answer);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    DeviceError error{match.captured(1).toInt(&ok), match.captured(2)};
    if (!ok)
        return std::nullopt;
    if (error.text.size() >= 2 && error.text.startsWith(QLatin1Char('"')) && error.text.endsWith(QLatin1Char('"')))
        error.text = error.text.mid(1, error.text.size() - 2);
    return error;
}

// Twelve significant digits carry any calibrator's resolution and drop the
// binary noise of the scaling (12.345 * 0.001).
QString valueText(double value)
{
    return QString::number(value, 'g', 12);
}

QString roleName(const QString &what)
{
    return QStringLiteral("\"%1\"").arg(what);
}

} // namespace

Instrument::Instrument(const Model &model, const Address &address, QObject *parent)
    : QObject(parent), m_model(model), m_address(address), m_transport(makeTransport(address))
{
    m_transport->setAnswerTimeout(m_model.timeoutMs);
    connect(m_transport.get(), &Transport::received, this, [this] { m_buffer += m_transport->takeReceived(); });
    connect(m_transport.get(), &Transport::failed, this, [this](const QString &why) { m_linkFault = why; });
}

Instrument::~Instrument()
{
    close();
}

bool Instrument::open()
{
    close();
    m_cancelled = false;
    m_linkFault.clear();
    QString why;
    if (!m_transport->open(&why))
        return fail(QStringLiteral("cannot open %1: %2").arg(addressText(m_address), why));
    const QString timeoutText = QStringLiteral("cannot open %1: no connection within %2 ms")
                                    .arg(addressText(m_address)).arg(m_model.timeoutMs);
    if (!waitFor([this] { return m_transport->isReady(); }, timeoutText)) {
        if (!m_linkFault.isEmpty())
            m_lastError = QStringLiteral("cannot open %1: %2").arg(addressText(m_address), m_linkFault);
        m_transport->close();
        return false;
    }
    return true;
}

// A wait in progress ends as cancelled; a closed instrument is otherwise only "not open".
void Instrument::close()
{
    if (m_waiting)
        cancel();
    m_transport->close();
    m_buffer.clear();
}

bool Instrument::isOpen() const
{
    return m_transport->isReady();
}

std::optional<QString> Instrument::identify()
{
    m_identity.clear();
    const std::optional<QString> answer =
        run(m_model.identify, QStringLiteral("identify"), m_model.identify.text, true);
    if (!answer)
        return std::nullopt;
    m_identity = *answer;
    const QRegularExpression pattern(m_model.identityPattern);
    if (!pattern.isValid() || !pattern.match(*answer).hasMatch()) {
        fail(QStringLiteral("the identity \"%1\" does not match %2 (%3): another instrument at %4?")
                 .arg(*answer, m_model.name, m_model.identityPattern, addressText(m_address)));
        return std::nullopt;
    }
    return answer;
}

bool Instrument::reset()
{
    return run(m_model.reset, QStringLiteral("reset"), m_model.reset.text, false).has_value();
}

bool Instrument::sourceMillivolts(double millivolts)
{
    return source(m_model.sourceMillivolts, QStringLiteral("source millivolts"), QStringLiteral("mV"), millivolts);
}

bool Instrument::sourceOhms(double ohms)
{
    return source(m_model.sourceOhms, QStringLiteral("source ohms"), QStringLiteral("ohm"), ohms);
}

bool Instrument::setOutput(bool on)
{
    const Command &command = on ? m_model.outputOn : m_model.outputOff;
    return run(command, on ? QStringLiteral("output on") : QStringLiteral("output off"), command.text, false)
        .has_value();
}

std::optional<double> Instrument::measureCurrentMa()
{
    return measure(m_model.measureCurrent, QStringLiteral("measure current"));
}

std::optional<double> Instrument::measureTemperature()
{
    return measure(m_model.measureTemperature, QStringLiteral("measure temperature"));
}

std::optional<double> Instrument::measureHumidity()
{
    return measure(m_model.measureHumidity, QStringLiteral("measure humidity"));
}

std::optional<double> Instrument::measure(const Command &command, const QString &name)
{
    if (command.text.isEmpty()) {
        fail(QStringLiteral("%1 has no command \"%2\"").arg(m_model.name, name));
        return std::nullopt;
    }
    const std::optional<QString> answer = run(command, name, command.text, true);
    if (!answer)
        return std::nullopt;
    bool ok = false;
    const double reading = answer->trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(reading)) {
        fail(QStringLiteral("unreadable answer \"%1\" to %2").arg(*answer, command.text));
        return std::nullopt;
    }
    if (std::fabs(reading) >= kScpiOverload) {
        fail(QStringLiteral("%1 reports an overload (%2) to %3").arg(m_model.name, *answer, command.text));
        return std::nullopt;
    }
    return reading * command.scale;
}

bool Instrument::routeClose(const QStringList &channels)
{
    return route(m_model.routeClose, QStringLiteral("route close"), channels) && settle(m_model.settleMs);
}

bool Instrument::routeOpen(const QStringList &channels)
{
    return route(m_model.routeOpen, QStringLiteral("route open"), channels);
}

bool Instrument::routeOpenAll(const QStringList &known)
{
    if (m_model.routeOpenAll.text.isEmpty())
        return routeOpen(known);
    return run(m_model.routeOpenAll, QStringLiteral("route open all"), m_model.routeOpenAll.text, false)
        .has_value();
}

void Instrument::cancel()
{
    m_cancelled = true;
    if (m_waiting)
        m_waiting->quit();
}

QString Instrument::lastError() const
{
    return m_lastError;
}

QString Instrument::identity() const
{
    return m_identity;
}

const Model &Instrument::model() const
{
    return m_model;
}

const Address &Instrument::address() const
{
    return m_address;
}

bool Instrument::fail(const QString &why)
{
    m_lastError = why;
    return false;
}

bool Instrument::source(const Command &command, const QString &what, const QString &function, double value)
{
    if (!rangeFor(m_model, function, value)) {
        fail(QStringLiteral("no %1 range of %2 holds %3 %1").arg(function, m_model.name, valueText(value)));
        return false;
    }
    QString line = command.text;
    line.replace(QLatin1String("{value}"), valueText(value * command.scale));
    return run(command, what, line, false).has_value();
}

bool Instrument::route(const Command &command, const QString &what, const QStringList &channels)
{
    if (channels.isEmpty())
        return fail(QStringLiteral("%1 without a channel").arg(roleName(what)));
    for (const QString &channel : channels)
        if (!isChannelName(channel))
            return fail(QStringLiteral("\"%1\" is no channel name (letters, digits or '!', 1 to 16)").arg(channel));
    QString line = command.text;
    line.replace(QLatin1String("{channels}"), channelListText(m_model.channelList, channels));
    return run(command, what, line, false).has_value();
}

// A relay's contacts bounce and the circuit behind it settles; an abort ends the wait.
bool Instrument::settle(int ms)
{
    if (ms <= 0)
        return true;
    if (m_cancelled)
        return fail(QStringLiteral("aborted"));
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    m_waiting = &loop;
    loop.exec();
    m_waiting = nullptr;
    return m_cancelled ? fail(QStringLiteral("aborted")) : true;
}

std::optional<QString> Instrument::run(const Command &command, const QString &what, const QString &line,
                                       bool query)
{
    if (command.text.isEmpty()) {
        fail(QStringLiteral("%1 has no %2 command").arg(m_model.name, roleName(what)));
        return std::nullopt;
    }
    const std::optional<QString> answer = exchange(line, query);
    if (!answer)
        return std::nullopt;
    if (!checkErrorQueue(line))
        return std::nullopt;
    return answer;
}

// One line out and, for a query, the line back. Anything left over from an
// earlier answer is dropped first, so that it is never taken for this one.
std::optional<QString> Instrument::exchange(const QString &line, bool query)
{
    if (m_waiting) {
        fail(QStringLiteral("%1 is busy with another command").arg(m_model.name));
        return std::nullopt;
    }
    if (m_cancelled) {
        fail(QStringLiteral("aborted"));
        return std::nullopt;
    }
    if (!m_linkFault.isEmpty() || !isOpen()) {
        fail(m_linkFault.isEmpty() ? QStringLiteral("%1 is not open").arg(addressText(m_address))
                                   : QStringLiteral("link to %1 lost: %2").arg(addressText(m_address), m_linkFault));
        return std::nullopt;
    }
    m_transport->takeReceived();
    m_buffer.clear();
    QString why;
    if (!m_transport->send((line + m_model.terminator).toUtf8(), query, &why)) {
        fail(QStringLiteral("cannot send %1 to %2: %3").arg(line, addressText(m_address), why));
        return std::nullopt;
    }
    if (!query) {
        emit exchanged(line, QString());
        return QString();
    }
    std::optional<QString> answer;
    const QString timeoutText = QStringLiteral("no answer within %1 ms to %2").arg(m_model.timeoutMs).arg(line);
    if (!waitFor([&] { return (answer = takeLine()).has_value(); }, timeoutText))
        return std::nullopt;
    emit exchanged(line, *answer);
    return answer;
}

bool Instrument::checkErrorQueue(const QString &cause)
{
    const QString &query = m_model.errorQuery.text;
    if (query.isEmpty())
        return fail(QStringLiteral("%1 has no \"error query\" command").arg(m_model.name));
    std::optional<QString> answer = exchange(query, true);
    if (!answer)
        return false;
    const std::optional<DeviceError> error = parseErrorAnswer(*answer);
    if (!error)
        return fail(QStringLiteral("unreadable answer \"%1\" to %2 after %3").arg(*answer, query, cause));
    if (error->code == 0)
        return true;
    const QString message = QStringLiteral("%1 refused \"%2\": error %3, \"%4\"")
                                .arg(m_model.name, cause, QString::number(error->code), error->text);
    for (int i = 0; i < kMostQueuedErrors; ++i) {
        answer = exchange(query, true);
        const std::optional<DeviceError> next = answer ? parseErrorAnswer(*answer) : std::nullopt;
        if (!next || next->code == 0)
            break;
    }
    return fail(message);
}

// done() may consume what it finds (a line), so it is asked until it says yes, never after.
bool Instrument::waitFor(const std::function<bool()> &done, const QString &timeoutText)
{
    bool finished = !m_cancelled && done();
    if (finished)
        return true;
    QEventLoop loop;
    QTimer bound;
    bound.setSingleShot(true);
    bound.setTimerType(Qt::PreciseTimer);
    connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto check = [&] {
        finished = finished || (!m_cancelled && done());
        if (finished || m_cancelled || !m_linkFault.isEmpty())
            loop.quit();
    };
    connect(m_transport.get(), &Transport::received, &loop, check);
    connect(m_transport.get(), &Transport::ready, &loop, check);
    connect(m_transport.get(), &Transport::failed, &loop, check);
    m_waiting = &loop;
    if (!m_cancelled) {
        bound.start(m_model.timeoutMs);
        loop.exec();
    }
    m_waiting = nullptr;
    if (finished)
        return true;
    if (m_cancelled)
        return fail(QStringLiteral("aborted"));
    if (!m_linkFault.isEmpty())
        return fail(QStringLiteral("link to %1 lost: %2").arg(addressText(m_address), m_linkFault));
    return fail(timeoutText);
}

// A line ends with the model's terminator; a trailing \r\n is not part of it.
std::optional<QString> Instrument::takeLine()
{
    const QByteArray terminator = m_model.terminator.toUtf8();
    const int end = m_buffer.indexOf(terminator);
    if (end < 0)
        return std::nullopt;
    QByteArray line = m_buffer.left(end);
    m_buffer.remove(0, end + terminator.size());
    while (line.endsWith('\r') || line.endsWith('\n'))
        line.chop(1);
    return QString::fromUtf8(line);
}

} // namespace instruments
