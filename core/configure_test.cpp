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
std::function<void(ISettingsActions&)> g_act;
bool g_bConfirm = false;
CLocanymDlgValues g_shown;

intptr_t Host(int32_t nCode, uintptr_t first, uintptr_t) {
    if (nCode == kCbDataFolder) {
        std::wstring folder = g_dataFolder.wstring();
        std::wmemcpy(reinterpret_cast<wchar_t*>(first), folder.c_str(), folder.size() + 1);
    }
    return 0;
}

class CScriptedUI : public ISettingsUI {
  public:
    bool RunSettingsDialog(uintptr_t, CLocanymDlgValues& values,
                           ISettingsActions& actions) override {
        g_shown = values;
        if (g_act) g_act(actions);
        if (g_edit) g_edit(values);
        return g_bConfirm;
    }
};

class ConfigureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_dataFolder = dir.Path();
        g_edit = nullptr;
        g_act = nullptr;
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

// The dialogs' actions take effect at once and survive the main dialog's Cancel: the key
// dialog's OK gives the service its key (and the host is told there is a change to save), and
// Clear Cache empties the cache and the file the host names now, not the one named before.
TEST_F(ConfigureTest, TheDialogsActionsTakeEffectAtOnceAndSurviveCancel) {
    g_bConfirm = false;
    app.m_services[kGeoNames]->m_strApiKey = L"old-account";
    const std::filesystem::path stale = dir.Path() / "stale.lst";
    std::ofstream(stale) << "another show";
    app.m_strCachePath = stale.wstring();
    std::wstring strShown;
    g_act = [&](ISettingsActions& actions) {
        strShown = actions.GetUserApiKey(kGeoNames);
        actions.SetUserApiKey(kGeoNames, L"my-account");
        actions.SetUserApiKey(kServiceCount, L"nowhere");  // names no service: ignored
        EXPECT_EQ(actions.GetUserApiKey(kServiceCount), L"");
        actions.ClearCache();
    };
    EXPECT_EQ(app.OnMessage(kMsgConfigure, 0, 0), 0u);
    EXPECT_EQ(strShown, L"old-account");
    EXPECT_EQ(app.m_services[kGeoNames]->m_strApiKey, L"my-account");
    EXPECT_EQ(app.OnMessage(kMsgSettingsChanged, 0, 0), 1u);
    EXPECT_FALSE(std::filesystem::exists(CacheFile()));
    EXPECT_TRUE(std::filesystem::exists(stale));
    EXPECT_EQ(app.m_cache.GetCount(), 0u);
}

// The dialog shows the current values; Cancel changes nothing; OK takes every value and marks
// the settings changed (until they are saved), and only a change that shapes captions empties
// the cache.
TEST_F(ConfigureTest, OkTakesTheValuesAndOnlyACaptionShapingChangeEmptiesTheCache) {
    struct {
        const char* name;
        std::function<void(CLocanymDlgValues&)> edit;
        bool bClears;
        bool bConfirm = true;
    } cases[] = {
        {"cancelled", [](CLocanymDlgValues& v) { v.m_strFormat = L"%C"; }, false, false},
        {"Enabled and ErrMsg",
         [](CLocanymDlgValues& v) {
             v.m_bEnabled = 1;
             v.m_bErrMsg = 0;
         },
         false},
        {"service, language, separator",
         [](CLocanymDlgValues& v) {
             v.m_iProv = 3;
             v.m_strLang = L"DE";
             v.m_strSep = L"\n";
         },
         true},
        {"Format case", [](CLocanymDlgValues& v) { v.m_strFormat = L"%a"; }, true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        app.m_strGeoCC1 = L"it, fr";
        g_edit = c.edit;
        g_bConfirm = c.bConfirm;
        EXPECT_EQ(app.OnMessage(kMsgConfigure, 0, 0), c.bConfirm ? 1u : 0u);
        EXPECT_EQ(g_shown.m_strGeoCC1, L"it, fr");
        EXPECT_EQ(g_shown.m_strSep, L", ");
        EXPECT_EQ(app.OnMessage(kMsgSettingsChanged, 0, 0), c.bConfirm ? 1u : 0u);
        if (c.bConfirm) {
            CLocanymDlgValues expected = g_shown;
            if (c.edit) c.edit(expected);
            EXPECT_EQ(app.m_strFormat, expected.m_strFormat);
            EXPECT_EQ(app.m_bEnabled, expected.m_bEnabled);
            EXPECT_EQ(app.m_bErrMsg, expected.m_bErrMsg);
            EXPECT_EQ(app.m_iProv, expected.m_iProv);
            EXPECT_EQ(app.m_strLang, expected.m_strLang);
            EXPECT_EQ(app.m_strSep, expected.m_strSep);
            EXPECT_EQ(app.m_strGeoCC1, L"it, fr");
        } else {
            EXPECT_EQ(app.m_strFormat, L"%A");
        }
        EXPECT_EQ(app.m_cache.GetCount(), c.bClears ? 0u : 1u);
        EXPECT_EQ(std::filesystem::exists(CacheFile()), !c.bClears);
    }
    app.OnMessage(kMsgSaveSettings, 0, 0);
    EXPECT_EQ(app.OnMessage(kMsgSettingsChanged, 0, 0), 0u);
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
