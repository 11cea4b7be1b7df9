#include "instruments/transport.h"

#include "instruments/serial_transport.h"
#include "instruments/tcp_transport.h"
#include "instruments/usbtmc_transport.h"

namespace instruments {

std::unique_ptr<Transport> makeTransport(const Address &address)
{
    switch (address.kind) {
    case Address::Kind::Tcp:
        return std::make_unique<TcpTransport>(address.host, address.port);
    case Address::Kind::Usbtmc:
        return std::make_unique<UsbtmcTransport>(address.path);
    case Address::Kind::Serial:
        break;
    }
    return std::make_unique<SerialTransport>(address.path, address.baud);
}

} // namespace instruments
