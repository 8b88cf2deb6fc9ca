#ifndef QUORVANE_SIM_NET_FAKETCPSERVICE_H
#define QUORVANE_SIM_NET_FAKETCPSERVICE_H

#include "sim/net/netdevices.h"
#include "sim/script/fakedevice.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class QThread;

namespace quorvane::sim::net {

struct ReceivedLine
{
    QByteArray text; // without its line end
    qint64 atMs;     // when its carriage return arrived
};

// One connection as the service saw it.
struct ConnectionRecord
{
    qint64 acceptedAtMs = -1;
    qint64 closedAtMs = -1;   // the peer went, or the service closed or reset it; -1 while open
    qint64 lastSentAtMs = -1; // the last write of answer bytes (stream included); -1 if none
    QByteArray received;      // every byte, exactly as it arrived
    QList<ReceivedLine> lines;

    bool isOpen() const { return closedAtMs < 0; }
};

class ServiceWorker;

// A fake network device: listens on one address and port and plays its script to every
// connection, on a thread of its own, so that the caller may block in its socket waits
// meanwhile. Records everything it receives. Connections are served side by side. A reply
// that ends in Unplug takes the device off the network: it stops listening and drops
// every connection it had.
// Needs a QCoreApplication in the process; listens on the device addresses, so run it only
// inside scripts/isolated.
//
//   simnet::FakeTcpService device(simnet::atServiceAddress, simnet::atServicePort,
//       simnet::Script()
//           .on("AT*PROD=1", simnet::Reply::text("\r\nOK\r\n", 20))
//           .on("AT*MRD_SN=R", simnet::Reply::text("\r\n*MRD_SN:1,SN1,", 20)
//                                   .then("700101-2024-CN-000147\r\nOK\r\n", 300)));
//   QString why;
//   if (!device.start(&why)) ...
//   ... let the tool talk to it ...
//   device.received();       // "AT*PROD=1\r\n\rAT*MRD_SN=R\r\n\r"
//   device.connections();    // when each connection came and went, and what it carried
//
// Ready-made scripts of both kinds of device are in sim/net/netdevices.h.
class FakeTcpService : public FakeDevice
{
public:
    FakeTcpService(const QString &address, quint16 port, const Script &script = Script());
    ~FakeTcpService();
    FakeTcpService(const FakeTcpService &) = delete;
    FakeTcpService &operator=(const FakeTcpService &) = delete;

    // Listening once this returns true; otherwise `error` says why.
    bool start(QString *error = nullptr);
    // Drops every connection and stops listening; the records stay.
    void stop();
    // Takes no new connections (they are refused); the open ones go on with their script.
    void stopListening();
    bool isListening() const;

    // Takes effect for the connections and lines that arrive from now on.
    void setScript(const Script &script);

    // Every byte received on every connection, in order of arrival.
    QByteArray received() const override;
    // Takes the device off the network now (see above).
    void unplug() override;
    // A connection is open.
    bool inConversation() const override;
    // Every line received on every connection, in order.
    QList<QByteArray> receivedLines() const;
    QList<ConnectionRecord> connections() const;

    // Block the calling thread (no event loop) until the condition holds or the time is up.
    bool waitForReceived(int byteCount, int timeoutMs) const;
    bool waitForConnections(int count, int timeoutMs) const;
    bool waitForClosedConnections(int count, int timeoutMs) const;

    struct Shared;

private:
    QString m_address;
    quint16 m_port;
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<QThread> m_thread;
    ServiceWorker *m_worker = nullptr;
};

} // namespace quorvane::sim::net

#endif // QUORVANE_SIM_NET_FAKETCPSERVICE_H
