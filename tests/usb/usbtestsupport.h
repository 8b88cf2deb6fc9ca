#ifndef QUORVANE_TESTS_USB_USBTESTSUPPORT_H
#define QUORVANE_TESTS_USB_USBTESTSUPPORT_H

// Shared by the USB tests (whose entry is QUORVANE_TEST_MAIN(Class, Usb)): a fixture with
// a fresh bus per case, device specs answering the licence request strictly, libusb's
// listing order and a capture of the log lines the code under test writes.

#include "sim/script/waits.h"
#include "sim/usb/fakeusbbus.h"
#include "tests/support/logcapture.h"
#include "tests/support/tablerows.h"
#include "tests/support/testmain.h"
#include "tests/support/window.h"
#include "tests/support/timing.h"

#include <QStringList>
#include <QtTest>

#include <libusb.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <memory>

Q_DECLARE_METATYPE(simusb::DeviceSpec)

namespace testsupport {

using simusb::DeviceSpec;
using simusb::FakeUsbDevice;

// The longest a running window takes from a USB plug to the end of its dialogue.
constexpr int plugToAnswerMs = waits::usbPlugToAnswerMs;

// How long a test waits for what plugToAnswerMs covers, the suite's slack included.
inline int plugLimitMs()
{
    return plugToAnswerMs + slackMs();
}

const QByteArray licence("CMIIT ID:2026AB1234XY");

// Device A at 1-3 (3e0a:0c01) and device B at 1-5 (0483:5750), with the default endpoints
// (bulk 0x81 and 0x01, 64 bytes) and without a script, and the texts that open each by
// position. Other devices are written as DeviceSpec{sysName, vid, pid}.
inline DeviceSpec deviceA()
{
    return {QStringLiteral("1-3"), 0x3E0A, 0x0C01};
}
inline DeviceSpec deviceB()
{
    return {QStringLiteral("1-5"), 0x0483, 0x5750};
}
constexpr char openA[] = R"({"vid":15882,"pid":3073,"bus":1,"port":3})";
constexpr char openB[] = R"({"vid":1155,"pid":22352,"bus":1,"port":5})";

// `spec` changed by `change`, for rows of a data table.
template<typename Change> DeviceSpec with(DeviceSpec spec, Change change)
{
    change(spec);
    return spec;
}

// `spec` answering the licence request with `reply`; any other request stops the test there.
inline DeviceSpec answering(const simusb::Reply &reply, DeviceSpec spec = deviceA())
{
    spec.script.on(simusb::licenceRequest(), reply).strict();
    return spec;
}

// Device A answering the licence request with `reply`, ready `delayMs` after the request.
inline DeviceSpec answering(const QByteArray &reply, int delayMs = 0)
{
    return answering(simusb::Reply::text(reply, delayMs));
}

// `spec` answering the licence request with success and `text`.
inline DeviceSpec licensed(DeviceSpec spec = deviceA(), const QByteArray &text = licence)
{
    return answering(simusb::Reply::text(simusb::licenceReply(0x90, text)), std::move(spec));
}

// libusb's list as "bus,address" texts, in its order.
inline QStringList libusbOrder()
{
    libusb_context *context = nullptr;
    libusb_init(&context);
    libusb_device **list = nullptr;
    const ssize_t n = libusb_get_device_list(context, &list);
    QStringList result;
    for (ssize_t i = 0; i < n; ++i)
        result << QStringLiteral("%1,%2")
                      .arg(libusb_get_bus_number(list[i]))
                      .arg(libusb_get_device_address(list[i]));
    libusb_free_device_list(list, 1);
    libusb_exit(context);
    return result;
}

// For its scope, this thread opens files as an operator without root does: without the
// rights to override their permissions (the tests run as root). Capabilities belong to a
// thread, so the fakes' threads keep theirs.
class AsOperator
{
public:
    AsOperator()
    {
        header.version = _LINUX_CAPABILITY_VERSION_3;
        header.pid = 0;
        syscall(SYS_capget, &header, saved);
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        syscall(SYS_capset, &header, reduced);
    }
    ~AsOperator() { syscall(SYS_capset, &header, saved); }
    AsOperator(const AsOperator &) = delete;
    AsOperator &operator=(const AsOperator &) = delete;

private:
    __user_cap_header_struct header {};
    __user_cap_data_struct saved[2] {};
};

// Base of the USB test classes: a new bus for every case, in a private network.
class UsbBusTest : public QObject
{
    Q_OBJECT

protected:
    std::unique_ptr<simusb::FakeUsbBus> bus;

private slots:
    void init() { bus = std::make_unique<simusb::FakeUsbBus>(); }
    void cleanup() { bus.reset(); }
};

} // namespace testsupport

#endif // QUORVANE_TESTS_USB_USBTESTSUPPORT_H
