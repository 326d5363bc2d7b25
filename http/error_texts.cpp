#include "http/error_texts.h"

namespace {
struct SStringEntry {
    int nId;
    const wchar_t* pszText;
};

const SStringEntry kStringTable[] = {
    {kIdsWrongUrlFormat, L"Locnm: Wrong URL format"},
    {kIdsOpenRequestFailed, L"Locnm: OpenRequest failed"},
    {kIdsSendRequestFailed, L"Locnm: SendRequest failed"},
    {kIdsHttpError, L"Locnm: HTTP Error %d"},
    {kIdsTransportError, L"Locnm: Error %d, %s"},
    {kIdsUnknownException, L"Locnm: Unknown Exception"},
    {kIdsBadServiceUrl, L"Locnm: LOCANYM_SERVICE_URL is not an http or https URL: %s"},
    {kIdsTimeLimit, L"Locnm: No complete answer within %d s"},
    {kIdsOutOfMemory, L"Locnm: Out of memory"},
};
}  // namespace

const wchar_t* LoadStringText(int nId) {
    for (const SStringEntry& entry : kStringTable) {
        if (entry.nId == nId) return entry.pszText;
    }
    return L"";
}
