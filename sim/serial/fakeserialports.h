#ifndef QUORVANE_SIM_SERIAL_FAKESERIALPORTS_H
#define QUORVANE_SIM_SERIAL_FAKESERIALPORTS_H

#include "sim/emulation/testbed.h"
#include "sim/serial/fakeatdevice.h"

#include <QHash>
#include <QProcessEnvironment>
#include <QString>

#include <memory>
#include <vector>

class QSerialPort;

namespace quorvane::sim {

// A set of emulated serial ports (umockdev): each port is a USB device with one
// interface and a tty whose udev model text is the port's description, so the real
// QSerialPortInfo lists it and the real QSerialPort opens it. Behind each port sits a
// FakeAtDevice.
//
// The process (and any program it starts) must run with libumockdev-preload loaded:
// call Testbed::runUnderEmulation at the top of main. One testbed at a time per process:
// a set makes its own, or shares one with the fake USB bus (see Testbed).
//
//   FakeSerialPorts ports;
//   FakeAtDevice &modem = ports.addPort("COM5", "USB Serial Device");
//   modem.on("AT*MRD_IMEI=R", Reply::text("\r\n990001011234567\r\n\r\nOK\r\n"));
//   ... run the program, then look at modem.received() ...
class FakeSerialPorts
{
public:
    // A testbed of the set's own, or the one given (shared with a fake USB bus).
    explicit FakeSerialPorts(std::shared_ptr<Testbed> testbed = nullptr);
    ~FakeSerialPorts();
    FakeSerialPorts(const FakeSerialPorts &) = delete;
    FakeSerialPorts &operator=(const FakeSerialPorts &) = delete;

    // A new port at the end of the port list. The name is the tty's name (COM5, ttyACM0);
    // the description is what QSerialPortInfo::description reports ('_' reads as a
    // space; Qt reads it as Latin-1, so keep it to Latin-1 characters).
    FakeAtDevice &addPort(const QString &name, const QString &description);
    FakeAtDevice *device(const QString &name) const;

    // Another program holds the port open (its lock file is taken), so opening it fails
    // until release. The holder is this process, so a program started by it sees the
    // port busy as well.
    bool holdBusy(const QString &name);
    void release(const QString &name);

    // What a program started from here needs in its environment to see these ports.
    QProcessEnvironment processEnvironment() const;

private:
    struct Port
    {
        QString name;
        QString usbPath;
        QString interfacePath;
        QString ttyPath;
    };

    void remove(const Port &port);

    std::shared_ptr<Testbed> m_testbed; // devices unplug from their own threads: lock it
    std::vector<std::unique_ptr<FakeAtDevice>> m_devices;
    QHash<QString, QSerialPort *> m_held;
    int m_portCount = 0;
};

} // namespace quorvane::sim

#endif // QUORVANE_SIM_SERIAL_FAKESERIALPORTS_H
