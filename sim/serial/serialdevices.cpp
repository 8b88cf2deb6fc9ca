#include "sim/serial/serialdevices.h"

namespace quorvane::sim {

QByteArray okLine(const QByteArray &line)
{
    return "\r\n" + line + "\r\n\r\nOK\r\n";
}

const SerialPersona serialPersonas[4] = {
    {"COM5", "USB Serial Device", "AT*MRD_IMEI=R",
     [](const QByteArray &imei) { return okLine("*MRD_IMEI:" + imei); }, "AT*KESET=26",
     [](const QByteArray &l) { return okLine("+KESET: 26," + l); }, "990001011234567",
     ":/qjpg/res/LBL01.jpg"},
    {"COM12", "Unisoc Usb Serial Port 0", "AT+CGSN", [](const QByteArray &imei) { return okLine(imei); },
     "AT+NCSN?", [](const QByteArray &l) { return QByteArray("AT+NCSN?\r\r\n+" + l + "\r\n\r\nOK\r\n"); },
     "990001031234567", ":/qjpg/res/LBL03.jpg"},
    {"COM7", "Quectel USB REPL Port", "AT+EGMR=0",
     [](const QByteArray &imei) { return okLine("+EGMR: \"" + imei + "\""); }, "AT*MRD_SN=R",
     [](const QByteArray &l) { return okLine("*MRD_SN:2010," + l); }, "990001081234567",
     ":/qjpg/res/LBL08.jpg"},
    {"COM8", "USB-SERIAL CH340", nullptr, nullptr, "AT*MRD_SN=R",
     [](const QByteArray &l) { return okLine("*MRD_SN: " + l); }, nullptr, ":/qjpg/res/BKG00.png"},
};

FakeAtDevice &addPersonaPort(FakeSerialPorts &ports, int kind, const QString &name,
                             const QString &description)
{
    const SerialPersona &persona = serialPersonas[kind];
    return ports.addPort(name.isEmpty() ? QString::fromLatin1(persona.name) : name,
                         description.isEmpty() ? QString::fromLatin1(persona.description) : description);
}

} // namespace quorvane::sim
