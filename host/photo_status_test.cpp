#include "host/photo_status.h"

#include <gtest/gtest.h>

#include <string>

// The log lines of one photo and the plug-in's answer decide its status; a failed first attempt
// followed by a good retry is a caption, not a failure. The plain outcomes (captioned, cached,
// no position, unreadable, an HTTP error answered with its text) go through the host in
// host_caption_test.
TEST(PhotoTrace, StatusFromAnswerAndLogLines) {
    CPhotoTrace retried;
    retried.AddLine(false, L"QueryServer: http://x/");
    retried.AddLine(true, L"QueryServerLow(), HTTP Error 502, url=http://x/");
    retried.AddLine(false, L"QueryServer: http://x/");
    retried.AddLine(false, L"FindLocation, GeoNames: <P>");
    std::wstring strError;
    EXPECT_EQ(retried.Classify(L"Paris", strError), EPhotoStatus::kOk);
    EXPECT_EQ(strError, L"");
    // Answered at once without a request (a paused service): its error text says so.
    const wchar_t kPaused[] = L"Locnm: Error 7, no connection";
    EXPECT_EQ(CPhotoTrace().Classify(kPaused, strError), EPhotoStatus::kLookupFailed);
    EXPECT_EQ(strError, kPaused);
}
