// Port list entries as the operator reads them, the by-id mapping, and what an
// open failure means.

#include "link/open_failure.h"
#include "link/port_display.h"

#include <QtTest>

#include <cerrno>

using ports::ByIdLink;
using ports::PortInfo;

Q_DECLARE_METATYPE(PortInfo)

class TestPortDisplay : public QObject
{
    Q_OBJECT
private slots:
    void displayText_data();
    void displayText();
    void byIdName();
    void openFailure();
};

void TestPortDisplay::displayText_data()
{
    QTest::addColumn<PortInfo>("port");
    QTest::addColumn<QString>("want");
    QTest::newRow("pty: the path alone") << PortInfo{"/tmp/line/tool", {}, {}, {}, {}} << "/tmp/line/tool";
    QTest::newRow("usb adapter")
        << PortInfo{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A10K3XYZ",
                    "usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0"}
        << "/dev/ttyUSB0 — FT232R USB UART · FTDI · SN A10K3XYZ · "
           "usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0";
    QTest::newRow("maker already in the description")
        << PortInfo{"/dev/ttyACM0", "Prolific PL2303", "prolific", {}, {}}
        << "/dev/ttyACM0 — Prolific PL2303";
}

void TestPortDisplay::displayText()
{
    QFETCH(PortInfo, port);
    QFETCH(QString, want);
    QCOMPARE(ports::displayText(port), want);
}

void TestPortDisplay::byIdName()
{
    const QList<ByIdLink> links = {
        {"usb-FTDI_B-if00-port0", "../../ttyUSB1"},
        {"usb-CH340_A-if01-port0", "../../ttyUSB0"},
        {"usb-CH340_A-if00-port0", "../../ttyUSB0"},
        {"pci-absolute", "/dev/ttyS9"},
    };
    QCOMPARE(ports::byIdNameFor("/dev/ttyUSB0", links), QString("usb-CH340_A-if00-port0"));
    QCOMPARE(ports::byIdNameFor("/dev/ttyS9", links), QString("pci-absolute"));
    QVERIFY(ports::byIdNameFor("/dev/ttyUSB2", links).isEmpty());
}

void TestPortDisplay::openFailure()
{
    QCOMPARE(ports::classifyOpenError(EACCES), ports::OpenFailure::Permission);
    QCOMPARE(ports::classifyOpenError(EPERM), ports::OpenFailure::Permission);
    QCOMPARE(ports::classifyOpenError(ENOENT), ports::OpenFailure::Other);
    QCOMPARE(ports::classifyOpenError(EBUSY), ports::OpenFailure::Other);
    QCOMPARE(ports::groupToJoin("uucp"), QString("uucp"));
    QCOMPARE(ports::groupToJoin("root"), QString("dialout"));
    QCOMPARE(ports::groupToJoin(""), QString("dialout"));
}

QTEST_APPLESS_MAIN(TestPortDisplay)
#include "test_port_display.moc"
