#pragma once
// Two-point calibration of the thermocouple (50 mV, 0 mV) or RTD (100 Ω,
// 200 Ω) input: the transmitter's own ADC reading is captured into a point
// register, and the store keeps both. The thermocouple's room-temperature
// step writes the cold-junction offset (holding 7) into the same change, so
// that one store keeps the points and the offset together. Bound to the unit
// and link it started on; what is not stored is put back when the procedure
// is left or another write is about to go out, and is never stored beside a
// word that changed since.

#include "core/register_bus.h"
#include "core/write_verdict.h"
#include "core/registers.h"
#include "procedures/transaction.h"
#include "procedures/unit_binding.h"

#include <QObject>
#include <array>
#include <memory>
#include <optional>

namespace proc {

class SensorCalibration : public QObject
{
    Q_OBJECT
public:
    enum class Input { Thermocouple, Rtd };
    enum class Result {
        Done,
        ReadFailed,    // lastError() says why; nothing was written
        WriteFailed,   // a write or the store was not accepted
        Differs,       // stored, but a point reads back otherwise (lastCheck())
        StateLost,     // a captured point changed before the store: put back, nothing stored
        NotRun,        // another operation runs, or the link is closed
    };
    Q_ENUM(Result)

    SensorCalibration(rtu::Link &link, Input input, QObject *parent = nullptr);

    quint16 mode() const;
    int pointRegister(int index) const;   // index 0: 50 mV / 100 Ω, 1: 0 mV / 200 Ω
    // The point as the transmitter holds it, when known.
    std::optional<qint32> point(int index) const { return m_points[size_t(index)]; }
    bool hasUnstoredCaptures() const { return m_captured[0] || m_captured[1] || m_captured[kRoom]; }
    // The room offset the room step wrote, when it wrote one on this unit.
    std::optional<quint16> roomOffset() const { return m_room; }

    // Enters the mode and reads the points the transmitter holds.
    Result enter();
    // Leaves the mode, captures not stored put back first.
    Result leave();
    // The ADC value the transmitter reads now, into point `index`.
    Result capture(int index);
    // Thermocouple only: clears the room offset, lets the transmitter measure
    // without it for `settleMs`, reads the room temperature and writes the
    // offset that makes it `referenceHundredths` (0.01 °C). Not stored: the
    // store keeps it with the points. A step that does not finish puts the
    // offset back and keeps the captures (lastAftermath()).
    Result calibrateRoom(qint64 referenceHundredths, int settleMs = 500);
    // What the last room step that did not finish left behind.
    const Aftermath &lastAftermath() const { return m_aftermath; }
    // Stores, then reads back every word known; a store that does not
    // verify puts the captures and the room offset back.
    Result store();
    // Captures not stored go back to what was stored, and the mode is left.
    void abandon();
    // What the transmitter holds after the last store, leave or abandon.
    const Outcome &outcome() const { return m_outcome; }

    // Every point whose value is known, and the room offset written, as the
    // words the transmitter should hold.
    QVector<verify::Written> knownWords() const;
    core::BusError lastError() const { return m_error; }
    const verify::ReadBack &lastCheck() const { return m_check; }

signals:
    void pointChanged(int index, qint32 value);

private:
    bool readPoints(const QVector<quint16> &holding, bool keepAsBefore);
    Result begin();
    void putBack();
    bool leaveMode();
    quintptr owner() const { return quintptr(this); }
    QString name() const;
    Result runEnter();
    Result runCapture(int index);
    Result runStore();
    Result runRoom(qint64 referenceHundredths, int settleMs);
    Result roomStepFailed(Result result, std::optional<quint16> previous);
    Transaction &change();
    void forget();

    rtu::Link &m_link;
    Input m_input;
    UnitBinding m_unit;
    bool m_bound = false;
    std::array<std::optional<qint32>, 2> m_points;
    static constexpr size_t kRoom = 2;   // beside the two points, in m_captured and m_lost
    std::array<bool, 3> m_captured{};
    std::optional<quint16> m_room;
    Aftermath m_aftermath;
    std::unique_ptr<Transaction> m_change;   // the captures, from the first to the store
    Outcome m_outcome;
    core::BusError m_error;
    verify::ReadBack m_check;
    bool m_ownStep = false;
    std::array<bool, 3> m_lost{};   // put back by another write, not captured again since
    QVector<quint16> m_holding;     // the block begin() read
};

} // namespace proc
