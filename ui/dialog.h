// Toolkit-free dialog logic: a dialog built from a dialog resource, the window it runs in as a
// small interface, and the backend that makes and runs that window modally. All of it runs on
// the thread that runs the dialog.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ui/resources.h"

class CDialog;
class CStaticLink;
class ISettingsActions;

// One open dialog window, seen by control identifier (kIdcStatic addresses nothing). Valid only
// while the dialog runs. Text of identifier 0 is the window's caption.
class IDialogHost {
  public:
    virtual ~IDialogHost() = default;
    virtual std::wstring GetText(int nId) const = 0;
    virtual void SetText(int nId, const std::wstring& strText) = 0;
    virtual bool GetCheck(int nId) const = 0;
    virtual void SetCheck(int nId, bool bChecked) = 0;
    virtual bool IsEnabled(int nId) const = 0;
    virtual void Enable(int nId, bool bEnable) = 0;
    virtual bool IsVisible(int nId) const = 0;
    virtual void Show(int nId, bool bShow) = 0;
    // Lists: items in insertion order; a selection of -1 means none.
    virtual void ResetList(int nId) = 0;
    virtual void AddListItem(int nId, const std::wstring& strItem) = 0;
    virtual int GetListCount(int nId) const = 0;
    virtual std::wstring GetListItem(int nId, int nIndex) const = 0;
    virtual int GetListSel(int nId) const = 0;
    virtual void SetListSel(int nId, int nIndex) = 0;
    // A link control's colour or target changed: draw it again.
    virtual void RedrawLink(int nId) = 0;
    // Modal message with an information icon and an OK button.
    virtual void MessageBox(const std::wstring& strText, const std::wstring& strCaption) = 0;
    virtual void Beep() = 0;
    // Ends the modal run with nResult (kIdOk, kIdCancel) once the current handler returns.
    virtual void EndDialog(int nResult) = 0;
};

// Makes the window of a dialog from its resource and runs it modally.
class IDialogBackend {
  public:
    virtual ~IDialogBackend() = default;
    // Runs dialog over hParent (a native window handle, 0 for none; for a dialog opened from
    // another one the backend uses the opener's window). Returns the result given to
    // EndDialog; kIdCancel when the window was closed; 0 when no window could be made.
    virtual int RunModal(CDialog& dialog, uintptr_t hParent) = 0;
};

class CDialog {
  public:
    explicit CDialog(int nResourceId);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog through backend; the result of IDialogBackend::RunModal.
    int DoModal(IDialogBackend& backend, uintptr_t hParent = 0);

    int GetResourceId() const { return m_nResourceId; }
    IDialogBackend* GetBackend() const { return m_pBackend; }

    // Called by the backend, in this order: Attach once the window exists, OnInitDialog, then
    // OnCommand / OnLinkClick for each user action, Detach before the window goes.
    void Attach(IDialogHost& host) { m_pHost = &host; }
    void Detach() { m_pHost = nullptr; }
    virtual bool OnInitDialog();
    // A button or box clicked, or a list's selection changed.
    virtual void OnCommand(int nId);
    void OnLinkClick(int nId, bool bRight);
    // The link attached to control nId; null when there is none.
    CStaticLink* FindLink(int nId) const;
    // Escape or the window's close box.
    virtual void OnCancel();

  protected:
    virtual void OnOK();
    // Moves values between members and controls: bSave false fills the controls, true reads
    // them back.
    virtual void DoDataExchange(bool bSave);
    // Makes link draw control nId; the dialog keeps a pointer, so link must outlive the run.
    void SubclassLink(CStaticLink& link, int nId);
    // Where the links send their clicks; the dialog's links do nothing without it.
    void SetActions(ISettingsActions* pActions) { m_pActions = pActions; }

    void DdxCheck(bool bSave, int nId, int32_t& bValue);
    void DdxText(bool bSave, int nId, std::wstring& strValue);
    void DdxListIndex(bool bSave, int nId, int32_t& nIndex);

    IDialogHost& Host() const { return *m_pHost; }
    uintptr_t m_hParent = 0;

  private:
    int m_nResourceId;
    IDialogHost* m_pHost = nullptr;
    IDialogBackend* m_pBackend = nullptr;
    ISettingsActions* m_pActions = nullptr;
    std::vector<std::pair<int, CStaticLink*>> m_links;
};
