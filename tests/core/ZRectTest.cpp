// Rectangle helpers, checked against point membership: a point lies in an intersection exactly when it
// lies in both operands, and a union is the smallest rectangle holding every point of either.
#include <gtest/gtest.h>

#include "core/ZRect.h"

namespace {

bool Contains(const ZRect& r, int32_t x, int32_t y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Aggregate initialisation stays the way every caller builds a rectangle.
static_assert(ZRect{1, 2, 3, 4}.bottom == 3 && ZRect::FromSize(5, 7) == ZRect{0, 0, 7, 5});

TEST(CoreRect, IntersectUnionAndOffsetAgreeWithPointMembership) {
    struct Case {
        ZRect a, b, intersection, unionRect;
    };
    // ZRect is top, left, bottom, right.
    const Case cases[] = {
        {{0, 0, 4, 4}, {2, 2, 6, 6}, {2, 2, 4, 4}, {0, 0, 6, 6}},            // overlapping corners
        {{0, 0, 8, 8}, {2, 3, 5, 6}, {2, 3, 5, 6}, {0, 0, 8, 8}},            // one inside the other
        {{0, 0, 2, 2}, {5, 5, 7, 9}, {}, {0, 0, 7, 9}},                      // apart
        {{0, 0, 3, 3}, {0, 3, 3, 6}, {}, {0, 0, 3, 6}},                      // sharing an edge only
        {{-4, -6, 1, -1}, {-2, -3, 5, 2}, {-2, -3, 1, -1}, {-4, -6, 5, 2}},  // negative coordinates
        {{1, 1, 4, 4}, {}, {}, {1, 1, 4, 4}},                                // empty operand
        {{2, 2, 2, 9}, {0, 0, 5, 5}, {}, {0, 0, 5, 5}},                      // zero height
        {{3, 3, 1, 1}, {0, 0, 5, 5}, {}, {0, 0, 5, 5}},                      // inverted, hence empty
        {{}, {}, {}, {}},                                                    // both empty
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "a " << c.a.top << "," << c.a.left << "," << c.a.bottom << "," << c.a.right << " b "
                     << c.b.top << "," << c.b.left << "," << c.b.bottom << "," << c.b.right);
        ZRect in = c.a.Intersect(c.b);
        ZRect un = c.a.Union(c.b);
        EXPECT_EQ(in, c.intersection);
        EXPECT_EQ(un, c.unionRect);
        EXPECT_EQ(c.b.Intersect(c.a), in);
        EXPECT_EQ(c.b.Union(c.a), un);
        EXPECT_GE(in.Width(), 0);
        EXPECT_GE(in.Height(), 0);
        for (int32_t y = -8; y < 12; ++y) {
            for (int32_t x = -8; x < 12; ++x) {
                bool inA = !c.a.IsEmpty() && Contains(c.a, x, y), inB = !c.b.IsEmpty() && Contains(c.b, x, y);
                ASSERT_EQ(Contains(in, x, y), inA && inB) << x << "," << y;
                if (inA || inB) {
                    ASSERT_TRUE(Contains(un, x, y)) << x << "," << y;
                }
            }
        }
        // The union is tight: each of its edges touches an edge of a non-empty operand.
        if (!un.IsEmpty()) {
            const ZRect* parts[] = {&c.a, &c.b};
            bool top = false, left = false, bottom = false, right = false;
            for (const ZRect* p : parts) {
                if (!p->IsEmpty()) {
                    top |= p->top == un.top;
                    left |= p->left == un.left;
                    bottom |= p->bottom == un.bottom;
                    right |= p->right == un.right;
                }
            }
            EXPECT_TRUE(top && left && bottom && right);
        }
        // Moving both operands moves their intersection and union alike.
        if (!in.IsEmpty()) {
            EXPECT_EQ(c.a.Offset(3, -5).Intersect(c.b.Offset(3, -5)), in.Offset(3, -5));
        }
        if (!un.IsEmpty()) {
            EXPECT_EQ(c.a.Offset(-7, 2).Union(c.b.Offset(-7, 2)), un.Offset(-7, 2));
        }
    }
}

TEST(CoreRect, FromSizeAndOffsetKeepTheSize) {
    ZRect r = ZRect::FromSize(800, 600).Offset(112, 84);
    EXPECT_EQ(r, (ZRect{84, 112, 684, 912}));
    EXPECT_EQ(r.Width(), 800);
    EXPECT_EQ(r.Height(), 600);
    EXPECT_TRUE(ZRect::FromSize(0, 5).IsEmpty());
    EXPECT_EQ(r.Offset(-112, -84), ZRect::FromSize(800, 600));
}

}  // namespace
