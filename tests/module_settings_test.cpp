// Settings through the host's storage: the calls, their order and the record bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "tests/support/plugin_host.h"

namespace {

const std::vector<std::wstring> kLoadOrder = {
    L"Enabled",     L"iProv",       L"GeoType",         L"Geo1",      L"Geo2",
    L"GeoCC1",      L"GeoCC2",      L"ErrMsg",          L"Lang",      L"Format",
    L"Sep",         L"AState",      L"ACountry",        L"Offline",   L"AK-LocationIQ",
    L"AK-GeoApify", L"AK-GeoNames", L"AK-BigDataCloud", L"AK-MapsCo", L"AK-OpenWeather"};
const std::vector<std::wstring> kTextKeys = {L"GeoCC1", L"GeoCC2", L"Lang", L"Format", L"Sep"};

bool IsTextKey(const std::wstring& key) {
    return key.rfind(L"AK-", 0) == 0 ||
           std::find(kTextKeys.begin(), kTextKeys.end(), key) != kTextKeys.end();
}

std::vector<STestCall> CallsOf(CTestHost& host, int32_t code) {
    std::vector<STestCall> out;
    for (const STestCall& c : host.Calls())
        if (c.nCode == code) out.push_back(c);
    return out;
}

// A host's storage sees every key read and then written in one order, in the record layout
// it expects.
TEST(ModuleSettings, LoadAndSaveEveryKeyInOrderWithTheDefaults) {
    CTestHost host;
    host.Initialise();
    host.ClearCalls();
    EXPECT_EQ(host.Send(kMsgLoadSettings), 1u);
    std::vector<STestCall> reads = CallsOf(host, kCbReadSetting);
    ASSERT_EQ(host.Calls().size(), reads.size());  // nothing but reads
    host.ClearCalls();
    EXPECT_EQ(host.Send(kMsgSaveSettings), 1u);
    std::vector<STestCall> writes = CallsOf(host, kCbWriteSetting);
    ASSERT_EQ(reads.size(), kLoadOrder.size());
    ASSERT_EQ(writes.size(), kLoadOrder.size());
    for (size_t i = 0; i < kLoadOrder.size(); ++i) {
        for (const STestCall& c : {reads[i], writes[i]}) {
            SCOPED_TRACE(std::string(c.strKey.begin(), c.strKey.end()));
            EXPECT_EQ(c.strKey, kLoadOrder[i]);
            EXPECT_EQ(c.strSection, L"LocanymPlugIn");
            EXPECT_EQ(c.record.zero1 | c.record.zero2, 0);
            EXPECT_EQ(c.record.type, IsTextKey(c.strKey) ? kProfileText : kProfileInt);
        }
        const STestCall& r = reads[i];
        EXPECT_EQ(r.record.capacity, IsTextKey(r.strKey) ? 1023 : 0);
        EXPECT_EQ(r.record.value != 0, IsTextKey(r.strKey));
        if (!IsTextKey(r.strKey)) {
            EXPECT_EQ(r.record.def >> 32, 0u);
        }
        EXPECT_EQ(writes[i].record.def, 0u);
        EXPECT_EQ(writes[i].record.capacity, 0);
    }
    // From empty storage the saved values are the defaults; the separator is stored encoded.
    EXPECT_EQ(host.m_settings[L"Sep"].strValue, L"\", \"");
    EXPECT_EQ(writes[1].record.value, 0u);  // iProv 0: value and its high half are 0
}

TEST(ModuleSettings, StoredValuesLoadWithTheirRules) {
    const std::wstring kFormat = L"%L\t\"%C\" \\ 東京 \U0001F600 %% – %Y";
    struct {
        std::wstring sepStored, sepLoaded;
        int32_t iProv, iProvLoaded;
    } cases[] = {
        {L"\" - \"", L" - ", 7, 0}, {L" - ", L" - ", 6, 6}, {L"\"\\n\"", L"\n", -1, 0},
        {L" \\r|", L" \r|", 5, 5},  {L"\"", L"", 2, 2},
    };
    for (const auto& c : cases) {
        CTestHost host;
        host.m_settings[L"Sep"] = {true, 0, c.sepStored};
        host.m_settings[L"iProv"] = {false, c.iProv, L""};
        host.m_settings[L"Enabled"] = {false, 1, L""};
        host.m_settings[L"Format"] = {true, 0, kFormat};
        host.m_settings[L"AK-GeoNames"] = {true, 0, L"my account"};
        host.Initialise();
        host.Send(kMsgLoadSettings);
        EXPECT_EQ(host.Send(kMsgIsEnabled), 1u);
        host.Send(kMsgSaveSettings);
        // What comes back out shows what was loaded.
        std::wstring sep = c.sepLoaded;
        EscapeText(sep, true);
        EXPECT_EQ(host.m_settings[L"Sep"].strValue, sep);
        EXPECT_EQ(host.m_settings[L"iProv"].nValue, c.iProvLoaded);
        EXPECT_EQ(host.m_settings[L"Format"].strValue, kFormat);
        EXPECT_EQ(host.m_settings[L"AK-GeoNames"].strValue, L"my account");
    }
}

TEST(ModuleSettings, AHostWritingPastTheCapacityCannotTakeTheReadPastTheBuffer) {
    CTestHost host;
    host.m_bOverlongTextRead = true;  // 2000 characters, no NUL
    host.Initialise();
    host.Send(kMsgLoadSettings);
    host.m_bOverlongTextRead = false;
    host.Send(kMsgSaveSettings);
    EXPECT_EQ(host.m_settings[L"Format"].strValue, std::wstring(1023, L'x'));
    EXPECT_EQ(host.m_settings[L"AK-OpenWeather"].strValue, std::wstring(1023, L'x'));
}

}  // namespace
