// The studio's --listen: a port alone listens on loopback, an address with it
// where told (with a warning when that is not loopback), and anything else is
// a usage error before the studio starts.
#include "tools/studio/studio_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The options after a line with --listen VALUE; nullopt when it goes on.
std::optional<int> parse_listen(std::string_view value, StudioOptions& options) {
    const std::vector<std::string_view> args = {"--dir", ".", "--listen", value};
    return studio_options_parse(args, options);
}

TEST(StudioOptionsListen, APortAloneListensOnLoopback) {
    StudioOptions options;
    testing::internal::CaptureStderr();
    EXPECT_EQ(parse_listen("7720", options), std::nullopt);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "no warning on loopback";
    EXPECT_EQ(options.listen_address, "127.0.0.1");
    EXPECT_EQ(options.listen_port, 7720);

    StudioOptions unlinked;
    const std::vector<std::string_view> args = {"--dir", "."};
    EXPECT_EQ(studio_options_parse(args, unlinked), std::nullopt);
    EXPECT_EQ(unlinked.listen_port, 0) << "no link unless asked";
}

TEST(StudioOptionsListen, AnotherAddressIsTakenWithAWarning) {
    StudioOptions options;
    testing::internal::CaptureStderr();
    EXPECT_EQ(parse_listen("0.0.0.0:65535", options), std::nullopt);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(options.listen_address, "0.0.0.0");
    EXPECT_EQ(options.listen_port, 65535);
    EXPECT_NE(said.find("warning: listening for players on 0.0.0.0"), std::string::npos) << said;
    EXPECT_NE(said.find("anyone on that network"), std::string::npos) << said;

    StudioOptions local;
    testing::internal::CaptureStderr();
    EXPECT_EQ(parse_listen("localhost:1", local), std::nullopt);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(local.listen_address, "localhost");
    EXPECT_EQ(local.listen_port, 1);
}

TEST(StudioOptionsListen, AnythingButAPortFrom1To65535IsAUsageError) {
    for (const std::string_view wrong : {"0", "65536", "-1", "7720x", "", ":7720", "127.0.0.1:", "host", "1:2:x"}) {
        SCOPED_TRACE(wrong);
        StudioOptions options;
        testing::internal::CaptureStderr();
        EXPECT_EQ(parse_listen(wrong, options), 2);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("needs [ADDR:]PORT"), std::string::npos) << said;
    }
}

TEST(StudioOptionsListen, LoopbackIsThisMachineAlone) {
    for (const std::string_view here : {"127.0.0.1", "127.3.2.1", "localhost"})
        EXPECT_TRUE(studio_address_loopback(here)) << here;
    for (const std::string_view there : {"0.0.0.0", "", "192.168.1.20", "127", "127.example.org", "10.127.0.1"})
        EXPECT_FALSE(studio_address_loopback(there)) << there;
}

}  // namespace
