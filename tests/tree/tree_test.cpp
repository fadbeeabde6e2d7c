// CBrimTree: the null node, the cursor rules, failed insertions and the order and depth of RemoveAll.
#include "tests/foundation/suite.h"

namespace {

struct Node : CBrimNode {
    explicit Node(int v = -1) : value(v) {}
    int value;
    CBrimNode& operator=(const CBrimNode& other) override {   // a copy hook that refuses values below -1
        value = static_cast<const Node&>(other).value;
        if (value < -1) throw new CBrimException(L"%s", L"bad data");
        return *this;
    }
};

// Records every release by value (the null node is -1).
class Tree : public CBrimTree {
public:
    ~Tree() override { RemoveAll(); }   // a second RemoveAll finds nothing to release
    CBrimNode* vCreateNode() override {
        ++created;
        return new Node;
    }
    void vDeleteNode(CBrimNode* node) override {
        released.push_back(static_cast<Node*>(node)->value);
        delete node;
    }
    static int Value(CBrimNode* node) { return static_cast<Node*>(node)->value; }
    void DropCursor() { m_pCurrent = nullptr; }

    std::vector<int> released;
    std::size_t created = 0;
};

using namespace brimtest;
const CStringW kNoLeft(L"BrimException : 왼쪽 노드가 없습니다."), kNoRight(L"BrimException : 오른쪽 노드가 없습니다."),
    kNoCurrent(L"BrimException : 현재 노드가 없습니다.");

// The null node links to itself and is made once; whatever the cursor, the first insertion makes the header.
TEST(CBrimTree, NullNodeIsMadeOnceAndTheFirstInsertionIsTheHeader) {
    Tree untouched;
    untouched.RemoveAll();
    EXPECT_TRUE(untouched.released.empty());   // no null node made, no hook called
    Tree tree;
    EXPECT_EQ(tree.GetHeaderNode(), nullptr);
    CBrimNode* null = tree.GetCurrent();
    ASSERT_EQ(null, tree.GetNullNode());
    EXPECT_TRUE(null->m_pLeft == null && null->m_pRight == null && null->m_pParent == null);
    EXPECT_TRUE(tree.IsEmpty());
    tree.GetLeftNode();
    EXPECT_EQ(tree.created, 1u);

    Node outside(99), d(1);
    tree.SetCurrent(&outside);
    CBrimNode* header = tree.vInsertRight(&d);
    EXPECT_EQ(header, tree.GetHeaderNode());
    EXPECT_EQ(header, tree.GetCurrent());
    EXPECT_EQ(Tree::Value(header), 1);
    EXPECT_TRUE(header->m_pLeft == null && header->m_pRight == null && header->m_pParent == null);
    EXPECT_EQ(outside.m_pLeft, nullptr);   // the caller's node is only read
}

// 0 has the children 1 and 4; 1 has 2 and 3; 4 has a right child, 5.
class CBrimTreeShape : public ::testing::Test {
protected:
    void SetUp() override {
        n[0] = tree.vInsertLeft(&d[0]);
        n[1] = tree.vInsertLeft(&d[1]);
        n[2] = tree.vInsertLeft(&d[2]);
        tree.SetCurrent(n[1]);
        n[3] = tree.vInsertRight(&d[3]);   // the cursor is left on a leaf
        tree.SetCurrent(n[0]);
        n[4] = tree.vInsertRight(&d[4]);
        n[5] = tree.vInsertRight(&d[5]);
    }

    Tree tree;
    Node d[6] = {Node(0), Node(1), Node(2), Node(3), Node(4), Node(5)};
    CBrimNode* n[6] = {};
};

TEST_F(CBrimTreeShape, RemoveAllIsPostOrderLeftFirstThenNullAndTheTreeRefills) {
    tree.RemoveAll();
    EXPECT_EQ(tree.released, (std::vector<int>{2, 3, 1, 5, 4, 0, -1}));
    EXPECT_EQ(tree.released.size(), tree.created);
    EXPECT_TRUE(tree.IsEmpty());
    tree.vInsertRight(&d[1]);
    EXPECT_EQ(Tree::Value(tree.GetHeaderNode()), 1);
}

TEST_F(CBrimTreeShape, FailedInsertionsThrowTheirTextAndChangeNothing) {
    const std::size_t created = tree.created;
    Node extra(9);
    tree.SetCurrent(n[0]);
    EXPECT_EQ(Thrown([&] { tree.vInsertLeft(&extra); }), kNoLeft);
    EXPECT_EQ(Thrown([&] { tree.vInsertRight(&extra); }), kNoRight);
    tree.SetCurrent(const_cast<CBrimNode*>(tree.GetNullNode()));
    EXPECT_EQ(Thrown([&] { tree.vInsertRight(&extra); }), kNoCurrent);
    tree.DropCursor();
    EXPECT_EQ(Thrown([&] { tree.vInsertLeft(&extra); }), kNoCurrent);
    EXPECT_EQ(tree.created, created);
    EXPECT_TRUE(n[0]->m_pLeft == n[1] && n[0]->m_pRight == n[4]);

    // A copy hook that throws leaves the tree as it was and gives the half-made node back.
    Node bad(-5);
    tree.SetCurrent(n[2]);
    EXPECT_EQ(Thrown([&] { tree.vInsertLeft(&bad); }), L"BrimException : bad data");
    EXPECT_EQ(n[2]->m_pLeft, tree.GetNullNode());
    EXPECT_EQ(tree.GetCurrent(), n[2]);
    EXPECT_EQ(tree.released.size(), 1u);
}

TEST_F(CBrimTreeShape, MovesNeverLandOnTheNullNode) {
    const CBrimNode* null = tree.GetNullNode();
    tree.SetCurrent(n[2]);
    EXPECT_EQ(tree.MoveLeftNode(), null);
    EXPECT_EQ(tree.MoveRightNode(), null);
    EXPECT_EQ(tree.GetCurrent(), n[2]);
    EXPECT_EQ(tree.GetLeftNode(), null);
    EXPECT_EQ(tree.MoveFirstLeftNode(), n[2]);   // no left child: the node itself
    EXPECT_EQ(tree.MoveParent(), n[1]);
    EXPECT_EQ(tree.MoveParent(), n[0]);
    EXPECT_EQ(tree.MoveParent(), n[0]);   // the top: the cursor stays
    EXPECT_EQ(tree.MoveLastRightNode(), n[5]);
    EXPECT_EQ(tree.MoveHeader(), n[0]);
    EXPECT_EQ(tree.MoveFirstLeftNode(), n[2]);
    tree.SetCurrent(nullptr);
    EXPECT_EQ(tree.GetCurrent(), n[2]);
    EXPECT_EQ(tree.MoveHeader(), n[0]);
    EXPECT_EQ(tree.MoveRightNode(), n[4]);

    Tree empty;
    EXPECT_EQ(empty.GetLeftNode(), empty.GetNullNode());   // making the null node puts the cursor there
    empty.MoveHeader();                                    // no header: no cursor
    for (CBrimNode* moved : {empty.GetLeftNode(), empty.GetRightNode(), empty.MoveLeftNode(), empty.MoveParent(),
                             empty.MoveFirstLeftNode(), empty.MoveLastRightNode()}) {
        EXPECT_EQ(moved, nullptr);
    }
    empty.vInsertLeft(&d[0]);   // a tree without a cursor takes its header anyway
    EXPECT_EQ(Tree::Value(empty.GetCurrent()), 0);
}

// Deep chains would exhaust the stack of a recursive release.
TEST(CBrimTree, ReleasesAMillionNodeChain) {
    Tree tree;
    Node d(7);
    for (int i = 0; i < 1000000; ++i) (i % 3 == 0 ? tree.vInsertRight(&d) : tree.vInsertLeft(&d));
    tree.RemoveAll();
    EXPECT_EQ(tree.created, 1000001u);
    EXPECT_EQ(tree.released.size(), tree.created);
}

}  // namespace
