#include "services/address_service.h"

#include "base/log.h"
#include "services/json_answer.h"

int CAddressService::ReadAnswer(const std::string& strAnswer, CLocationRecord& out) {
    Json::Value root;
    // A root that is no object holds neither a result nor an error: it is refused like text
    // that is no JSON, rather than answered with an empty record that would be cached.
    if (!ParseJsonAnswer(strAnswer, root) || !root.isObject()) {
        WriteLog(kLogError, L"FindLocation, %s: JSon Parse Error", m_facts.pszName);
        return 0;
    }
    if (JsonHasMember(root, "error")) {
        AppendServerError(ErrorText(root));
        return 0;
    }
    out.m_strFullAddress = JsonText(root, "display_name");
    if (JsonHasMember(root, "address")) ReadAddress(JsonMember(root, "address"), out);
    WriteLog(kLogInfo, L"FindLocation, %s: <%s> <%s> <%s> <%s>", m_facts.pszName, out.m_strLocation,
             out.m_strCity, out.m_strState, out.m_strCountry);
    return 1;
}
