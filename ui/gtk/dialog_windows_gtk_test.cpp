// The real GTK windows of the three dialogs under a private Xvfb: each control of the resource
// table is there, readable and clear of its neighbours, and a PNG of each window lands in the
// build folder for a person to look at. Skips when no X server can be started.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/xvfb.h"
#include "ui/gtk/dialog_backend_gtk.h"
#include "ui/locanym_dlg.h"
#include "ui/settings_ui.h"

namespace {

class CActions : public ISettingsActions {
  public:
    void ClearCache() override {}
    bool OpenAddress(const std::wstring&) override { return true; }
    bool CopyText(const std::wstring&) override { return true; }
    void OpenHelp(uintptr_t) override {}
    size_t GetServiceCount() const override { return 6; }
    std::wstring GetServiceName(size_t i) const override {
        static const wchar_t* const kNames[] = {L"LocationIQ",   L"GeoApify", L"GeoNames",
                                                L"BigDataCloud", L"MapsCo",   L"OpenWeather"};
        return kNames[i];
    }
    std::wstring GetHomePageUrl(size_t) const override { return L"https://home.example/"; }
    std::wstring GetSignUpUrl(size_t) const override {
        return L"https://www.geonames.example/login";
    }
    std::wstring GetUserApiKey(size_t) const override { return L"my-user-name"; }
    void SetUserApiKey(size_t, const std::wstring&) override {}
    std::wstring GetVersionText() const override { return L"Locanym v1.0.1"; }
};

struct CCheck {
    const CDialogResource* pResource = nullptr;
    std::string strPng;
    std::vector<std::string> problems;
    bool bChecked = false;
    GtkWidget* pCombo = nullptr;
    GtkWidget* pWindow = nullptr;
    CDialog* pDialog = nullptr;
};

std::string Utf8(const wchar_t* pszText) {
    gchar* p =
        g_ucs4_to_utf8(reinterpret_cast<const gunichar*>(pszText), -1, nullptr, nullptr, nullptr);
    std::string s = p ? p : "";
    g_free(p);
    return s;
}

std::string WidgetText(GtkWidget* pWidget) {
    if (GTK_IS_EVENT_BOX(pWidget)) pWidget = gtk_bin_get_child(GTK_BIN(pWidget));
    if (GTK_IS_LABEL(pWidget)) return gtk_label_get_text(GTK_LABEL(pWidget));
    if (GTK_IS_FRAME(pWidget)) return gtk_frame_get_label(GTK_FRAME(pWidget));
    if (GTK_IS_BUTTON(pWidget)) return gtk_button_get_label(GTK_BUTTON(pWidget));
    return std::string();
}

bool KindMatches(EControlKind kind, GtkWidget* pWidget) {
    switch (kind) {
        case EControlKind::kStatic:
            return GTK_IS_LABEL(pWidget) || GTK_IS_EVENT_BOX(pWidget);
        case EControlKind::kGroupBox:
            return GTK_IS_FRAME(pWidget);
        case EControlKind::kCheckBox:
            return GTK_IS_CHECK_BUTTON(pWidget);
        case EControlKind::kEdit:
            return GTK_IS_ENTRY(pWidget);
        case EControlKind::kDropDownList:
            return GTK_IS_COMBO_BOX_TEXT(pWidget);
        default:
            return GTK_IS_BUTTON(pWidget) && !GTK_IS_CHECK_BUTTON(pWidget);
    }
}

bool SavePng(GdkWindow* pWindow, int nWidth, int nHeight, const std::string& strPath) {
    GdkPixbuf* pShot = gdk_pixbuf_get_from_window(pWindow, 0, 0, nWidth, nHeight);
    const bool bSaved = pShot && gdk_pixbuf_save(pShot, strPath.c_str(), "png", nullptr, nullptr);
    if (pShot) g_object_unref(pShot);
    return bSaved;
}

// Inspects the window as a person would see it, photographs it and closes it.
void Inspect(CCheck& check) {
    GtkWidget* pWindow = check.pWindow;
    CDialog& dialog = *check.pDialog;
    const CDialogResource& res = *check.pResource;
    GtkAllocation windowBox;
    gtk_widget_get_allocation(pWindow, &windowBox);
    std::vector<GtkAllocation> boxes(res.controls.size());
    for (size_t i = 0; i < res.controls.size(); ++i) {
        const CControlResource& control = res.controls[i];
        const std::string strName =
            std::to_string(control.nId) + " '" + Utf8(control.pszText) + "'";
        auto* pWidget = static_cast<GtkWidget*>(FindGtkControlWidget(pWindow, i));
        if (!pWidget) {
            check.problems.push_back("missing " + strName);
            continue;
        }
        if (!KindMatches(control.kind, pWidget)) check.problems.push_back("kind of " + strName);
        const std::string strText = WidgetText(pWidget);
        // The key dialog completes its link's text at run time.
        if (strText.rfind(Utf8(control.pszText), 0) != 0)
            check.problems.push_back("text of " + strName + ": '" + strText + "'");
        gtk_widget_get_allocation(pWidget, &boxes[i]);
        const GtkAllocation& box = boxes[i];
        if (box.x < 0 || box.y < 0 || box.x + box.width > windowBox.width ||
            box.y + box.height > windowBox.height)
            check.problems.push_back("outside the window: " + strName);
        GtkWidget* pLabel =
            GTK_IS_EVENT_BOX(pWidget) ? gtk_bin_get_child(GTK_BIN(pWidget)) : pWidget;
        if (GTK_IS_LABEL(pLabel)) {
            int nWidth = 0, nHeight = 0;
            pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(pLabel)), &nWidth, &nHeight);
            GtkAllocation labelBox;
            gtk_widget_get_allocation(pLabel, &labelBox);
            if (nHeight > labelBox.height || nWidth > labelBox.width)
                check.problems.push_back("text cut: " + strName);
        }
        if (GTK_IS_COMBO_BOX(pWidget)) {
            GtkTreeModel* pModel = gtk_combo_box_get_model(GTK_COMBO_BOX(pWidget));
            const int nItems = gtk_tree_model_iter_n_children(pModel, nullptr);
            const int nWanted = control.nId == kIdcService ? 6 : 2;
            if (nItems != nWanted) check.problems.push_back("list entries of " + strName);
        }
    }
    for (size_t i = 0; i < boxes.size(); ++i) {
        for (size_t j = i + 1; j < boxes.size(); ++j) {
            if (res.controls[i].kind == EControlKind::kGroupBox ||
                res.controls[j].kind == EControlKind::kGroupBox)
                continue;
            const GtkAllocation& a = boxes[i];
            const GtkAllocation& b = boxes[j];
            if (a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
                b.y < a.y + a.height)
                check.problems.push_back("overlap: " + Utf8(res.controls[i].pszText) + " / " +
                                         Utf8(res.controls[j].pszText));
        }
    }
    // Tab goes through the controls in resource order.
    GtkWidget* pFixed = gtk_bin_get_child(GTK_BIN(pWindow));
    GList* pChain = nullptr;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_container_get_focus_chain(GTK_CONTAINER(pFixed), &pChain);
    G_GNUC_END_IGNORE_DEPRECATIONS
    size_t nIndex = 0;
    for (GList* p = pChain; p; p = p->next, ++nIndex) {
        if (p->data != FindGtkControlWidget(pWindow, nIndex)) {
            check.problems.push_back("tab order at " + std::to_string(nIndex));
            break;
        }
    }
    g_list_free(pChain);

    if (!SavePng(gtk_widget_get_window(pWindow), windowBox.width, windowBox.height, check.strPng))
        check.problems.push_back("no screenshot");
    check.bChecked = true;

    // The window keeps the size its resource gives, whatever its controls would like.
    int nWantWidth = 0, nWantHeight = 0;
    gtk_widget_get_size_request(pFixed, &nWantWidth, &nWantHeight);
    if (windowBox.width != nWantWidth || windowBox.height != nWantHeight)
        check.problems.push_back("window size differs from its resource");

    if (res.nId != kIddLocanym) {
        dialog.OnCancel();
        return;
    }
    // Open the service list and photograph the screen, so a person sees every entry.
    auto* pCombo = static_cast<GtkWidget*>(
        FindGtkControlWidget(pWindow, FindControl(res, kIdcService) - res.controls.data()));
    gtk_combo_box_popup(GTK_COMBO_BOX(pCombo));
    check.pCombo = pCombo;
    g_timeout_add(
        400,
        [](gpointer pData) -> gboolean {
            auto* pCheck = static_cast<CCheck*>(pData);
            const std::string strPng =
                pCheck->strPng.substr(0, pCheck->strPng.size() - 4) + "_service_list.png";
            if (!SavePng(gdk_get_default_root_window(), 1280, 1024, strPng))
                pCheck->problems.push_back("no screenshot of the open list");
            gtk_combo_box_popdown(GTK_COMBO_BOX(pCheck->pCombo));
            pCheck->pDialog->OnCancel();
            return G_SOURCE_REMOVE;
        },
        &check);
}

void OnShown(void* pWindow, CDialog& dialog, void* pContext) {
    auto* pCheck = static_cast<CCheck*>(pContext);
    pCheck->pWindow = static_cast<GtkWidget*>(pWindow);
    pCheck->pDialog = &dialog;
    // Inspect once the window has been laid out and drawn.
    g_timeout_add(
        400,
        [](gpointer pData) -> gboolean {
            Inspect(*static_cast<CCheck*>(pData));
            return G_SOURCE_REMOVE;
        },
        pCheck);
}

void RunAndCheck(IDialogBackend& backend, CDialog& dialog, const char* pszPng,
                 uintptr_t hParent = 0) {
    CCheck check;
    check.pResource = FindDialogResource(dialog.GetResourceId());
    check.strPng = std::string(LOCANYM_BUILD_DIR) + "/" + pszPng;
    SetGtkDialogShownHook(&OnShown, &check);
    EXPECT_EQ(dialog.DoModal(backend, hParent), kIdCancel);
    SetGtkDialogShownHook(nullptr, nullptr);
    EXPECT_TRUE(check.bChecked) << pszPng;
    for (const std::string& strProblem : check.problems) ADD_FAILURE() << pszPng << strProblem;
}

TEST(GtkDialogWindows, EachDialogMatchesItsResource) {
    CXvfb xvfb;
    if (!xvfb.Start()) GTEST_SKIP() << "no X server could be started (Xvfb missing?)";
    setenv("DISPLAY", xvfb.m_strDisplay.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    CActions actions;
    std::unique_ptr<IDialogBackend> backend = CreateGtkDialogBackend();
    CLocanymDlg main(actions), off(actions);
    main.m_bEnabled = main.m_bAState = main.m_bACountry = 1;
    main.m_iProv = 2;
    main.m_strFormat = L"%A";
    main.m_strSep = L", ";
    CAPiKeyDlg key(actions);
    key.m_nService = 2;
    CGeoNamesDlg geo(actions);
    geo.m_nGeoType = 1;
    geo.m_strGeoCC1 = L"IT, FR";
    // A parent handle that names no window is ignored, not fatal.
    RunAndCheck(*backend, main, "dialog_101_main.png", 0x7FFFFF0);
    RunAndCheck(*backend, off, "dialog_101_main_off.png");
    RunAndCheck(*backend, key, "dialog_103_api_key.png");
    RunAndCheck(*backend, geo, "dialog_1009_geonames.png");
}

// Without any display the dialog does not open, the call answers false and nothing is printed.
TEST(GtkNoDisplay, SettingsDialogAnswersFalseQuietly) {
    if (std::getenv("LOCANYM_NO_DISPLAY_CHILD")) {
        CActions actions;
        CLocanymDlgValues values{};
        EXPECT_FALSE(CSettingsUI(CreateGtkDialogBackend()).RunSettingsDialog(0, values, actions));
        return;
    }
    // GTK reads the display once per process, so a child of our own runs without one; its
    // standard error comes back through the pipe, its own report goes nowhere.
    const std::string strCommand =
        "env -u DISPLAY -u WAYLAND_DISPLAY LOCANYM_NO_DISPLAY_CHILD=1 '" +
        std::filesystem::read_symlink("/proc/self/exe").string() +
        "' --gtest_filter=GtkNoDisplay.* 2>&1 >/dev/null";
    FILE* pPipe = popen(strCommand.c_str(), "r");
    ASSERT_NE(pPipe, nullptr);
    std::string strErr;
    char buffer[256];
    for (size_t n; (n = fread(buffer, 1, sizeof(buffer), pPipe)) > 0;) strErr.append(buffer, n);
    const int nStatus = pclose(pPipe);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    EXPECT_EQ(strErr, "");
}

}  // namespace
