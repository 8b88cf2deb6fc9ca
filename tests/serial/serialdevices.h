#ifndef QUORVANE_TESTS_SERIALDEVICES_H
#define QUORVANE_TESTS_SERIALDEVICES_H

// Ports and replies of the supported devices, as the serial tests script them.

#include "tests/serial/serialtest.h"

namespace serialtest {

struct PortOfKind
{
    const char *name;
    const char *description;
    const char *imeiCommand; // without line end; null for kind 3
    const char *licenceCommand;
};

inline const PortOfKind portsOfKind[] = {
    {"COM5", "USB Serial Device", "AT*MRD_IMEI=R", "AT*KESET=26"},
    {"COM12", "Unisoc Usb Serial Port 0", "AT+CGSN", "AT+NCSN?"},
    {"COM7", "Quectel USB REPL Port", "AT+EGMR=0", "AT*MRD_SN=R"},
    {"COM8", "USB-SERIAL CH340", nullptr, "AT*MRD_SN=R"},
};

inline const QByteArray licence21 = "ABCDEFGHIJKLMNOPQRSTU";

// A licence reply of each kind that carries licence21.
inline QByteArray licenceReplyOfKind(int kind)
{
    switch (kind) {
    case 0: return okLine("+KESET: 26," + licence21);
    case 1: return "AT+NCSN?\r\r\n+" + licence21 + "\r\n\r\nOK\r\n";
    case 2: return okLine("*MRD_SN:2010," + licence21);
    default: return okLine("*MRD_SN: " + licence21);
    }
}

inline QByteArray imeiReply(const QByteArray &imei)
{
    return okLine("*MRD_IMEI:" + imei);
}

inline FakeAtDevice &addPortOfKind(SerialBench &bench, int kind)
{
    return bench.addPort(QString::fromLatin1(portsOfKind[kind].name),
                         QString::fromLatin1(portsOfKind[kind].description));
}

} // namespace serialtest

#endif // QUORVANE_TESTS_SERIALDEVICES_H
