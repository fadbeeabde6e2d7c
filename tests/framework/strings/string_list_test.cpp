#include "tests/support/suite.h"

namespace {

using V = std::vector<std::wstring>;

// The items head to tail, then checks that tail to head gives them reversed.
V Walk(const CStringList& list) {
    V forward, backward;
    for (POSITION p = list.GetHeadPosition(); p != nullptr;) forward.emplace_back(list.GetNext(p).GetString());
    for (POSITION p = list.GetTailPosition(); p != nullptr;) backward.emplace_back(list.GetPrev(p).GetString());
    EXPECT_EQ(V(backward.rbegin(), backward.rend()), forward);
    EXPECT_EQ(static_cast<std::size_t>(list.GetCount()), forward.size());
    return forward;
}

TEST(CStringList, LinksStayRightThroughAddsInsertsAndRemovals) {
    CStringList list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    const POSITION b = list.AddTail(L"b");
    const POSITION c = list.AddTail(CStringW(L"c"));
    list.AddHead(L"a");
    EXPECT_EQ(Walk(list), (V{L"a", L"b", L"c"}));
    EXPECT_EQ(list.GetHead(), L"a");
    EXPECT_EQ(list.GetTail(), L"c");

    // Positions stay valid when contents change.
    list.SetAt(b, L"B");
    list.GetAt(c) = L"C";
    list.InsertAfter(b, L"mid");
    list.InsertBefore(b, L"before");
    EXPECT_EQ(Walk(list), (V{L"a", L"before", L"B", L"mid", L"C"}));
    EXPECT_EQ(list.Find(L"mid"), list.FindIndex(3));
    EXPECT_EQ(list.Find(L"nothing"), nullptr);
    EXPECT_EQ(list.FindIndex(5), nullptr);
    EXPECT_EQ(list.FindIndex(-1), nullptr);

    list.RemoveAt(b);
    EXPECT_EQ(Walk(list), (V{L"a", L"before", L"mid", L"C"}));
    list.RemoveAt(c);   // the tail
    EXPECT_EQ(Walk(list), (V{L"a", L"before", L"mid"}));
    EXPECT_EQ(list.RemoveHead(), L"a");
    EXPECT_EQ(list.RemoveTail(), L"mid");
    EXPECT_EQ(list.RemoveTail(), L"before");
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetTailPosition(), nullptr);
    list.AddTail(L"again");
    list.RemoveAll();
    EXPECT_EQ(Walk(list), V{});
}

TEST(CStringList, NullPositionsAndEmptyListsThrow) {
    CStringList list;
    POSITION none = nullptr;
    const std::function<void()> calls[] = {[&] { list.GetNext(none); },       [&] { list.GetAt(none); },
                                           [&] { list.SetAt(none, L"x"); },   [&] { list.RemoveAt(none); },
                                           [&] { list.GetHead(); },           [&] { list.RemoveTail(); }};
    for (const auto& call : calls) {
        try {
            call();
            ADD_FAILURE() << "nothing was thrown by call " << &call - calls;
        } catch (CInvalidArgException* e) {
            e->Delete();
        }
    }
}

}  // namespace
