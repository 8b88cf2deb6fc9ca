#ifndef QUORVANE_TESTS_SUPPORT_TIMING_H
#define QUORVANE_TESTS_SUPPORT_TIMING_H

// Durations in the tests. A lower bound is the sum of the waits the code is meant to
// spend: it catches a missing wait and holds on any machine, however busy. An upper bound
// only guards against a wait that does not end when it should, so it is the longest the
// code is meant to take plus one slack shared by the whole suite, generous enough for a
// machine busy with other work: QUORVANE_TEST_SLACK_MS milliseconds (default 4000). Where
// a fake can observe that a wait was skipped (no IN transfer submitted, no second command
// sent), the test checks that instead of a duration.

#include <QtTest>

namespace testsupport {

inline int slackMs()
{
    bool ok = false;
    const int chosen = qEnvironmentVariableIntValue("QUORVANE_TEST_SLACK_MS", &ok);
    return ok && chosen >= 0 ? chosen : 4000;
}

// Where a fake's write log (entries with `atMs`, in order), from entry `from` on, first
// falls silent for `gapMs` or more: the time of the last write before that silence, or -1
// when it has not (yet, at `nowMs`). A reader that ends a reply at such a silence may end
// it there, however the script meant the bytes to be spaced: a fake's thread starved on a
// busy machine is silent too.
template<typename Writes>
qint64 lastWriteBeforeSilence(const Writes &writes, int from, int gapMs, qint64 nowMs)
{
    for (int i = from; i < writes.size(); ++i) {
        const qint64 nextMs = i + 1 < writes.size() ? writes.at(i + 1).atMs : nowMs;
        if (nextMs - writes.at(i).atMs >= gapMs)
            return writes.at(i).atMs;
    }
    return -1;
}

} // namespace testsupport

// `ms` lies between `atLeastMs` and `atMostMs` plus the slack.
#define QUORVANE_VERIFY_DURATION(ms, atLeastMs, atMostMs) \
    QVERIFY2((ms) >= (atLeastMs) && (ms) <= (atMostMs) + testsupport::slackMs(), \
             qPrintable(QStringLiteral("%1 ms, expected %2 to %3 ms and a slack of %4 ms") \
                            .arg(ms) \
                            .arg(atLeastMs) \
                            .arg(atMostMs) \
                            .arg(testsupport::slackMs())))

// `ms` is `waitsMs`, the waits the code is meant to spend, and at most the slack more.
#define QUORVANE_VERIFY_WAITS(ms, waitsMs) QUORVANE_VERIFY_DURATION(ms, waitsMs, waitsMs)

#endif // QUORVANE_TESTS_SUPPORT_TIMING_H
