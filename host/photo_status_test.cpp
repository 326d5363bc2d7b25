#include "host/photo_status.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

// The log lines of one photo and the plug-in's answer decide its status; a failed first attempt
// followed by a good retry is a caption, not a failure. The plain outcomes (captioned, cached,
// no position, unreadable, an HTTP error answered with its text) go through the host in
// host_caption_test.
TEST(PhotoTrace, StatusFromAnswerAndLogLines) {
    struct SCase {
        std::vector<std::pair<bool, const wchar_t*>> lines;  // is an error line, text
        const wchar_t* pszAnswer;
        EPhotoStatus eExpected;
        const wchar_t* pszError;
    } cases[] = {
        {{{false, L"QueryServer: http://x/"},
          {true, L"QueryServerLow(), HTTP Error 502, url=http://x/"},
          {false, L"QueryServer: http://x/"},
          {false, L"FindLocation, GeoNames: <P>"}},
         L"Paris",
         EPhotoStatus::kOk,
         L""},
        // Answered at once without a request (a paused service): its error text says so.
        {{},
         L"Locnm: Error 7, no connection",
         EPhotoStatus::kLookupFailed,
         L"Locnm: Error 7, no connection"},
    };
    for (const SCase& c : cases) {
        CPhotoTrace trace;
        for (const auto& [bError, pszText] : c.lines) trace.AddLine(bError, pszText);
        std::wstring strError;
        EXPECT_EQ(trace.Classify(c.pszAnswer, strError), c.eExpected)
            << (c.pszAnswer ? c.pszAnswer : L"(none)");
        EXPECT_EQ(strError, c.pszError);
    }
}
