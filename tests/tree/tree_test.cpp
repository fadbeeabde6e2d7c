// CBrimTree: the null node, the cursor rules, failed insertions and the order
// and depth of RemoveAll.
#include <brim/brim.h>

#include "tests/support/printers.h"
#include "tests/support/thrown.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Node : CBrimNode {
    int value = -1;
    CBrimNode& operator=(const CBrimNode& other) override {
        value = static_cast<const Node&>(other).value;
        return *this;
    }
};

Node Data(int value) {
    Node n;
    n.value = value;
    return n;
}

// Records every release by value (the null node is -1).
class Tree : public CBrimTree {
public:
    ~Tree() override {
        if (!m_released) RemoveAll();
    }
    CBrimNode* vCreateNode() override {
        ++created;
        return new Node;
    }
    void vDeleteNode(CBrimNode* node) override {
        if (recordReleases) released.push_back(static_cast<Node*>(node)->value);
        ++deleted;
        delete node;
    }
    void Release() {
        RemoveAll();
        m_released = true;
    }
    int Value(CBrimNode* node) { return static_cast<Node*>(node)->value; }
    void DropCursor() { m_pCurrent = nullptr; }

    bool recordReleases = true;
    std::vector<int> released;
    long created = 0;
    long deleted = 0;

private:
    bool m_released = false;
};

using brimtest::Thrown;
const CStringW kNoLeft(L"BrimException : 왼쪽 노드가 없습니다."), kNoRight(L"BrimException : 오른쪽 노드가 없습니다."),
    kNoCurrent(L"BrimException : 현재 노드가 없습니다.");

TEST(CBrimTree, NewTreeMakesItsNullNodeOnFirstGet) {
    Tree tree;
    EXPECT_TRUE(tree.IsEmpty());
    EXPECT_EQ(tree.GetHeaderNode(), nullptr);
    EXPECT_EQ(tree.created, 0);
    CBrimNode* null = tree.GetCurrent();
    ASSERT_NE(null, nullptr);
    EXPECT_EQ(null, tree.GetNullNode());
    EXPECT_EQ(null->m_pLeft, null);
    EXPECT_EQ(null->m_pRight, null);
    EXPECT_EQ(null->m_pParent, null);
    EXPECT_TRUE(tree.IsEmpty());
    EXPECT_EQ(tree.created, 1);
    tree.GetLeftNode();
    EXPECT_EQ(tree.created, 1);   // made once
}

TEST(CBrimTree, FirstInsertionMakesTheHeaderWhateverTheCursor) {
    Tree tree;
    Node outside = Data(99);
    tree.SetCurrent(&outside);
    Node d = Data(1);
    CBrimNode* header = tree.vInsertRight(&d);
    EXPECT_EQ(header, tree.GetHeaderNode());
    EXPECT_EQ(header, tree.GetCurrent());
    EXPECT_EQ(tree.Value(header), 1);
    const CBrimNode* null = tree.GetNullNode();
    EXPECT_EQ(header->m_pLeft, null);
    EXPECT_EQ(header->m_pRight, null);
    EXPECT_EQ(header->m_pParent, null);
    EXPECT_FALSE(tree.IsEmpty());
    EXPECT_EQ(outside.m_pLeft, nullptr);   // the caller's node is only read
}

TEST(CBrimTree, RemoveAllReleasesChildrenThenHeaderThenNullAndTheTreeRefills) {
    Tree untouched;
    untouched.Release();
    EXPECT_TRUE(untouched.released.empty());   // no null node made, no hook called

    Tree tree;
    Node h = Data(0), l = Data(1), r = Data(2);
    tree.vInsertLeft(&h);
    tree.vInsertLeft(&l);
    tree.MoveParent();
    tree.vInsertRight(&r);   // cursor left on the right child
    tree.RemoveAll();
    EXPECT_EQ(tree.released, (std::vector<int>{1, 2, 0, -1}));
    EXPECT_EQ(tree.deleted, tree.created);
    EXPECT_TRUE(tree.IsEmpty());
    tree.vInsertRight(&l);
    EXPECT_EQ(tree.Value(tree.GetHeaderNode()), 1);
}

TEST(CBrimTree, RemoveAllIsPostOrderLeftFirst) {
    //        0
    //      1   4
    //     2 3    5
    Tree tree;
    Node d[6];
    for (int i = 0; i < 6; ++i) d[i].value = i;
    CBrimNode* n0 = tree.vInsertLeft(&d[0]);
    CBrimNode* n1 = tree.vInsertLeft(&d[1]);
    tree.vInsertLeft(&d[2]);
    tree.SetCurrent(n1);
    tree.vInsertRight(&d[3]);
    tree.SetCurrent(n0);
    tree.vInsertRight(&d[4]);
    tree.vInsertRight(&d[5]);
    tree.Release();
    EXPECT_EQ(tree.released, (std::vector<int>{2, 3, 1, 5, 4, 0, -1}));
}

TEST(CBrimTree, FailedInsertionsThrowTheirTextAndChangeNothing) {
    Tree tree;
    Node h = Data(0), l = Data(1), r = Data(2), extra = Data(3);
    CBrimNode* header = tree.vInsertLeft(&h);
    tree.vInsertLeft(&l);
    tree.MoveParent();
    tree.vInsertRight(&r);
    tree.MoveParent();
    const long created = tree.created;

    EXPECT_EQ(Thrown([&] { tree.vInsertLeft(&extra); }), kNoLeft);
    EXPECT_EQ(Thrown([&] { tree.vInsertRight(&extra); }), kNoRight);
    tree.SetCurrent(const_cast<CBrimNode*>(tree.GetNullNode()));
    EXPECT_EQ(Thrown([&] { tree.vInsertLeft(&extra); }), kNoCurrent);
    EXPECT_EQ(Thrown([&] { tree.vInsertRight(&extra); }), kNoCurrent);
    EXPECT_EQ(tree.created, created);
    EXPECT_EQ(tree.Value(header->m_pLeft), 1);
    EXPECT_EQ(tree.Value(header->m_pRight), 2);
    EXPECT_EQ(header->m_pLeft->m_pLeft, tree.GetNullNode());
}

TEST(CBrimTree, WithoutCursorMovesGiveNullAndInsertionsThrow) {
    Tree empty;
    EXPECT_EQ(empty.GetLeftNode(), empty.GetNullNode());   // making the null node puts the cursor there
    empty.MoveHeader();   // no header: no cursor
    EXPECT_EQ(empty.GetLeftNode(), nullptr);
    EXPECT_EQ(empty.GetRightNode(), nullptr);
    EXPECT_EQ(empty.MoveLeftNode(), nullptr);
    EXPECT_EQ(empty.MoveParent(), nullptr);
    EXPECT_EQ(empty.MoveFirstLeftNode(), nullptr);
    EXPECT_EQ(empty.MoveLastRightNode(), nullptr);
    Node h = Data(0), x = Data(1);
    empty.vInsertLeft(&h);   // a tree without a header takes it anyway
    EXPECT_EQ(empty.Value(empty.GetCurrent()), 0);

    empty.DropCursor();
    EXPECT_EQ(Thrown([&] { empty.vInsertLeft(&x); }), kNoCurrent);
}

TEST(CBrimTree, MovesNeverLandOnTheNullNode) {
    Tree tree;
    Node d[3];
    for (int i = 0; i < 3; ++i) d[i].value = i;
    CBrimNode* header = tree.vInsertLeft(&d[0]);
    CBrimNode* n1 = tree.vInsertLeft(&d[1]);
    CBrimNode* n2 = tree.vInsertLeft(&d[2]);
    const CBrimNode* null = tree.GetNullNode();

    EXPECT_EQ(tree.MoveLeftNode(), null);
    EXPECT_EQ(tree.GetCurrent(), n2);
    EXPECT_EQ(tree.MoveRightNode(), null);
    EXPECT_EQ(tree.GetCurrent(), n2);
    EXPECT_EQ(tree.GetLeftNode(), null);
    EXPECT_EQ(tree.MoveFirstLeftNode(), n2);   // no left child: the node itself

    EXPECT_EQ(tree.MoveParent(), n1);
    EXPECT_EQ(tree.MoveParent(), header);
    EXPECT_EQ(tree.MoveParent(), header);   // the top: the cursor stays
    EXPECT_EQ(tree.GetCurrent(), header);
    EXPECT_EQ(tree.MoveLastRightNode(), header);
    EXPECT_EQ(tree.MoveFirstLeftNode(), n2);
    EXPECT_EQ(tree.GetCurrent(), n2);

    tree.SetCurrent(nullptr);
    EXPECT_EQ(tree.GetCurrent(), n2);
    EXPECT_EQ(tree.MoveHeader(), header);
    EXPECT_EQ(tree.MoveLeftNode(), n1);
}

TEST(CBrimTree, ThrowingCopyHookLeavesTheTreeAsItWas) {
    struct Fussy : Node {
        CBrimNode& operator=(const CBrimNode& other) override {
            if (static_cast<const Node&>(other).value < 0) throw new CBrimException(L"%s", L"bad data");
            return Node::operator=(other);
        }
    };
    struct FussyTree : Tree {
        CBrimNode* vCreateNode() override {
            ++created;
            return new Fussy;
        }
    };
    FussyTree tree;
    Node good = Data(1), bad = Data(-5);
    CBrimNode* header = tree.vInsertLeft(&good);
    EXPECT_EQ(Thrown([&] { tree.vInsertLeft(&bad); }), L"BrimException : bad data");
    EXPECT_EQ(header->m_pLeft, tree.GetNullNode());
    EXPECT_EQ(tree.GetCurrent(), header);
    EXPECT_EQ(tree.deleted, 1);   // the half-made node went back
}

// Deep chains would exhaust the stack of a recursive release.
TEST(CBrimTree, ReleasesAMillionNodeChain) {
    Tree tree;
    tree.recordReleases = false;
    Node d = Data(7);
    for (int i = 0; i < 1000000; ++i) (i % 3 == 0 ? tree.vInsertRight(&d) : tree.vInsertLeft(&d));
    tree.Release();
    EXPECT_EQ(tree.created, 1000001);
    EXPECT_EQ(tree.deleted, tree.created);
}

}  // namespace
