#include "ui/dialog.h"

#include "core/settings_ui.h"
#include "ui/static_link.h"

CDialog::CDialog(int nResourceId) : m_nResourceId(nResourceId) {}

CDialog::~CDialog() = default;

int CDialog::DoModal(IDialogBackend& backend, uintptr_t hParent) {
    m_pBackend = &backend;
    m_hParent = hParent;
    int nResult = backend.RunModal(*this, hParent);
    m_pHost = nullptr;
    return nResult;
}

bool CDialog::OnInitDialog() {
    DoDataExchange(false);
    return true;
}

void CDialog::OnCommand(int nId) {
    if (nId == kIdOk) OnOK();
    if (nId == kIdCancel) OnCancel();
}

void CDialog::OnOK() {
    DoDataExchange(true);
    Host().EndDialog(kIdOk);
}

void CDialog::OnCancel() {
    Host().EndDialog(kIdCancel);
}

void CDialog::DoDataExchange(bool) {}

void CDialog::SubclassLink(CStaticLink& link, int nId) {
    for (auto& entry : m_links) {
        if (entry.first == nId) {
            entry.second = &link;
            return;
        }
    }
    m_links.emplace_back(nId, &link);
}

CStaticLink* CDialog::FindLink(int nId) const {
    for (const auto& entry : m_links)
        if (entry.first == nId) return entry.second;
    return nullptr;
}

void CDialog::OnLinkClick(int nId, bool bRight) {
    CStaticLink* pLink = FindLink(nId);
    if (!pLink || !m_pActions || !m_pHost) return;
    const std::wstring strText = Host().GetText(nId);
    if (bRight) {
        pLink->OnRButtonDown(*m_pActions, strText);
        return;
    }
    bool bFailed = false;
    pLink->OnLButtonDown(*m_pActions, strText, bFailed);
    if (bFailed) Host().Beep();
    Host().RedrawLink(nId);
}

void CDialog::DdxCheck(bool bSave, int nId, int32_t& bValue) {
    if (bSave)
        bValue = Host().GetCheck(nId) ? 1 : 0;
    else
        Host().SetCheck(nId, bValue != 0);
}

void CDialog::DdxText(bool bSave, int nId, std::wstring& strValue) {
    if (bSave)
        strValue = Host().GetText(nId);
    else
        Host().SetText(nId, strValue);
}

void CDialog::DdxListIndex(bool bSave, int nId, int32_t& nIndex) {
    if (!bSave) {
        Host().SetListSel(nId, nIndex);
        return;
    }
    // A list without a selection (a value that named no entry) keeps the value it came with:
    // -1 would be taken as an index later.
    const int nSel = Host().GetListSel(nId);
    if (nSel >= 0) nIndex = nSel;
}
