#include "ui/gtk/dialog_backend_gtk.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
#include "ui/static_link.h"

namespace {

GtkDialogShownHook g_pfnShownHook = nullptr;
void* g_pShownContext = nullptr;

std::string ToUtf8(const std::wstring& strText) {
    return WideToUtf8(strText);
}

std::wstring FromUtf8(const char* pszText) {
    return pszText ? Utf8ToWide(pszText) : std::wstring();
}

struct CWidgetDestroyer {
    void operator()(GtkWidget* pWidget) const { gtk_widget_destroy(pWidget); }
};
using CWindowPtr = std::unique_ptr<GtkWidget, CWidgetDestroyer>;

struct CMainLoopUnref {
    void operator()(GMainLoop* pLoop) const { g_main_loop_unref(pLoop); }
};

// Dialog units to pixels from the font's average character size, as the Windows dialog
// manager does, so the layouts of both builds keep their proportions.
struct CDialogUnits {
    int cx = 8;
    int cy = 16;
    int X(int n) const { return n * cx / 4; }
    int Y(int n) const { return n * cy / 8; }
};

CDialogUnits MeasureDialogUnits(GtkWidget* pWidget) {
    CDialogUnits units;
    PangoLayout* pLayout = gtk_widget_create_pango_layout(
        pWidget, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int nWidth = 0, nHeight = 0;
    pango_layout_get_pixel_size(pLayout, &nWidth, &nHeight);
    g_object_unref(pLayout);
    if (nWidth > 0) units.cx = (nWidth / 26 + 1) / 2;
    if (nHeight > 0) units.cy = nHeight;
    return units;
}

std::string LinkMarkup(const std::string& strText, uint32_t color) {
    char szColor[8];
    std::snprintf(szColor, sizeof(szColor), "#%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF,
                  (color >> 16) & 0xFF);
    gchar* pszEscaped = g_markup_escape_text(strText.c_str(), -1);
    std::string strMarkup = std::string("<span foreground=\"") + szColor +
                            "\" underline=\"single\">" + pszEscaped + "</span>";
    g_free(pszEscaped);
    return strMarkup;
}

struct CControl {
    int nId;
    EControlKind kind;
    uint32_t nFlags;
    GtkWidget* pWidget;  // placed in the dialog; owned by the window
    GtkWidget* pLabel;   // the label inside a link's event box
    std::string strText;
};

class CGtkHost : public IDialogHost {
  public:
    CGtkHost(CDialog& dialog, GtkWidget* pWindow) : m_dialog(dialog), m_pWindow(pWindow) {}

    CControl* Find(int nId) {
        if (nId == kIdcStatic) return nullptr;
        for (CControl& control : m_controls)
            if (control.nId == nId) return &control;
        return nullptr;
    }
    const CControl* Find(int nId) const { return const_cast<CGtkHost*>(this)->Find(nId); }

    std::wstring GetText(int nId) const override {
        if (nId == 0) return FromUtf8(gtk_window_get_title(GTK_WINDOW(m_pWindow)));
        const CControl* pControl = Find(nId);
        if (!pControl) return std::wstring();
        switch (pControl->kind) {
            case EControlKind::kEdit:
                return FromUtf8(gtk_entry_get_text(GTK_ENTRY(pControl->pWidget)));
            case EControlKind::kDropDownList: {
                gchar* pszText =
                    gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(pControl->pWidget));
                std::wstring strText = FromUtf8(pszText);
                g_free(pszText);
                return strText;
            }
            default:
                return FromUtf8(pControl->strText.c_str());
        }
    }

    void SetText(int nId, const std::wstring& strText) override {
        const std::string strUtf8 = ToUtf8(strText);
        if (nId == 0) {
            gtk_window_set_title(GTK_WINDOW(m_pWindow), strUtf8.c_str());
            return;
        }
        CControl* pControl = Find(nId);
        if (!pControl) return;
        CSilence silence(*this);
        pControl->strText = strUtf8;
        switch (pControl->kind) {
            case EControlKind::kEdit:
                gtk_entry_set_text(GTK_ENTRY(pControl->pWidget), strUtf8.c_str());
                break;
            case EControlKind::kStatic:
                if (pControl->pLabel)
                    RedrawLink(nId);
                else
                    gtk_label_set_text(GTK_LABEL(pControl->pWidget), strUtf8.c_str());
                break;
            case EControlKind::kGroupBox:
                gtk_frame_set_label(GTK_FRAME(pControl->pWidget), strUtf8.c_str());
                break;
            case EControlKind::kDropDownList:
                break;
            default:
                gtk_button_set_label(GTK_BUTTON(pControl->pWidget), strUtf8.c_str());
        }
    }

    bool GetCheck(int nId) const override {
        const CControl* pControl = Find(nId);
        return pControl && pControl->kind == EControlKind::kCheckBox &&
               gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(pControl->pWidget));
    }
    void SetCheck(int nId, bool bChecked) override {
        CControl* pControl = Find(nId);
        if (!pControl || pControl->kind != EControlKind::kCheckBox) return;
        CSilence silence(*this);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(pControl->pWidget), bChecked);
    }
    bool IsEnabled(int nId) const override {
        const CControl* pControl = Find(nId);
        return pControl && gtk_widget_get_sensitive(pControl->pWidget);
    }
    void Enable(int nId, bool bEnable) override {
        CControl* pControl = Find(nId);
        if (!pControl) return;
        gtk_widget_set_sensitive(pControl->pWidget, bEnable);
        if (pControl->pLabel) RedrawLink(nId);
    }
    bool IsVisible(int nId) const override {
        const CControl* pControl = Find(nId);
        return pControl && gtk_widget_get_visible(pControl->pWidget);
    }
    void Show(int nId, bool bShow) override {
        if (CControl* pControl = Find(nId)) gtk_widget_set_visible(pControl->pWidget, bShow);
    }

    void ResetList(int nId) override {
        CControl* pControl = FindList(nId);
        if (!pControl) return;
        CSilence silence(*this);
        gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(pControl->pWidget));
    }
    void AddListItem(int nId, const std::wstring& strItem) override {
        CControl* pControl = FindList(nId);
        if (!pControl) return;
        CSilence silence(*this);
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(pControl->pWidget),
                                       ToUtf8(strItem).c_str());
    }
    int GetListCount(int nId) const override {
        const CControl* pControl = const_cast<CGtkHost*>(this)->FindList(nId);
        if (!pControl) return 0;
        GtkTreeModel* pModel = gtk_combo_box_get_model(GTK_COMBO_BOX(pControl->pWidget));
        return gtk_tree_model_iter_n_children(pModel, nullptr);
    }
    std::wstring GetListItem(int nId, int nIndex) const override {
        const CControl* pControl = const_cast<CGtkHost*>(this)->FindList(nId);
        if (!pControl) return std::wstring();
        GtkTreeModel* pModel = gtk_combo_box_get_model(GTK_COMBO_BOX(pControl->pWidget));
        GtkTreeIter iter;
        if (!gtk_tree_model_iter_nth_child(pModel, &iter, nullptr, nIndex)) return std::wstring();
        gchar* pszText = nullptr;
        gtk_tree_model_get(pModel, &iter, 0, &pszText, -1);
        std::wstring strText = FromUtf8(pszText);
        g_free(pszText);
        return strText;
    }
    int GetListSel(int nId) const override {
        const CControl* pControl = const_cast<CGtkHost*>(this)->FindList(nId);
        return pControl ? gtk_combo_box_get_active(GTK_COMBO_BOX(pControl->pWidget)) : -1;
    }
    void SetListSel(int nId, int nIndex) override {
        CControl* pControl = FindList(nId);
        if (!pControl) return;
        CSilence silence(*this);
        // An index past the end selects nothing, as a list control does.
        if (nIndex >= GetListCount(nId)) nIndex = -1;
        gtk_combo_box_set_active(GTK_COMBO_BOX(pControl->pWidget), nIndex < 0 ? -1 : nIndex);
    }

    void RedrawLink(int nId) override {
        CControl* pControl = Find(nId);
        if (!pControl || !pControl->pLabel) return;
        // A switched-off link is drawn greyed like the labels around it, not as a live link.
        if (!gtk_widget_get_sensitive(pControl->pWidget)) {
            gtk_label_set_text(GTK_LABEL(pControl->pLabel), pControl->strText.c_str());
            return;
        }
        CStaticLink* pLink = m_dialog.FindLink(nId);
        const uint32_t color = pLink ? pLink->GetColor() : g_colorUnvisited;
        gtk_label_set_markup(GTK_LABEL(pControl->pLabel),
                             LinkMarkup(pControl->strText, color).c_str());
    }

    void MessageBox(const std::wstring& strText, const std::wstring& strCaption) override {
        GtkWidget* pBox =
            gtk_message_dialog_new(GTK_WINDOW(m_pWindow), GTK_DIALOG_MODAL, GTK_MESSAGE_INFO,
                                   GTK_BUTTONS_OK, "%s", ToUtf8(strText).c_str());
        gtk_window_set_title(GTK_WINDOW(pBox), ToUtf8(strCaption).c_str());
        CWindowPtr pOwned(pBox);
        gtk_dialog_run(GTK_DIALOG(pBox));
    }

    void Beep() override { gtk_widget_error_bell(m_pWindow); }

    void EndDialog(int nResult) override {
        m_nResult = nResult;
        if (m_pLoop && g_main_loop_is_running(m_pLoop)) g_main_loop_quit(m_pLoop);
    }

    // Signals that programmatic changes raise must not reach the dialog as user actions.
    struct CSilence {
        explicit CSilence(CGtkHost& host) : m_host(host) { ++m_host.m_nSilent; }
        ~CSilence() { --m_host.m_nSilent; }
        CGtkHost& m_host;
    };

    CControl* FindList(int nId) {
        CControl* pControl = Find(nId);
        return pControl && pControl->kind == EControlKind::kDropDownList ? pControl : nullptr;
    }

    CDialog& m_dialog;
    GtkWidget* m_pWindow;
    std::vector<CControl> m_controls;  // in resource order; addresses fixed once built
    GMainLoop* m_pLoop = nullptr;
    int m_nResult = 0;
    int m_nSilent = 0;
};

struct CSignalTarget {
    CGtkHost* pHost;
    int nId;
};

void OnButtonClicked(GtkButton*, gpointer pData) {
    auto* pTarget = static_cast<CSignalTarget*>(pData);
    if (pTarget->pHost->m_nSilent == 0) pTarget->pHost->m_dialog.OnCommand(pTarget->nId);
}

void OnComboChanged(GtkComboBox*, gpointer pData) {
    auto* pTarget = static_cast<CSignalTarget*>(pData);
    if (pTarget->pHost->m_nSilent == 0) pTarget->pHost->m_dialog.OnCommand(pTarget->nId);
}

gboolean OnLinkPressed(GtkWidget*, GdkEventButton* pEvent, gpointer pData) {
    auto* pTarget = static_cast<CSignalTarget*>(pData);
    if (pEvent->type != GDK_BUTTON_PRESS) return TRUE;
    if (pEvent->button == 1) pTarget->pHost->m_dialog.OnLinkClick(pTarget->nId, false);
    if (pEvent->button == 3) pTarget->pHost->m_dialog.OnLinkClick(pTarget->nId, true);
    return TRUE;
}

void OnLinkRealized(GtkWidget* pWidget, gpointer) {
    GdkDisplay* pDisplay = gtk_widget_get_display(pWidget);
    GdkCursor* pCursor = gdk_cursor_new_from_name(pDisplay, "pointer");
    if (!pCursor) return;
    gdk_window_set_cursor(gtk_widget_get_window(pWidget), pCursor);
    g_object_unref(pCursor);
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer pData) {
    static_cast<CGtkHost*>(pData)->m_dialog.OnCancel();
    return TRUE;  // the window goes when the modal run ends, not before
}

gboolean OnKeyPress(GtkWidget*, GdkEventKey* pEvent, gpointer pData) {
    if (pEvent->keyval != GDK_KEY_Escape) return FALSE;
    static_cast<CGtkHost*>(pData)->m_dialog.OnCancel();
    return TRUE;
}

GtkWidget* MakeWidget(const CControlResource& res, CControl& control) {
    const std::string strText = ToUtf8(res.pszText ? res.pszText : L"");
    control.strText = strText;
    switch (res.kind) {
        case EControlKind::kStatic: {
            GtkWidget* pLabel = gtk_label_new(strText.c_str());
            gtk_label_set_line_wrap(GTK_LABEL(pLabel), TRUE);
            // A wrapping label asks for its whole text on one line, which would widen the
            // window; its box holds a quarter of its width in dialog units in characters.
            gtk_label_set_max_width_chars(GTK_LABEL(pLabel), res.cx > 4 ? res.cx / 4 : 1);
            gtk_label_set_xalign(GTK_LABEL(pLabel), res.nFlags & kCtlCentre ? 0.5f : 0.0f);
            gtk_label_set_yalign(GTK_LABEL(pLabel), 0.0f);
            if (res.nFlags & kCtlCentre)
                gtk_label_set_justify(GTK_LABEL(pLabel), GTK_JUSTIFY_CENTER);
            if (!(res.nFlags & kCtlLink)) return pLabel;
            GtkWidget* pBox = gtk_event_box_new();
            gtk_container_add(GTK_CONTAINER(pBox), pLabel);
            control.pLabel = pLabel;
            return pBox;
        }
        case EControlKind::kGroupBox:
            return gtk_frame_new(strText.c_str());
        case EControlKind::kCheckBox:
            return gtk_check_button_new_with_label(strText.c_str());
        case EControlKind::kEdit: {
            // A one-line entry scrolls sideways by itself, as kCtlHScroll asks.
            GtkWidget* pEntry = gtk_entry_new();
            gtk_entry_set_activates_default(GTK_ENTRY(pEntry), TRUE);
            gtk_entry_set_width_chars(GTK_ENTRY(pEntry), 1);
            return pEntry;
        }
        case EControlKind::kDropDownList:
            return gtk_combo_box_text_new();
        case EControlKind::kPushButton:
        case EControlKind::kDefPushButton:
            return gtk_button_new_with_label(strText.c_str());
    }
    return gtk_label_new("");
}

GtkWindow* TopWindow(const std::vector<GtkWidget*>& stack) {
    return stack.empty() ? nullptr : GTK_WINDOW(stack.back());
}

// Makes the window a transient of a foreign X11 window; a handle that names no window is
// ignored rather than allowed to stop the process with an X error.
void SetForeignParent(GtkWidget* pWindow, uintptr_t hParent) {
    GdkDisplay* pDisplay = gtk_widget_get_display(pWindow);
    if (!GDK_IS_X11_DISPLAY(pDisplay)) return;
    gtk_widget_realize(pWindow);
    gdk_x11_display_error_trap_push(pDisplay);
    GdkWindow* pParent =
        gdk_x11_window_foreign_new_for_display(pDisplay, static_cast<Window>(hParent));
    if (pParent) {
        gdk_window_set_transient_for(gtk_widget_get_window(pWindow), pParent);
        g_object_unref(pParent);
    }
    gdk_x11_display_error_trap_pop_ignored(pDisplay);
}

class CGtkDialogBackend : public IDialogBackend {
  public:
    int RunModal(CDialog& dialog, uintptr_t hParent) override;

  private:
    std::vector<GtkWidget*> m_openWindows;  // nested modal windows, innermost last
};

int CGtkDialogBackend::RunModal(CDialog& dialog, uintptr_t hParent) {
    const CDialogResource* pResource = FindDialogResource(dialog.GetResourceId());
    if (!pResource) return 0;
    // No display (a service, a terminal without X): no window, and no message either.
    if (!gtk_init_check(nullptr, nullptr)) return 0;

    CWindowPtr pWindow(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    GtkWidget* pWin = pWindow.get();
    gtk_window_set_title(GTK_WINDOW(pWin), ToUtf8(pResource->pszCaption).c_str());
    gtk_window_set_resizable(GTK_WINDOW(pWin), FALSE);
    gtk_window_set_modal(GTK_WINDOW(pWin), TRUE);
    gtk_window_set_type_hint(GTK_WINDOW(pWin), GDK_WINDOW_TYPE_HINT_DIALOG);
    if (GtkWindow* pOpener = TopWindow(m_openWindows)) {
        gtk_window_set_transient_for(GTK_WINDOW(pWin), pOpener);
        gtk_window_set_position(GTK_WINDOW(pWin), GTK_WIN_POS_CENTER_ON_PARENT);
    } else {
        gtk_window_set_position(GTK_WINDOW(pWin), GTK_WIN_POS_CENTER);
        if (hParent) SetForeignParent(pWin, hParent);
    }

    const CDialogUnits units = MeasureDialogUnits(pWin);
    GtkWidget* pFixed = gtk_fixed_new();
    gtk_widget_set_size_request(pFixed, units.X(pResource->cx), units.Y(pResource->cy));
    gtk_container_add(GTK_CONTAINER(pWin), pFixed);

    CGtkHost host(dialog, pWin);
    host.m_controls.reserve(pResource->controls.size());
    std::vector<CSignalTarget> targets;
    targets.reserve(pResource->controls.size());
    GList* pFocusChain = nullptr;
    for (size_t i = 0; i < pResource->controls.size(); ++i) {
        const CControlResource& res = pResource->controls[i];
        host.m_controls.push_back(CControl{res.nId, res.kind, res.nFlags, nullptr, nullptr, {}});
        CControl& control = host.m_controls.back();
        GtkWidget* pWidget = MakeWidget(res, control);
        control.pWidget = pWidget;
        g_object_set_data(G_OBJECT(pWidget), "locanym-index", GSIZE_TO_POINTER(i + 1));
        gtk_widget_set_size_request(pWidget, units.X(res.cx), units.Y(res.cy));
        gtk_fixed_put(GTK_FIXED(pFixed), pWidget, units.X(res.x), units.Y(res.y));
        gtk_widget_show_all(pWidget);
        pFocusChain = g_list_append(pFocusChain, pWidget);

        targets.push_back(CSignalTarget{&host, res.nId});
        gpointer pTarget = &targets.back();
        switch (res.kind) {
            case EControlKind::kCheckBox:
            case EControlKind::kPushButton:
            case EControlKind::kDefPushButton:
                g_signal_connect(pWidget, "clicked", G_CALLBACK(OnButtonClicked), pTarget);
                break;
            case EControlKind::kDropDownList:
                g_signal_connect(pWidget, "changed", G_CALLBACK(OnComboChanged), pTarget);
                break;
            case EControlKind::kStatic:
                if (control.pLabel) {
                    g_signal_connect(pWidget, "button-press-event", G_CALLBACK(OnLinkPressed),
                                     pTarget);
                    g_signal_connect(pWidget, "realize", G_CALLBACK(OnLinkRealized), nullptr);
                    gtk_widget_add_events(pWidget, GDK_BUTTON_PRESS_MASK);
                }
                break;
            default:
                break;
        }
        if (res.kind == EControlKind::kDefPushButton) {
            gtk_widget_set_can_default(pWidget, TRUE);
            gtk_window_set_default(GTK_WINDOW(pWin), pWidget);
        }
    }
    // Tab moves through the controls in resource order, not in screen-position order.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_container_set_focus_chain(GTK_CONTAINER(pFixed), pFocusChain);
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_list_free(pFocusChain);
    for (const CListItemResource& item : pResource->listItems)
        host.AddListItem(item.nControlId, item.pszText);
    for (CControl& control : host.m_controls)
        if (control.pLabel) host.RedrawLink(control.nId);

    g_signal_connect(pWin, "delete-event", G_CALLBACK(OnDelete), &host);
    g_signal_connect(pWin, "key-press-event", G_CALLBACK(OnKeyPress), &host);

    std::unique_ptr<GMainLoop, CMainLoopUnref> pLoop(g_main_loop_new(nullptr, FALSE));
    host.m_pLoop = pLoop.get();
    host.m_nResult = 0;
    dialog.Attach(host);
    m_openWindows.push_back(pWin);
    dialog.OnInitDialog();
    // A handler in OnInitDialog may already have ended the dialog.
    if (host.m_nResult == 0) {
        gtk_widget_show(pFixed);
        gtk_window_present(GTK_WINDOW(pWin));
        if (g_pfnShownHook) g_pfnShownHook(pWin, dialog, g_pShownContext);
        if (host.m_nResult == 0) g_main_loop_run(pLoop.get());
    }
    m_openWindows.pop_back();
    dialog.Detach();
    const int nResult = host.m_nResult == 0 ? kIdCancel : host.m_nResult;
    pWindow.reset();
    // Let the window disappear now: the host may not run a GTK loop of its own.
    while (gtk_events_pending()) gtk_main_iteration();
    return nResult;
}

}  // namespace

std::unique_ptr<IDialogBackend> CreateGtkDialogBackend() {
    return std::make_unique<CGtkDialogBackend>();
}

void SetGtkDialogShownHook(GtkDialogShownHook pfnHook, void* pContext) {
    g_pfnShownHook = pfnHook;
    g_pShownContext = pContext;
}

namespace {
void FindIndexed(GtkWidget* pWidget, gpointer pData) {
    auto* pFind = static_cast<std::pair<size_t, GtkWidget*>*>(pData);
    if (GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(pWidget), "locanym-index")) == pFind->first + 1)
        pFind->second = pWidget;
}
}  // namespace

void* FindGtkControlWidget(void* pWindow, size_t nIndex) {
    GtkWidget* pFixed = gtk_bin_get_child(GTK_BIN(pWindow));
    if (!pFixed || !GTK_IS_CONTAINER(pFixed)) return nullptr;
    std::pair<size_t, GtkWidget*> find(nIndex, nullptr);
    gtk_container_foreach(GTK_CONTAINER(pFixed), &FindIndexed, &find);
    return find.second;
}
