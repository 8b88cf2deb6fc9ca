#ifndef QUORVANE_SERIAL_PORTRULES_H
#define QUORVANE_SERIAL_PORTRULES_H

#include <QString>
#include <QtGlobal>

// A rule that recognises the serial port of a supported device by its match key: the
// port's description followed directly by its name, as in "USB Serial DeviceCOM5".
struct PortRule
{
    const char *text; // searched anywhere in the match key, case-sensitively (UTF-8)
    int serialKind;   // which AT dialogue the device speaks
    qint32 baudRate;
};

// How many serial dialogues there are: the rules name kinds 0 to serialKindCount - 1.
constexpr int serialKindCount = 4;

// The first rule whose text occurs in the key, or null when the port is not one of ours.
const PortRule *findPortRule(const QString &matchKey);

#endif // QUORVANE_SERIAL_PORTRULES_H
