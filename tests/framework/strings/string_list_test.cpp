#include <brim/brim.h>

#include "tests/support/printers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Forward(const CStringList& list) {
    std::vector<std::wstring> out;
    for (POSITION p = list.GetHeadPosition(); p != nullptr;) out.emplace_back(list.GetNext(p).GetString());
    return out;
}

std::vector<std::wstring> Backward(const CStringList& list) {
    std::vector<std::wstring> out;
    for (POSITION p = list.GetTailPosition(); p != nullptr;) out.emplace_back(list.GetPrev(p).GetString());
    return out;
}

TEST(CStringList, AddAndWalkBothWays) {
    CStringList list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail(L"b");
    list.AddTail(CStringW(L"c"));
    list.AddHead(L"a");
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(Forward(list), (std::vector<std::wstring>{L"a", L"b", L"c"}));
    EXPECT_EQ(Backward(list), (std::vector<std::wstring>{L"c", L"b", L"a"}));
    EXPECT_EQ(list.GetHead(), L"a");
    EXPECT_EQ(list.GetTail(), L"c");
}

TEST(CStringList, PositionsStayValidWhenContentsChange) {
    CStringList list;
    const POSITION first = list.AddTail(L"x");
    const POSITION second = list.AddTail(L"y");
    list.SetAt(first, L"changed");
    list.GetAt(second) = L"also";
    EXPECT_EQ(list.GetAt(first), L"changed");
    EXPECT_EQ(Forward(list), (std::vector<std::wstring>{L"changed", L"also"}));
    list.InsertAfter(first, L"mid");
    list.InsertBefore(first, L"start");
    EXPECT_EQ(Forward(list), (std::vector<std::wstring>{L"start", L"changed", L"mid", L"also"}));
    EXPECT_EQ(list.Find(L"mid"), list.FindIndex(2));
    EXPECT_EQ(list.Find(L"nothing"), nullptr);
    EXPECT_EQ(list.FindIndex(4), nullptr);
    EXPECT_EQ(list.FindIndex(-1), nullptr);
}

TEST(CStringList, RemovalKeepsLinksRight) {
    CStringList list;
    list.AddTail(L"a");
    const POSITION b = list.AddTail(L"b");
    list.AddTail(L"c");
    list.RemoveAt(b);
    EXPECT_EQ(Forward(list), (std::vector<std::wstring>{L"a", L"c"}));
    EXPECT_EQ(Backward(list), (std::vector<std::wstring>{L"c", L"a"}));
    EXPECT_EQ(list.RemoveHead(), L"a");
    EXPECT_EQ(list.RemoveTail(), L"c");
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetTailPosition(), nullptr);
    list.AddTail(L"again");
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(CStringList, NullPositionsAndEmptyListsThrow) {
    CStringList list;
    POSITION none = nullptr;
    const auto expectInvalid = [](auto call) {
        try {
            call();
            ADD_FAILURE() << "nothing was thrown";
        } catch (CInvalidArgException* e) {
            e->Delete();
        }
    };
    expectInvalid([&] { list.GetNext(none); });
    expectInvalid([&] { list.GetAt(none); });
    expectInvalid([&] { list.SetAt(none, L"x"); });
    expectInvalid([&] { list.RemoveAt(none); });
    expectInvalid([&] { list.GetHead(); });
    expectInvalid([&] { list.RemoveTail(); });
}

}  // namespace
