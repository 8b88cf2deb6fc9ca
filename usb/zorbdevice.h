#ifndef QUORVANE_USB_ZORBDEVICE_H
#define QUORVANE_USB_ZORBDEVICE_H

#include <string>

// A device that moves bytes in whole packets: opened by criteria given as a JSON text,
// then written to and read from with blocking calls. Every operation reports its outcome
// as an integer; nothing is thrown.
//
// Objects are created and destroyed through their concrete type, so there is no virtual
// destructor; the protected one keeps anybody from deleting through this interface.
class ZorbDevice
{
public:
    virtual int open(const std::string &params) = 0;
    virtual int close() = 0;
    virtual int write(const char *data, int length, int timeoutMs) = 0;
    virtual int readPacket(unsigned char *buffer, int bufferSize, int timeoutMs) = 0;
    virtual bool isOpen() = 0;

protected:
    ZorbDevice() = default;
    ~ZorbDevice() = default;
};

#endif // QUORVANE_USB_ZORBDEVICE_H
