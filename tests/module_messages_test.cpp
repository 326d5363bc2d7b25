// The module's messages through its real entry point: results, states and the host calls.
#include <gtest/gtest.h>

#include "tests/support/plugin_host.h"

namespace {

constexpr uintptr_t kAllBits = ~static_cast<uintptr_t>(0);

TEST(ModuleMessages, QueriesAnswerAtAnyTimeWithTheirResults) {
    CTestHost host;
    // Before message 3 as well as after.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(host.Send(kMsgIdentify), 256u);
        EXPECT_EQ(host.Send(kMsgSettingsChanged), 0u);
        EXPECT_EQ(host.Send(kMsgIsEnabled), 0u);
        EXPECT_EQ(host.Send(kMsgInterfaceVersion, 0), 0u);
        EXPECT_EQ(host.Send(kMsgInterfaceVersion, 1), 1u);
        EXPECT_EQ(host.Send(kMsgInterfaceVersion, 2), 0x10002u);
        EXPECT_EQ(host.Send(kMsgInterfaceVersion, 3), kAllBits);
        EXPECT_EQ(host.Send(kMsgEnabled, 0), 1u);
        EXPECT_EQ(host.Send(12345), 0u);
        host.Initialise();
    }
}

TEST(ModuleMessages, EnabledIsSetThroughMessage40AndAnsweredPlusOne) {
    CTestHost host;
    EXPECT_EQ(host.Send(kMsgEnabled, 1, 5), 6u);
    EXPECT_EQ(host.Send(kMsgIsEnabled), 1u);
    EXPECT_EQ(host.Send(kMsgEnabled, 0, 99), 6u);  // wparam 0 only asks
    EXPECT_EQ(host.Send(kMsgEnabled, 1, 0), 1u);
    EXPECT_EQ(host.Send(kMsgIsEnabled), 0u);
    // Only the low 32 bits count, and the answer is widened with its sign.
    EXPECT_EQ(host.Send(kMsgEnabled, 1, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(host.Send(kMsgEnabled, 1, 0xFFFFFFFEu), kAllBits);
    EXPECT_EQ(host.Send(kMsgEnabled, 1, (uintptr_t{7} << 32) | 1u), 2u);
}

TEST(ModuleMessages, VersionTextFitsTheHostsBuffer) {
    CTestHost host;
    wchar_t buffer[64];
    for (wchar_t& c : buffer) c = L'#';
    EXPECT_EQ(host.Send(kMsgVersionText, reinterpret_cast<uintptr_t>(buffer)), 1u);
    std::wstring text(buffer);
    EXPECT_EQ(text, L"Locanym v1.0.1");
    EXPECT_EQ(buffer[text.size() + 1], L'#');      // nothing written past the NUL
    EXPECT_EQ(host.Send(kMsgVersionText, 0), 1u);  // a host without a buffer does not crash it
}

TEST(ModuleMessages, MessagesOutOfOrderDoNothingBeforeInitialise) {
    CTestHost host;
    host.Send(kMsgEnabled, 1, 1);
    const std::wstring path = L"/nonexistent/photo.jpg";
    const uintptr_t pathArg = reinterpret_cast<uintptr_t>(path.c_str());
    for (uintptr_t msg : {kMsgConfigure, kMsgSaveSettings, kMsgLoadSettings, kMsgStart, kMsgStop,
                          kMsgProcessPhoto, kMsgHostEvent, kMsgHostEvent2}) {
        EXPECT_EQ(host.Send(msg, msg == kMsgProcessPhoto ? pathArg : 1, 1), 0u) << msg;
    }
    EXPECT_TRUE(host.Calls().empty());
    // Once initialised, the same host works normally.
    EXPECT_EQ(host.Initialise(), 1u);
    EXPECT_EQ(host.Send(kMsgLoadSettings), 1u);
    EXPECT_FALSE(host.Calls().empty());
}

TEST(ModuleMessages, StartAndStopFollowTheEnabledSetting) {
    CTestHost host;
    host.Initialise();
    host.Send(kMsgLoadSettings);
    ASSERT_EQ(host.Send(kMsgIsEnabled), 0u);

    // Off: start and stop do nothing at all.
    host.ClearCalls();
    EXPECT_EQ(host.Send(kMsgStart, 0, 1), 0u);
    EXPECT_EQ(host.Send(kMsgStop, 0, 1), 0u);
    EXPECT_TRUE(host.Logs().empty());

    host.Send(kMsgEnabled, 1, 1);
    EXPECT_EQ(host.Send(kMsgStart, 0, 1), 0u);
    EXPECT_TRUE(host.HasLog(L"Starting"));
    EXPECT_TRUE(host.HasLog(L"Started"));
    for (const STestCall& c : host.Calls()) {
        if (c.nCode == kCbLog && c.strText == L"Starting") {
            EXPECT_EQ(c.strPrefix, L"[Locanym Plugin]");
        }
    }

    host.ClearCalls();
    EXPECT_EQ(host.Send(kMsgStop, 0, 0), 0u);  // lparam 0: flags only
    EXPECT_FALSE(host.HasLog(L"Closing"));
    EXPECT_EQ(host.Send(kMsgStart, 0, 0), 0u);
    EXPECT_FALSE(host.HasLog(L"Starting"));
    EXPECT_EQ(host.Send(kMsgStop, 0, 1), 0u);
    EXPECT_TRUE(host.HasLog(L"Closing"));
}

TEST(ModuleMessages, PhotoMessageAnswersZeroUnlessEnabledAndStarted) {
    CTempDir dir;
    const std::wstring path = (dir.Path() / "not-a-photo.jpg").wstring();
    CTestHost host;
    host.Initialise();
    host.Send(kMsgLoadSettings);
    std::wstring caption;
    host.Send(kMsgStart, 0, 1);  // off: not started
    EXPECT_FALSE(host.Caption(path, caption));
    host.Send(kMsgEnabled, 1, 1);
    EXPECT_FALSE(host.Caption(path, caption));  // enabled, not started
    host.Send(kMsgStart, 0, 1);
    EXPECT_EQ(host.Send(kMsgProcessPhoto, 0), 0u);  // null path
    host.Send(kMsgStop, 0, 1);
    EXPECT_FALSE(host.Caption(path, caption));  // stopped
}

}  // namespace
