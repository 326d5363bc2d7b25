#include "services/address_service.h"

#include "base/log.h"
#include "services/json_answer.h"

namespace {
using CFrameView = CJsonView<kAddressFrameNames>;
}  // namespace

int CAddressService::ReadAnswer(const std::string& strAnswer, CLocationRecord& out) {
    Json::Value tree;
    // A root that is no object holds neither a result nor an error: it is refused like text
    // that is no JSON, rather than answered with an empty record that would be cached.
    if (!ParseJsonAnswer(strAnswer, AnswerNames(), tree) || !tree.isObject()) {
        WriteLog(kLogError, L"FindLocation, %s: JSon Parse Error", m_facts.pszName);
        return 0;
    }
    const CFrameView root(tree);
    if (root.Has("error")) {
        AppendServerError(ErrorText(tree));
        return 0;
    }
    out.m_strFullAddress = root.Text("display_name");
    if (root.Has("address")) ReadAddress(root.Member("address").Value(), out);
    WriteLog(kLogInfo, L"FindLocation, %s: <%s> <%s> <%s> <%s>", m_facts.pszName, out.m_strLocation,
             out.m_strCity, out.m_strState, out.m_strCountry);
    return 1;
}
