#include "simulator_fixture.h"

SimulatorFixture::SimulatorFixture(const sim::Config &config)
    : m_config(config)
{
    if (!m_line.ok()) {
        m_error = m_line.errorString();
        return;
    }
    m_config.port = m_line.simulatorEnd().toStdString();
    if (m_config.storeFile.empty())
        m_config.storeFile = (m_line.directory() + QStringLiteral("/store.txt")).toStdString();
    startSimulator();
}

SimulatorFixture::~SimulatorFixture()
{
    m_sim.stop();
    m_line.kill();
}

bool SimulatorFixture::startSimulator()
{
    m_error.clear();
    if (!m_sim.start(m_config)) {
        m_error = QString::fromStdString(m_sim.lastError());
        return false;
    }
    return true;
}

bool SimulatorFixture::ok() const { return m_error.isEmpty() && m_sim.running(); }
QString SimulatorFixture::errorString() const { return m_error; }
QString SimulatorFixture::toolPort() const { return m_line.toolEnd(); }
sim::Simulator &SimulatorFixture::sim() { return m_sim; }
VirtualLine &SimulatorFixture::line() { return m_line; }
sim::Config SimulatorFixture::config() const { return m_config; }

bool SimulatorFixture::restartSimulator(bool useStoredBaud)
{
    m_sim.stop();
    if (useStoredBaud) {
        const int baud = sim::Simulator::storedBaud(m_config.storeFile);
        if (baud > 0)
            m_config.baud = baud;
    }
    return startSimulator();
}

bool SimulatorFixture::restoreLine()
{
    m_sim.stop();
    if (!m_line.start()) {
        m_error = m_line.errorString();
        return false;
    }
    return startSimulator();
}
