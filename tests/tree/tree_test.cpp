// CBrimTree: the null node, the cursor rules, failed insertions and the order
// and depth of RemoveAll.
#include <brim/brim.h>

#include "tests/support/printers.h"
#include "tests/support/thrown.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Node : CBrimNode {
    explicit Node(int v = -1) : value(v) {}
    int value;
    CBrimNode& operator=(const CBrimNode& other) override {
        value = static_cast<const Node&>(other).value;
        return *this;
    }
};

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
    static int Value(CBrimNode* node) { return static_cast<Node*>(node)->value; }
    void DropCursor() { m_pCurrent = nullptr; }
    CBrimNode* Null() { return const_cast<CBrimNode*>(GetNullNode()); }

    bool recordReleases = true;
    std::vector<int> released;
    long created = 0, deleted = 0;

private:
    bool m_released = false;
};

using brimtest::Thrown;
const CStringW kNoLeft(L"BrimException : 왼쪽 노드가 없습니다."), kNoRight(L"BrimException : 오른쪽 노드가 없습니다."),
    kNoCurrent(L"BrimException : 현재 노드가 없습니다.");

TEST(CBrimTree, NullNodeIsMadeOnceAndTheFirstInsertionIsTheHeader) {
    Tree tree;
    EXPECT_EQ(tree.GetHeaderNode(), nullptr);
    EXPECT_EQ(tree.created, 0);
    CBrimNode* null = tree.GetCurrent();
    ASSERT_EQ(null, tree.GetNullNode());
    EXPECT_EQ(null->m_pLeft, null);
    EXPECT_EQ(null->m_pRight, null);
    EXPECT_EQ(null->m_pParent, null);
    EXPECT_TRUE(tree.IsEmpty());
    tree.GetLeftNode();
    EXPECT_EQ(tree.created, 1);

    // Whatever the cursor, the first insertion makes the header; the caller's node is only read.
    Node outside(99), d(1);
    tree.SetCurrent(&outside);
    CBrimNode* header = tree.vInsertRight(&d);
    EXPECT_EQ(header, tree.GetHeaderNode());
    EXPECT_EQ(header, tree.GetCurrent());
    EXPECT_EQ(Tree::Value(header), 1);
    EXPECT_EQ(header->m_pLeft, null);
    EXPECT_EQ(header->m_pRight, null);
    EXPECT_EQ(header->m_pParent, null);
    EXPECT_FALSE(tree.IsEmpty());
    EXPECT_EQ(outside.m_pLeft, nullptr);
}

TEST(CBrimTree, RemoveAllIsPostOrderLeftFirstThenNullAndTheTreeRefills) {
    Tree untouched;
    untouched.Release();
    EXPECT_TRUE(untouched.released.empty());   // no null node made, no hook called

    //        0
    //      1   4
    //     2 3    5
    Tree tree;
    Node d[6] = {Node(0), Node(1), Node(2), Node(3), Node(4), Node(5)};
    CBrimNode* n0 = tree.vInsertLeft(&d[0]);
    CBrimNode* n1 = tree.vInsertLeft(&d[1]);
    tree.vInsertLeft(&d[2]);
    tree.SetCurrent(n1);
    tree.vInsertRight(&d[3]);   // the cursor is left on a leaf
    tree.SetCurrent(n0);
    tree.vInsertRight(&d[4]);
    tree.vInsertRight(&d[5]);
    tree.RemoveAll();
    EXPECT_EQ(tree.released, (std::vector<int>{2, 3, 1, 5, 4, 0, -1}));
    EXPECT_EQ(tree.deleted, tree.created);
    EXPECT_TRUE(tree.IsEmpty());
    tree.vInsertRight(&d[1]);
    EXPECT_EQ(Tree::Value(tree.GetHeaderNode()), 1);
}

TEST(CBrimTree, FailedInsertionsThrowTheirTextAndChangeNothing) {
    Tree tree;
    Node h(0), l(1), r(2), extra(3);
    CBrimNode* header = tree.vInsertLeft(&h);
    tree.vInsertLeft(&l);
    tree.MoveParent();
    tree.vInsertRight(&r);
    tree.MoveParent();
    const long created = tree.created;
    EXPECT_EQ(Thrown([&] { tree.vInsertLeft(&extra); }), kNoLeft);
    EXPECT_EQ(Thrown([&] { tree.vInsertRight(&extra); }), kNoRight);
    tree.SetCurrent(tree.Null());
    EXPECT_EQ(Thrown([&] { tree.vInsertLeft(&extra); }), kNoCurrent);
    EXPECT_EQ(Thrown([&] { tree.vInsertRight(&extra); }), kNoCurrent);
    tree.DropCursor();
    EXPECT_EQ(Thrown([&] { tree.vInsertLeft(&extra); }), kNoCurrent);
    EXPECT_EQ(tree.created, created);
    EXPECT_EQ(Tree::Value(header->m_pLeft), 1);
    EXPECT_EQ(Tree::Value(header->m_pRight), 2);
    EXPECT_EQ(header->m_pLeft->m_pLeft, tree.GetNullNode());

    // A copy hook that throws leaves the tree as it was; the half-made node goes back.
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
    FussyTree fussy;
    Node bad(-5);
    CBrimNode* top = fussy.vInsertLeft(&l);
    EXPECT_EQ(Thrown([&] { fussy.vInsertLeft(&bad); }), L"BrimException : bad data");
    EXPECT_EQ(top->m_pLeft, fussy.GetNullNode());
    EXPECT_EQ(fussy.GetCurrent(), top);
    EXPECT_EQ(fussy.deleted, 1);
}

TEST(CBrimTree, MovesNeverLandOnTheNullNode) {
    Tree empty;
    EXPECT_EQ(empty.GetLeftNode(), empty.GetNullNode());   // making the null node puts the cursor there
    empty.MoveHeader();                                    // no header: no cursor
    for (CBrimNode* moved : {empty.GetLeftNode(), empty.GetRightNode(), empty.MoveLeftNode(), empty.MoveParent(),
                             empty.MoveFirstLeftNode(), empty.MoveLastRightNode()}) {
        EXPECT_EQ(moved, nullptr);
    }
    Node h(0);
    empty.vInsertLeft(&h);   // a tree without a cursor takes its header anyway
    EXPECT_EQ(Tree::Value(empty.GetCurrent()), 0);

    Tree tree;
    Node d[3] = {Node(0), Node(1), Node(2)};
    CBrimNode* header = tree.vInsertLeft(&d[0]);
    CBrimNode* n1 = tree.vInsertLeft(&d[1]);
    CBrimNode* n2 = tree.vInsertLeft(&d[2]);
    const CBrimNode* null = tree.GetNullNode();
    EXPECT_EQ(tree.MoveLeftNode(), null);
    EXPECT_EQ(tree.MoveRightNode(), null);
    EXPECT_EQ(tree.GetCurrent(), n2);
    EXPECT_EQ(tree.GetLeftNode(), null);
    EXPECT_EQ(tree.MoveFirstLeftNode(), n2);   // no left child: the node itself
    EXPECT_EQ(tree.MoveParent(), n1);
    EXPECT_EQ(tree.MoveParent(), header);
    EXPECT_EQ(tree.MoveParent(), header);   // the top: the cursor stays
    EXPECT_EQ(tree.MoveLastRightNode(), header);
    EXPECT_EQ(tree.MoveFirstLeftNode(), n2);
    tree.SetCurrent(nullptr);
    EXPECT_EQ(tree.GetCurrent(), n2);
    EXPECT_EQ(tree.MoveHeader(), header);
    EXPECT_EQ(tree.MoveLeftNode(), n1);
}

// Deep chains would exhaust the stack of a recursive release.
TEST(CBrimTree, ReleasesAMillionNodeChain) {
    Tree tree;
    tree.recordReleases = false;
    Node d(7);
    for (int i = 0; i < 1000000; ++i) (i % 3 == 0 ? tree.vInsertRight(&d) : tree.vInsertLeft(&d));
    tree.Release();
    EXPECT_EQ(tree.created, 1000001);
    EXPECT_EQ(tree.deleted, tree.created);
}

}  // namespace
