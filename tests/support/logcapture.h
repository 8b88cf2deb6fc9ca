#ifndef QUORVANE_TESTS_SUPPORT_LOGCAPTURE_H
#define QUORVANE_TESTS_SUPPORT_LOGCAPTURE_H

// The log lines the code under test writes, for the tests that check what it logs.

#include <QStringList>
#include <QtGlobal>

#include <mutex>

namespace testsupport {

// Collects every log line while it exists (one at a time).
class LogCapture
{
public:
    LogCapture()
        : previous(qInstallMessageHandler(&LogCapture::handler))
    {
        active = this;
    }
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
        active = nullptr;
    }
    QStringList lines() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return captured;
    }
    int count(const QString &part) const { return lines().filter(part).size(); }
    void clear()
    {
        std::lock_guard<std::mutex> guard(lock);
        captured.clear();
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        LogCapture *capture = active;
        if (!capture)
            return;
        {
            std::lock_guard<std::mutex> guard(capture->lock);
            capture->captured.append(message);
        }
        if (type == QtFatalMsg && capture->previous)
            capture->previous(type, context, message);
    }

    static inline LogCapture *active = nullptr;
    QtMessageHandler previous;
    mutable std::mutex lock;
    QStringList captured;
};

} // namespace testsupport

#endif // QUORVANE_TESTS_SUPPORT_LOGCAPTURE_H
