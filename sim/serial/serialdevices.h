#ifndef QUORVANE_SIM_SERIAL_SERIALDEVICES_H
#define QUORVANE_SIM_SERIAL_SERIALDEVICES_H

#include "sim/serial/fakeserialports.h"

#include <QByteArray>
#include <QString>

// The serial devices the tool knows, as data: one persona for each of the four port kinds
// it looks for, with the port texts, the commands it is asked and the replies it gives as a
// real device gives them. The tests and the device simulator take their devices from here.
namespace quorvane::sim {

struct SerialPersona
{
    const char *name;        // the port name
    const char *description; // what QSerialPortInfo::description reports
    const char *imeiCommand; // without line end; null: the kind is not asked for an IMEI
    QByteArray (*imeiReply)(const QByteArray &imei);
    const char *licenceCommand;
    QByteArray (*licenceReply)(const QByteArray &licence);
    const char *imei;    // an IMEI of a supported model; null for the kind without one
    const char *picture; // the label that IMEI (or the kind) shows
};
extern const SerialPersona serialPersonas[4];

// Every kind also understands this IMEI command, and models of the variant that keeps its
// licence in user data answer this licence command.
constexpr char fallbackImeiCommand[] = "AT*MRD_IMEI=R";
constexpr char userDataCommand[] = "AT+USERDATAR=1,21";

// A line as devices answer with it: "\r\n<line>\r\n\r\nOK\r\n".
QByteArray okLine(const QByteArray &line);

// A port of the persona's kind on the ports, by its own name and description unless given.
FakeAtDevice &addPersonaPort(FakeSerialPorts &ports, int kind, const QString &name = QString(),
                             const QString &description = QString());

} // namespace quorvane::sim

#endif // QUORVANE_SIM_SERIAL_SERIALDEVICES_H
