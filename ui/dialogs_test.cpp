// The settings dialogs' logic, played by a scripted user through the headless backend.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/support/dialog_checks.h"
#include "tests/support/scripted_dialog_backend.h"
#include "ui/locanym_dlg.h"
#include "ui/settings_ui.h"

namespace {

class DialogTest : public ::testing::Test {
  protected:
    // Runs the main dialog with script; true when it was confirmed.
    bool Run(CDialogScript script) {
        backend->Expect(kIddLocanym, std::move(script));
        return ui.RunSettingsDialog(77, values, actions);
    }

    CRecordingActions actions;
    CLocanymDlgValues values = SomeDialogValues();
    CScriptedDialogBackend* backend = new CScriptedDialogBackend;
    CSettingsUI ui{std::unique_ptr<IDialogBackend>(backend)};
};

// The Enabled box switches the settings off; what was set before is kept.
TEST_F(DialogTest, EnabledBoxSwitchesTheSettingsControlsAndKeepsTheirValues) {
    EXPECT_TRUE(Run([](CScriptedHost& host) {
        EXPECT_TRUE(host.Type(kIdcFormat, L"%C, %Y"));
        EXPECT_TRUE(host.Select(kIdcService, 5));
        EXPECT_TRUE(host.Click(kIdcEnabled));
        EXPECT_FALSE(host.IsEnabled(kIdcService));
        EXPECT_FALSE(host.Type(kIdcFormat, L"lost"));
        EXPECT_TRUE(host.Ok());
    }));
    EXPECT_EQ(values.m_bEnabled, 0);
    EXPECT_EQ(values.m_strFormat, L"%C, %Y");
    EXPECT_EQ(values.m_iProv, 5);
    EXPECT_EQ(values.m_strLang, L"fr");
}

// The list shows every service; the key button only for one with a sign-up page; Cancel takes
// the selection back but not the cleared cache, which acts at once. A link's left click opens,
// its right click copies.
TEST_F(DialogTest, ServiceListKeyButtonLinksAndClearCacheUnderCancel) {
    actions.m_services.push_back({L"Seventh", L""});
    EXPECT_FALSE(Run([&](CScriptedHost& host) {
        std::vector<std::wstring> names;
        for (const auto& service : actions.m_services) names.push_back(service.first);
        EXPECT_EQ(host.ListItems(kIdcService), names);
        EXPECT_EQ(host.GetText(kIdcService), L"BigDataCloud");
        EXPECT_TRUE(host.IsVisible(kIdcApiKey));
        EXPECT_TRUE(host.Select(kIdcService, 6));
        EXPECT_FALSE(host.IsVisible(kIdcApiKey));
        EXPECT_TRUE(host.Select(kIdcService, 5));
        EXPECT_TRUE(host.IsVisible(kIdcApiKey));
        EXPECT_TRUE(host.Click(kIdcClearCache));
        EXPECT_EQ(host.m_messages, std::vector<std::wstring>{L"The cache file has been cleared"});
        EXPECT_TRUE(host.ClickLink(kIdcLangCodesLink));
        EXPECT_TRUE(host.ClickLink(kIdcLangCodesLink, true));
        backend->Expect(kIddApiKey,
                        [](CScriptedHost& key) { EXPECT_TRUE(key.ClickLink(kIdcRegisterLink)); });
        EXPECT_TRUE(host.Click(kIdcApiKey));
        EXPECT_TRUE(host.Cancel());
    }));
    EXPECT_EQ(actions.m_opened,
              (std::vector<std::wstring>{kLanguageCodesUrl, L"https://openweather.example/api"}));
    EXPECT_EQ(actions.m_copied, std::vector<std::wstring>{kLanguageCodesUrl});
    EXPECT_EQ(values.m_iProv, 3);
    EXPECT_EQ(actions.m_nClearCache, 1);
}

// The key dialog edits the key of the service selected in the list (not the stored setting),
// trims it, and hands it to the application on its own OK: a later main Cancel keeps it. The
// GeoNames options come back only when both its own dialog and the main one are confirmed.
TEST_F(DialogTest, KeyStoredOnItsOwnOkGeoNamesValuesOnlyWhenBothDialogsAreConfirmed) {
    struct {
        const wchar_t* pszTyped;
        bool bInnerOk, bMainOk;
        const wchar_t* pszStored;
    } const cases[] = {
        {L"  key with blanks\t", true, false, L"key with blanks"},
        {L" \t  ", true, true, L""},
        {L"new-user", false, true, L"old-user"},
    };
    for (const auto& c : cases) {
        values = SomeDialogValues();
        actions.m_keys = {L"", L"", L"old-user"};
        EXPECT_EQ(Run([&](CScriptedHost& host) {
                      EXPECT_TRUE(host.Select(kIdcService, 2));
                      backend->Expect(kIddApiKey, [&](CScriptedHost& key) {
                          EXPECT_EQ(key.GetText(kIdcKey), L"old-user");
                          EXPECT_EQ(key.GetText(kIdcRegisterLink),
                                    L"Register here: https://geonames.example/login");
                          EXPECT_TRUE(key.Type(kIdcKey, c.pszTyped));
                          EXPECT_TRUE(c.bInnerOk ? key.Ok() : key.Cancel());
                      });
                      EXPECT_TRUE(host.Click(kIdcApiKey));
                      backend->Expect(kIddGeoNames, [&](CScriptedHost& geo) {
                          EXPECT_EQ(geo.GetText(kIdcGeoType), L"Nearby toponym");
                          EXPECT_EQ(geo.GetText(kIdcGeoCC1), L"IT");
                          EXPECT_TRUE(geo.Select(kIdcGeoType, 0));
                          EXPECT_TRUE(geo.Click(kIdcGeo1));
                          EXPECT_TRUE(geo.Click(kIdcGeo2));
                          EXPECT_TRUE(geo.Type(kIdcGeoCC1, L" fr,De "));
                          EXPECT_TRUE(geo.Type(kIdcGeoCC2, L"es"));
                          EXPECT_TRUE(c.bInnerOk ? geo.Ok() : geo.Cancel());
                      });
                      EXPECT_TRUE(host.Click(kIdcGeoNames));
                      EXPECT_TRUE(c.bMainOk ? host.Ok() : host.Cancel());
                  }),
                  c.bMainOk);
        EXPECT_EQ(actions.m_keys, (std::vector<std::wstring>{L"", L"", c.pszStored})) << c.pszTyped;
        // The country codes as typed, blanks and case included.
        EXPECT_EQ(std::tie(values.m_nGeoType, values.m_bGeo1, values.m_bGeo2, values.m_strGeoCC1,
                           values.m_strGeoCC2),
                  c.bInnerOk && c.bMainOk ? std::make_tuple(0, 1, 1, L" fr,De ", L"es")
                                          : std::make_tuple(1, 0, 0, L"IT", L""));
    }
}

TEST_F(DialogTest, UntouchedOkHandsBackWhatItGotAndHelpOpensOverTheDialog) {
    auto all = [](const CLocanymDlgValues& v) {
        return std::tie(v.m_bEnabled, v.m_iProv, v.m_bErrMsg, v.m_strLang, v.m_strFormat,
                        v.m_nGeoType, v.m_bGeo1, v.m_bGeo2, v.m_strGeoCC1, v.m_strGeoCC2,
                        v.m_bAState, v.m_bACountry, v.m_strSep);
    };
    const CLocanymDlgValues before = values;
    EXPECT_TRUE(Run([&](CScriptedHost& host) {
        EXPECT_TRUE(host.Click(kIdcHelp));
        EXPECT_TRUE(host.Ok());
    }));
    EXPECT_TRUE(all(values) == all(before));
    EXPECT_EQ(actions.m_helpParents, std::vector<uintptr_t>{77});
    EXPECT_EQ(backend->m_parents, std::vector<uintptr_t>{77});

    // An index that names no entry must not come back as -1, which would be taken as an index.
    values.m_iProv = 9;
    values.m_nGeoType = 7;
    EXPECT_TRUE(Run([&](CScriptedHost& host) {
        EXPECT_EQ(host.GetListSel(kIdcService), -1);
        EXPECT_FALSE(host.IsVisible(kIdcApiKey));
        backend->Expect(kIddGeoNames, [](CScriptedHost& geo) { EXPECT_TRUE(geo.Ok()); });
        EXPECT_TRUE(host.Click(kIdcGeoNames));
        EXPECT_TRUE(host.Ok());
    }));
    EXPECT_EQ(std::pair(values.m_iProv, values.m_nGeoType), std::pair(9, 7));

    // No backend, or no window, is not a confirmation.
    EXPECT_FALSE(CSettingsUI(nullptr).RunSettingsDialog(0, values, actions));
    EXPECT_FALSE(ui.RunSettingsDialog(0, values, actions));
    EXPECT_EQ(values.m_iProv, 9);
}

}  // namespace
