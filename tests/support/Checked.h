// CHECKED(call): runs a helper that checks with QVERIFY and friends, and
// leaves the calling test function when the helper failed.
#pragma once

#include <QTest>

#define CHECKED(...)                                                                                                   \
    do {                                                                                                               \
        __VA_ARGS__;                                                                                                   \
        if (QTest::currentTestFailed())                                                                                \
            return;                                                                                                    \
    } while (0)
