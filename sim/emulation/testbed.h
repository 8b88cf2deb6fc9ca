#ifndef QUORVANE_SIM_EMULATION_TESTBED_H
#define QUORVANE_SIM_EMULATION_TESTBED_H

#include <QProcessEnvironment>
#include <QString>

#include <mutex>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace quorvane::sim {

// The emulated sysfs, udev and /dev that the fake serial ports and USB devices live in
// (one umockdev testbed). umockdev allows one testbed per process, so the fake serial ports and
// the fake USB bus share one when a program presents both kinds of device at once: make a
// Testbed and hand it to both. Each makes its own when given none.
//
// The process (and every program it starts with processEnvironment()) must run with
// umockdev's preload library: call Testbed::runUnderEmulation at the top of main.
//
//   quorvane::sim::Testbed::runUnderEmulation(argc, argv);
//   auto testbed = std::make_shared<quorvane::sim::Testbed>();
//   quorvane::sim::FakeSerialPorts serial(testbed);
//   simusb::FakeUsbBus usb(testbed);
class Testbed
{
public:
    Testbed();
    ~Testbed();
    Testbed(const Testbed &) = delete;
    Testbed &operator=(const Testbed &) = delete;

    UMockdevTestbed *handle() const { return m_testbed; }
    // Devices are added and removed from several threads (a serial device pulls itself
    // out from its own thread): hold this around every change of the testbed.
    std::mutex &mutex() { return m_mutex; }

    QString rootDir() const;
    // What a program started from here needs in its environment to see the devices.
    QProcessEnvironment processEnvironment() const;

    // Makes sure this process runs with umockdev's preload library: if it does not yet,
    // starts the same program again with it (the call then does not return).
    static void runUnderEmulation(int argc, char **argv);
    static bool isUnderEmulation();

    // Gives this process (and the programs it starts) a private, empty /run/lock, so that
    // the serial port lock files of programs run side by side do not meet. Needs root's
    // rights over the process's mounts, which scripts/isolated gives (an ordinary user's
    // in a user namespace); false with the reason otherwise.
    static bool usePrivateLockDirectory(QString *why);

private:
    UMockdevTestbed *m_testbed = nullptr;
    std::mutex m_mutex;
};

// The tests, the demo and the device simulator must never reach the machine's own serial
// ports or USB devices. This looks at what the serial port list and libusb show this
// process, and at whether umockdev redirects the device paths at all: empty when only
// emulated devices are in sight, otherwise what would be reached, in a sentence. Every
// Testbed checks it when made; call it only once a testbed exists.
QString hostDevicesInSight();

} // namespace quorvane::sim

#endif // QUORVANE_SIM_EMULATION_TESTBED_H
