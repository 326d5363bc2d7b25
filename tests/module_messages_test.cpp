// The module's messages through its real entry point: results, states and the host calls.
#include <gtest/gtest.h>

#include "tests/support/plugin_host.h"

namespace {

constexpr uintptr_t kAllBits = ~static_cast<uintptr_t>(0);

// Before message 3 the module has no host to call: every message but the queries does nothing.
// The queries answer before message 3 as well as after; message 40 sets Enabled from the low
// 32 bits of lparam and answers it plus one, widened with its sign. The version text fits the
// host's buffer, and null pointers from a host crash nothing.
TEST(ModuleMessages, QueriesAnswerAtAnyTimeAndTheRestWaitsForInitialise) {
    CTestHost host;
    host.Send(kMsgEnabled, 1, 1);
    const std::wstring path = L"/nonexistent/photo.jpg";
    const uintptr_t pathArg = reinterpret_cast<uintptr_t>(path.c_str());
    for (uintptr_t msg : {kMsgConfigure, kMsgSaveSettings, kMsgLoadSettings, kMsgStart, kMsgStop,
                          kMsgProcessPhoto, kMsgHostEvent, kMsgHostEvent2}) {
        EXPECT_EQ(host.Send(msg, msg == kMsgProcessPhoto ? pathArg : 1, 1), 0u) << msg;
    }
    EXPECT_TRUE(host.Calls().empty());
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(host.Send(kMsgIdentify), 256u);
        EXPECT_EQ(host.Send(kMsgSettingsChanged), 0u);
        EXPECT_EQ(host.Send(kMsgInterfaceVersion, 1), 1u);
        EXPECT_EQ(host.Send(kMsgInterfaceVersion, 2), 0x10002u);
        EXPECT_EQ(host.Send(kMsgInterfaceVersion, 3), kAllBits);
        EXPECT_EQ(host.Send(12345), 0u);
        EXPECT_EQ(host.Initialise(), 1u);
    }
    EXPECT_EQ(host.Send(kMsgLoadSettings), 1u);
    EXPECT_FALSE(host.Calls().empty());
    struct {
        uintptr_t wParam, lParam, nAnswer, nEnabled;
    } const cases[] = {
        {1, 5, 6, 1},
        {0, 99, 6, 1},  // wparam 0 only asks
        {1, 0, 1, 0},
        {1, 0xFFFFFFFFu, 0, 1},
        {1, 0xFFFFFFFEu, kAllBits, 1},
        {1, (uintptr_t{7} << 32) | 1u, 2, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(host.Send(kMsgEnabled, c.wParam, c.lParam), c.nAnswer) << c.lParam;
        EXPECT_EQ(host.Send(kMsgIsEnabled), c.nEnabled) << c.lParam;
    }

    wchar_t buffer[64];
    for (wchar_t& c : buffer) c = L'#';
    EXPECT_EQ(host.Send(kMsgVersionText, reinterpret_cast<uintptr_t>(buffer)), 1u);
    std::wstring text(buffer);
    EXPECT_EQ(text, L"Locanym v1.0.1");
    EXPECT_EQ(buffer[text.size() + 1], L'#');  // nothing written past the NUL
    EXPECT_EQ(host.Send(kMsgVersionText, 0), 1u);
    host.Start();
    EXPECT_EQ(host.Send(kMsgProcessPhoto, 0), 0u);
}

}  // namespace
