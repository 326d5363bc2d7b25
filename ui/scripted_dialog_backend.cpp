#include "ui/scripted_dialog_backend.h"

CScriptedHost::CScriptedHost(CDialog& dialog, const CDialogResource& resource)
    : m_dialog(dialog), m_resource(resource), m_strCaption(resource.pszCaption) {
    for (const CControlResource& control : resource.controls) {
        if (control.nId == kIdcStatic) continue;
        CState state;
        state.nId = control.nId;
        state.kind = control.kind;
        state.nFlags = control.nFlags;
        if (control.pszText) state.strText = control.pszText;
        m_controls.push_back(std::move(state));
    }
    for (const CListItemResource& item : resource.listItems)
        AddListItem(item.nControlId, item.pszText);
}

CScriptedHost::CState* CScriptedHost::Find(int nId) {
    for (CState& state : m_controls)
        if (state.nId == nId) return &state;
    return nullptr;
}

const CScriptedHost::CState* CScriptedHost::Find(int nId) const {
    return const_cast<CScriptedHost*>(this)->Find(nId);
}

bool CScriptedHost::CanUse(const CState* pState) const {
    return pState && pState->bEnabled && pState->bVisible && !HasEnded();
}

bool CScriptedHost::Type(int nId, const std::wstring& strText) {
    CState* pState = Find(nId);
    if (!CanUse(pState) || pState->kind != EControlKind::kEdit) return false;
    pState->strText = strText;
    return true;
}

bool CScriptedHost::Click(int nId) {
    CState* pState = Find(nId);
    if (!CanUse(pState)) return false;
    switch (pState->kind) {
        case EControlKind::kCheckBox:
            pState->bChecked = !pState->bChecked;
            break;
        case EControlKind::kPushButton:
        case EControlKind::kDefPushButton:
            break;
        default:
            return false;
    }
    m_dialog.OnCommand(nId);
    return true;
}

bool CScriptedHost::Select(int nId, int nIndex) {
    CState* pState = Find(nId);
    if (!CanUse(pState) || pState->kind != EControlKind::kDropDownList) return false;
    if (nIndex < 0 || static_cast<size_t>(nIndex) >= pState->items.size()) return false;
    pState->nSel = nIndex;
    m_dialog.OnCommand(nId);
    return true;
}

bool CScriptedHost::ClickLink(int nId, bool bRight) {
    CState* pState = Find(nId);
    if (!CanUse(pState) || !(pState->nFlags & kCtlLink)) return false;
    m_dialog.OnLinkClick(nId, bRight);
    return true;
}

std::vector<std::wstring> CScriptedHost::ListItems(int nId) const {
    const CState* pState = Find(nId);
    return pState ? pState->items : std::vector<std::wstring>();
}

std::wstring CScriptedHost::GetText(int nId) const {
    if (nId == 0) return m_strCaption;
    const CState* pState = Find(nId);
    if (!pState) return std::wstring();
    if (pState->kind == EControlKind::kDropDownList)
        return pState->nSel < 0 ? std::wstring() : pState->items[pState->nSel];
    return pState->strText;
}

void CScriptedHost::SetText(int nId, const std::wstring& strText) {
    if (nId == 0) {
        m_strCaption = strText;
        return;
    }
    if (CState* pState = Find(nId)) pState->strText = strText;
}

bool CScriptedHost::GetCheck(int nId) const {
    const CState* pState = Find(nId);
    return pState && pState->bChecked;
}

void CScriptedHost::SetCheck(int nId, bool bChecked) {
    if (CState* pState = Find(nId)) pState->bChecked = bChecked;
}

bool CScriptedHost::IsEnabled(int nId) const {
    const CState* pState = Find(nId);
    return pState && pState->bEnabled;
}

void CScriptedHost::Enable(int nId, bool bEnable) {
    if (CState* pState = Find(nId)) pState->bEnabled = bEnable;
}

bool CScriptedHost::IsVisible(int nId) const {
    const CState* pState = Find(nId);
    return pState && pState->bVisible;
}

void CScriptedHost::Show(int nId, bool bShow) {
    if (CState* pState = Find(nId)) pState->bVisible = bShow;
}

void CScriptedHost::ResetList(int nId) {
    if (CState* pState = Find(nId)) {
        pState->items.clear();
        pState->nSel = -1;
    }
}

void CScriptedHost::AddListItem(int nId, const std::wstring& strItem) {
    if (CState* pState = Find(nId)) pState->items.push_back(strItem);
}

int CScriptedHost::GetListCount(int nId) const {
    const CState* pState = Find(nId);
    return pState ? static_cast<int>(pState->items.size()) : 0;
}

std::wstring CScriptedHost::GetListItem(int nId, int nIndex) const {
    const CState* pState = Find(nId);
    if (!pState || nIndex < 0 || static_cast<size_t>(nIndex) >= pState->items.size())
        return std::wstring();
    return pState->items[nIndex];
}

int CScriptedHost::GetListSel(int nId) const {
    const CState* pState = Find(nId);
    return pState ? pState->nSel : -1;
}

void CScriptedHost::SetListSel(int nId, int nIndex) {
    CState* pState = Find(nId);
    if (!pState) return;
    const bool bValid = nIndex >= 0 && static_cast<size_t>(nIndex) < pState->items.size();
    pState->nSel = bValid ? nIndex : -1;
}

void CScriptedHost::MessageBox(const std::wstring& strText, const std::wstring&) {
    m_messages.push_back(strText);
}

void CScriptedDialogBackend::Expect(int nResourceId, CDialogScript script) {
    m_scripts.emplace_back(nResourceId, std::move(script));
}

int CScriptedDialogBackend::RunModal(CDialog& dialog, uintptr_t hParent) {
    const CDialogResource* pResource = FindDialogResource(dialog.GetResourceId());
    if (!pResource || m_scripts.empty() || m_scripts.front().first != dialog.GetResourceId())
        return 0;
    CDialogScript script = std::move(m_scripts.front().second);
    m_scripts.pop_front();
    m_opened.push_back(dialog.GetResourceId());
    m_parents.push_back(hParent);
    CScriptedHost host(dialog, *pResource);
    dialog.Attach(host);
    dialog.OnInitDialog();
    if (!host.HasEnded() && script) script(host);
    if (!host.HasEnded()) dialog.OnCancel();
    dialog.Detach();
    return host.Result() == 0 ? kIdCancel : host.Result();
}
