// The test broker starts for anybody, not only for root: on Debian it lives
// in /usr/sbin, which a user's PATH lacks.
#include "support/broker.h"

#include <gtest/gtest.h>

TEST(test_broker, starts_with_a_users_path) {
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/usr/local/bin:/usr/bin:/bin");
    test_broker broker;
    const bool started = broker.start();
    qputenv("PATH", path);
    EXPECT_TRUE(started);
}
