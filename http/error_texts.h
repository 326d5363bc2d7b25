// The module's user-facing error texts, by string-table identifier. A Windows resource script
// builds its STRINGTABLE from the same list, so both builds show the same words.
#pragma once

constexpr int kIdsWrongUrlFormat = 1002;     // "Locnm: Wrong URL format"
constexpr int kIdsOpenRequestFailed = 1003;  // "Locnm: OpenRequest failed"
constexpr int kIdsSendRequestFailed = 1004;  // "Locnm: SendRequest failed"
constexpr int kIdsHttpError = 1005;          // "Locnm: HTTP Error %d" (the status)
constexpr int kIdsTransportError = 1006;     // "Locnm: Error %d, %s" (error number, its text)
constexpr int kIdsUnknownException = 1007;   // "Locnm: Unknown Exception"
// Texts of our own start at 1101, clear of the dialog strings (1009 is "The cache file has been
// cleared").
constexpr int kIdsBadServiceUrl = 1101;  // "...LOCANYM_SERVICE_URL is not...: %s" (its value)
constexpr int kIdsTimeLimit = 1102;      // "Locnm: No complete answer within %d s"
constexpr int kIdsOutOfMemory = 1103;    // "Locnm: Out of memory"

// The text of a string-table identifier; an empty text for an unknown one. The texts live for
// the life of the module.
const wchar_t* LoadStringText(int nId);
