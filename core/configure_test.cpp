// Message 5 with a scripted settings dialog: what a confirmed dialog changes, and when it
// empties the cache.
#include <gtest/gtest.h>

#include <cwchar>
#include <filesystem>
#include <fstream>
#include <functional>

#include "core/app.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace {

std::filesystem::path g_dataFolder;
std::function<void(CLocanymDlgValues&)> g_edit;
bool g_bConfirm = false;
CLocanymDlgValues g_shown;

intptr_t Host(int32_t nCode, uintptr_t first, uintptr_t) {
    if (nCode == kCbDataFolder) {
        std::wstring folder = g_dataFolder.wstring();
        std::wmemcpy(reinterpret_cast<wchar_t*>(first), folder.c_str(), folder.size() + 1);
    }
    return 0;
}

std::wstring g_strFirstService;

class CScriptedUI : public ISettingsUI {
  public:
    bool RunSettingsDialog(uintptr_t, CLocanymDlgValues& values,
                           ISettingsActions& actions) override {
        g_shown = values;
        g_strFirstService = actions.GetServiceCount() > 0 ? actions.GetServiceName(0) : L"";
        if (g_edit) g_edit(values);
        return g_bConfirm;
    }
};

class ConfigureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_dataFolder = dir.Path();
        g_edit = nullptr;
        app.m_pSettingsUI = std::make_unique<CScriptedUI>();
        app.OnMessage(kMsgInitialise, reinterpret_cast<uintptr_t>(&Host), 0);
        app.m_strFormat = L"%A";
        app.m_strSep = L", ";
        app.m_bErrMsg = 1;
        app.MakeCachePath();
        app.m_cache.Store(L"/photos/a.jpg", CCachedValue(L"Paris", L"48.8", L"2.3"));
        std::ofstream(CacheFile()) << "stale";
    }
    std::filesystem::path CacheFile() const { return dir.Path() / "LocanymPlg_SS.lst"; }

    CTempDir dir;
    CLocanymApp app;
};

TEST_F(ConfigureTest, TheDialogShowsTheCurrentValuesAndOkTakesThemAll) {
    g_bConfirm = true;
    app.m_strGeoCC1 = L"it, fr";
    app.m_nGeoType = 1;
    g_edit = [](CLocanymDlgValues& v) {
        v.m_bEnabled = 1;
        v.m_iProv = 3;
        v.m_strLang = L"DE";
        v.m_strSep = L"\n";
        v.m_strApiKeys[kGeoNames] = L"my-account";
    };
    app.m_services[kGeoNames]->m_strApiKey = L"old-account";
    EXPECT_EQ(app.OnMessage(kMsgConfigure, 0, 0), 1u);
    EXPECT_EQ(g_strFirstService, L"LocationIQ");
    ASSERT_EQ(g_shown.m_strApiKeys.size(), static_cast<size_t>(kServiceCount));
    EXPECT_EQ(g_shown.m_strApiKeys[kGeoNames], L"old-account");
    EXPECT_EQ(app.m_services[kGeoNames]->m_strApiKey, L"my-account");
    EXPECT_EQ(g_shown.m_strGeoCC1, L"it, fr");
    EXPECT_EQ(g_shown.m_nGeoType, 1);
    EXPECT_EQ(g_shown.m_strSep, L", ");
    EXPECT_EQ(app.m_bEnabled, 1);
    EXPECT_EQ(app.m_iProv, 3);
    EXPECT_EQ(app.m_strLang, L"DE");
    EXPECT_EQ(app.m_strSep, L"\n");
    EXPECT_EQ(app.m_strGeoCC1, L"it, fr");
    EXPECT_EQ(app.OnMessage(kMsgSettingsChanged, 0, 0), 1u);
    // Saving clears the flag again.
    app.OnMessage(kMsgSaveSettings, 0, 0);
    EXPECT_EQ(app.OnMessage(kMsgSettingsChanged, 0, 0), 0u);
}

// Cancel changes nothing; OK marks the settings changed, and only a change that shapes captions
// empties the cache.
TEST_F(ConfigureTest, OnlyACaptionShapingChangeEmptiesTheCache) {
    struct {
        const char* name;
        std::function<void(CLocanymDlgValues&)> edit;
        bool bClears;
        bool bConfirm = true;
    } cases[] = {
        {"cancelled", [](CLocanymDlgValues& v) { v.m_strFormat = L"%C"; }, false, false},
        {"nothing changed", nullptr, false},
        {"Enabled and ErrMsg",
         [](CLocanymDlgValues& v) {
             v.m_bEnabled = 1;
             v.m_bErrMsg = 0;
         },
         false},
        {"Format", [](CLocanymDlgValues& v) { v.m_strFormat = L"%C"; }, true},
        {"Format case", [](CLocanymDlgValues& v) { v.m_strFormat = L"%a"; }, true},
        {"ACountry", [](CLocanymDlgValues& v) { v.m_bACountry = 1; }, true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        g_edit = c.edit;
        g_bConfirm = c.bConfirm;
        EXPECT_EQ(app.OnMessage(kMsgConfigure, 0, 0), c.bConfirm ? 1u : 0u);
        EXPECT_EQ(app.OnMessage(kMsgSettingsChanged, 0, 0), c.bConfirm ? 1u : 0u);
        if (!c.bConfirm) {
            EXPECT_EQ(app.m_strFormat, L"%A");
        }
        EXPECT_EQ(app.m_cache.GetCount(), c.bClears ? 0u : 1u);
        EXPECT_EQ(std::filesystem::exists(CacheFile()), !c.bClears);
    }
}

TEST_F(ConfigureTest, AServiceIndexOutOfRangeFromTheDialogFallsBackToTheFirstService) {
    g_bConfirm = true;
    g_edit = [](CLocanymDlgValues& v) { v.m_iProv = 17; };
    EXPECT_EQ(app.OnMessage(kMsgConfigure, 0, 0), 1u);
    EXPECT_EQ(app.m_iProv, 17);  // taken as it comes
    app.OnMessage(kMsgEnabled, 1, 1);
    app.OnMessage(kMsgStart, 0, 1);
    const std::filesystem::path photo = dir.Path() / "photo.jpg";
    ASSERT_TRUE(WriteGpsJpeg(photo, 48.8566, 2.3522));
    const std::wstring path = photo.wstring();
    // The lookup goes to the first service instead of past the end of the table; that one
    // answers with its error text (shown, since ErrMsg is on).
    const uintptr_t result =
        app.OnMessage(kMsgProcessPhoto, reinterpret_cast<uintptr_t>(path.c_str()), 0);
    ASSERT_NE(result, 0u);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(result)),
              app.m_services[0]->m_strError);
}

}  // namespace
