// The resource table that every backend lays its windows out from.
#include "ui/resources.h"

#include <gtest/gtest.h>

#include <set>

namespace {

bool Overlap(const CControlResource& a, const CControlResource& b) {
    return a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy && b.y < a.y + a.cy;
}

bool Inside(const CControlResource& outer, const CControlResource& inner) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.cx <= outer.x + outer.cx &&
           inner.y + inner.cy <= outer.y + outer.cy;
}

TEST(Resources, EveryControlFitsItsDialogWithoutOverlapAndHasAUniqueId) {
    for (const CDialogResource& dialog : GetDialogResources()) {
        std::set<int> ids;
        for (const CControlResource& a : dialog.controls) {
            SCOPED_TRACE(testing::Message() << dialog.nId << " control " << a.nId);
            EXPECT_GE(a.x, 0);
            EXPECT_GE(a.y, 0);
            EXPECT_LE(a.x + a.cx, dialog.cx);
            EXPECT_LE(a.y + a.cy, dialog.cy);
            if (a.nId != kIdcStatic) {
                EXPECT_TRUE(ids.insert(a.nId).second);
            }
            for (const CControlResource& b : dialog.controls) {
                if (&a == &b) continue;
                // A group box frames controls; anything else touching it must sit inside.
                if (a.kind == EControlKind::kGroupBox) {
                    if (b.kind != EControlKind::kGroupBox && Overlap(a, b)) {
                        EXPECT_TRUE(Inside(a, b)) << b.nId;
                    }
                    continue;
                }
                if (b.kind == EControlKind::kGroupBox) continue;
                EXPECT_FALSE(Overlap(a, b)) << b.nId << " " << b.pszText;
            }
        }
        EXPECT_NE(FindControl(dialog, kIdOk), nullptr);
        EXPECT_NE(FindControl(dialog, kIdCancel), nullptr);
    }
}

}  // namespace
