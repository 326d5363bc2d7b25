// The real GTK windows of the three dialogs under a private Xvfb: each control of the resource
// table is there, of its kind and with its text, and the backend carries one value and the
// state of each control kind to the widgets and back. Skips when no X server can be started.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <string>

#include "base/text.h"
#include "tests/support/dialog_checks.h"
#include "tests/support/xvfb.h"
#include "ui/gtk/dialog_backend_gtk.h"
#include "ui/locanym_dlg.h"

namespace {

struct CCheck {
    const CDialogResource* pResource = nullptr;
    std::vector<std::string> problems;
    bool bChecked = false;
};

std::string WidgetText(GtkWidget* pWidget) {
    if (GTK_IS_EVENT_BOX(pWidget)) pWidget = gtk_bin_get_child(GTK_BIN(pWidget));
    if (GTK_IS_LABEL(pWidget)) return gtk_label_get_text(GTK_LABEL(pWidget));
    if (GTK_IS_FRAME(pWidget)) return gtk_frame_get_label(GTK_FRAME(pWidget));
    if (GTK_IS_BUTTON(pWidget)) return gtk_button_get_label(GTK_BUTTON(pWidget));
    return std::string();
}

bool KindMatches(EControlKind kind, GtkWidget* pWidget) {
    if (kind == EControlKind::kStatic) return GTK_IS_LABEL(pWidget) || GTK_IS_EVENT_BOX(pWidget);
    if (kind == EControlKind::kGroupBox) return GTK_IS_FRAME(pWidget);
    if (kind == EControlKind::kCheckBox) return GTK_IS_CHECK_BUTTON(pWidget);
    if (kind == EControlKind::kEdit) return GTK_IS_ENTRY(pWidget);
    if (kind == EControlKind::kDropDownList) return GTK_IS_COMBO_BOX_TEXT(pWidget);
    return GTK_IS_BUTTON(pWidget) && !GTK_IS_CHECK_BUTTON(pWidget);
}

// What the widget of control nId shows: a check box as "1" or "0", a list its selected entry.
std::wstring ShownText(GtkWidget* pWindow, const CDialogResource& res, int nId) {
    size_t i = 0;
    while (i < res.controls.size() && res.controls[i].nId != nId) ++i;
    auto* pWidget = static_cast<GtkWidget*>(FindGtkControlWidget(pWindow, i));
    if (!pWidget) return L"(no such widget)";
    if (!gtk_widget_is_sensitive(GTK_IS_EVENT_BOX(pWidget) ? gtk_bin_get_child(GTK_BIN(pWidget))
                                                           : pWidget))
        return L"(off)";
    if (GTK_IS_CHECK_BUTTON(pWidget))
        return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(pWidget)) ? L"1" : L"0";
    if (GTK_IS_ENTRY(pWidget)) return Utf8ToWide(gtk_entry_get_text(GTK_ENTRY(pWidget)));
    if (!GTK_IS_COMBO_BOX_TEXT(pWidget)) return Utf8ToWide(WidgetText(pWidget));
    gchar* pszActive = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(pWidget));
    const std::wstring strActive = pszActive ? Utf8ToWide(pszActive) : L"";
    g_free(pszActive);
    return strActive;
}

// The window is shown and its widgets hold the dialog's values (the check needs no drawing):
// inspects it as a person would see it, and closes it.
void OnShown(void* pShown, CDialog& dialog, void* pContext) {
    auto* pCheck = static_cast<CCheck*>(pContext);
    auto* pWindow = static_cast<GtkWidget*>(pShown);
    const CDialogResource& res = *pCheck->pResource;
    pCheck->problems = CheckControlsOfResource(res, true, [&](size_t i) {
        auto* pWidget = static_cast<GtkWidget*>(FindGtkControlWidget(pWindow, i));
        if (!pWidget) return SControlSeen{};
        return SControlSeen{true, KindMatches(res.controls[i].kind, pWidget),
                            Utf8ToWide(WidgetText(pWidget))};
    });
    if (auto* pMain = dynamic_cast<CProbedMainDlg*>(&dialog)) {
        for (const std::string& strProblem : RoundTripMainDialogControls(
                 pMain->Host(), [&](int nId) { return ShownText(pWindow, res, nId); }))
            pCheck->problems.push_back(strProblem);
    }
    pCheck->bChecked = true;
    dialog.OnCancel();
}

void RunAndCheck(IDialogBackend& backend, CDialog& dialog, const char* pszName,
                 uintptr_t hParent = 0) {
    CCheck check;
    check.pResource = FindDialogResource(dialog.GetResourceId());
    SetGtkDialogShownHook(&OnShown, &check);
    EXPECT_EQ(dialog.DoModal(backend, hParent), kIdCancel);
    SetGtkDialogShownHook(nullptr, nullptr);
    EXPECT_TRUE(check.bChecked) << pszName;
    for (const std::string& strProblem : check.problems)
        ADD_FAILURE() << pszName << ": " << strProblem;
}

TEST(GtkDialogWindows, EachDialogMatchesItsResource) {
    CXvfb xvfb;
    if (!xvfb.Start()) GTEST_SKIP() << "no X server could be started (Xvfb missing?)";
    setenv("DISPLAY", xvfb.m_strDisplay.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    CRecordingActions actions;
    std::unique_ptr<IDialogBackend> backend = CreateGtkDialogBackend();
    CProbedMainDlg main(actions);
    main.m_bEnabled = 1;
    CAPiKeyDlg key(actions);
    CGeoNamesDlg geo(actions);
    // A parent handle that names no window is ignored, not fatal.
    RunAndCheck(*backend, main, "main", 0x7FFFFF0);
    RunAndCheck(*backend, key, "key");
    RunAndCheck(*backend, geo, "GeoNames");
}

}  // namespace
