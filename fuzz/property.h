#ifndef QUORVANE_FUZZ_PROPERTY_H
#define QUORVANE_FUZZ_PROPERTY_H

// What every fuzz target shares: the input as Qt bytes, a reader that takes small
// choices off its front, and PROPERTY, which stops the run when a rule the parsers
// promise does not hold, so that libFuzzer keeps the input that broke it.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

[[noreturn]] inline void failed(const char *property, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, property);
    std::abort();
}

// The fuzzer's bytes, read from the front: a few choices first, the device's bytes last.
class Input
{
public:
    Input(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    // The next byte, or 0 when none is left.
    uint8_t byte()
    {
        if (m_size == 0)
            return 0;
        --m_size;
        return *m_data++;
    }
    // Up to n bytes.
    QByteArray take(size_t n)
    {
        n = n < m_size ? n : m_size;
        const QByteArray part(reinterpret_cast<const char *>(m_data), int(n));
        m_data += n;
        m_size -= n;
        return part;
    }
    QByteArray rest() { return take(m_size); }
    bool empty() const { return m_size == 0; }

private:
    const uint8_t *m_data;
    size_t m_size;
};

// True when text is valid UTF-8 without replacement: decoding and encoding again gives
// the same bytes, so a result decoded from it can be found byte for byte in the input.
inline bool isPlainUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

} // namespace fuzz

#define PROPERTY(condition) ((condition) ? void(0) : fuzz::failed(#condition, __FILE__, __LINE__))

#endif // QUORVANE_FUZZ_PROPERTY_H
