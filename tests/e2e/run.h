#ifndef QUORVANE_TESTS_E2E_RUN_H
#define QUORVANE_TESTS_E2E_RUN_H

// The real tool as the end-to-end tests run it (runner::ToolRun: what it showed and what
// its devices received), and the wait for any of it.

#include "runner/toolrun.h"

#include <QtTest>

#include <functional>

namespace testsupport {

// Polls `condition` every `pollMs`, handling events in between and running `tick` before
// each look, until it holds or `limitMs` has passed.
inline bool waitFor(const std::function<bool()> &condition, qint64 limitMs,
                    const std::function<void()> &tick = {}, int pollMs = 50)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < limitMs) {
        if (tick)
            tick();
        if (condition())
            return true;
        QTest::qWait(pollMs);
    }
    return condition();
}

// The real tool, started as it is made, with its files in a temporary folder.
class Run : public runner::ToolRun
{
public:
    // With `arguments` under the device simulator with `devsimOptions` (separated by spaces).
    explicit Run(const QString &devsimOptions, const QStringList &arguments = {})
    {
        startUnderDevsim(devsimOptions.split(' '), arguments);
    }
    // Alone among the caller's fakes, which `environment` shows it, on the offscreen
    // platform (or `platform`) with the screen log preloaded.
    explicit Run(const QProcessEnvironment &environment,
                 const QString &platform = QStringLiteral("offscreen"))
    {
        startWithScreenLog(environment, platform);
    }
};

} // namespace testsupport

#endif // QUORVANE_TESTS_E2E_RUN_H
