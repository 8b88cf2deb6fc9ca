// The open parameters of the USB device: a JSON text with the IDs, the position and the
// "VP" device names. Whatever the text, the fields keep their widths, a text that is not
// JSON leaves them all zero, and the parameters written for a device read back the same.
#include "fuzz/property.h"
#include "usb/usbframe.h"

using namespace usbframe;

namespace {

// The name holds the IDs that parseVpName read from it, as four hex digits each.
bool namesIds(const QString &name, quint16 vid, quint16 pid)
{
    const QString ids =
        QStringLiteral("VID_%1&PID_%2").arg(vid, 4, 16, QLatin1Char('0')).arg(pid, 4, 16, QLatin1Char('0'));
    return name.contains(ids, Qt::CaseInsensitive);
}

void checkVpName(const QString &name)
{
    quint16 vid = 0, pid = 0, vidAgain = 0, pidAgain = 0;
    const bool matches = parseVpName(name, &vid, &pid);
    PROPERTY(matches == parseVpName(name, &vidAgain, &pidAgain) && vid == vidAgain && pid == pidAgain);
    if (matches)
        PROPERTY(namesIds(name, vid, pid));
    else
        PROPERTY(vid == 0 && pid == 0);
}

} // namespace

// Qt 5.15's JSON parser loses an array or object that a repeated key replaces
// ({"VP":[1],"VP":[2]} leaks the first array): a leak inside Qt, and the tool only parses
// parameter texts it wrote itself, which repeat no key. Leaks made inside fromJson are
// not reported; to see that frame the sanitizer needs full stacks, as Qt is built
// without frame pointers.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:QJsonDocument::fromJson\n";
}
extern "C" const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const OpenParams params = parseOpenParams(text);
    const OpenParams again = parseOpenParams(text);
    PROPERTY(params.valid == again.valid && params.vid == again.vid && params.pid == again.pid
             && params.bus == again.bus && params.port == again.port && params.address == again.address
             && params.vp == again.vp);

    PROPERTY(params.valid == params.parseError.isEmpty());
    if (!params.valid)
        PROPERTY(params.vid == 0 && params.pid == 0 && params.bus == 0 && params.port == 0
                 && params.address == 0 && params.vp.isEmpty());

    // What the tool writes for the device it found reads back as the same device.
    const OpenParams written =
        parseOpenParams(openParamsJson(params.vid, params.pid, params.bus, params.port).toStdString());
    PROPERTY(written.valid && written.vid == params.vid && written.pid == params.pid
             && written.bus == params.bus && written.port == params.port);

    for (const QJsonValue &name : params.vp)
        checkVpName(name.toString());
    checkVpName(QString::fromUtf8(text.data(), int(text.size())));
    return 0;
}
