// main() of every host test executable: one libobs for the whole process.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host/harness/obs_host.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

    auto& host = obs_sayline::test::ObsHost::instance();
    std::string error;
    if (!host.start(&error)) {
        std::fprintf(stderr, "headless host did not start: %s\n", error.c_str());
        std::fprintf(stderr, "%s", obs_sayline::test::HostLogCapture::instance().joined().c_str());
        host.stop();
        return 1;
    }
    int rc = RUN_ALL_TESTS();
    host.stop();
    if (!host.runAfterShutdownChecks()) rc = 1;
    return rc;
}
