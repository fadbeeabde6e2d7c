// BrimCommon tree: a binary tree with a cursor, filled through host hooks.
//
// The host derives a node class from CBrimNode (overriding operator= to copy
// its data) and a tree class from CBrimTree that makes and releases those
// nodes. One null node per tree stands for every missing child and for the
// header node's parent. Insertions throw CBrimException* and leave the tree
// unchanged.
#pragma once

#include <brim/foundation.h>

class BRIM_API CBrimNode {
public:
    CBrimNode(CBrimNode* left = nullptr, CBrimNode* right = nullptr, CBrimNode* parent = nullptr);
    // Copies the links: the copy points at the same neighbours, which do not
    // point back at it.
    CBrimNode(const CBrimNode& other);
    virtual ~CBrimNode();

    // Copies the derived node's data; never the links. The base copies nothing.
    virtual CBrimNode& operator=(const CBrimNode& other);

    CBrimNode* m_pLeft;
    CBrimNode* m_pRight;
    CBrimNode* m_pParent;
};

// Cursor rules: the move operations never put the cursor on the null node;
// when there is no cursor (a new tree before any get or insertion, or after
// MoveHeader on a tree without a header node) they and GetLeftNode/
// GetRightNode return null and change nothing. Inserting while the cursor is
// on the null node is refused like inserting without a cursor.
//
// RemoveAll hands every node to vDeleteNode, each after both of its subtrees
// (left first) and the null node last, without recursion, so a tree of any
// depth can be released. While it runs, links of nodes still in the tree that
// point at released nodes are reset to the null node. Afterwards the tree is
// new again and may be filled anew.
//
// Copies of a tree share its nodes; only one of them may release them. The
// destructor releases nothing: a derived tree calls RemoveAll while its
// vDeleteNode is still in place.
class BRIM_API CBrimTree {
public:
    CBrimTree();
    CBrimTree(const CBrimTree& other);
    CBrimTree& operator=(const CBrimTree& other);
    virtual ~CBrimTree();

    virtual CBrimNode* vInsertLeft(CBrimNode* data);
    virtual CBrimNode* vInsertRight(CBrimNode* data);
    virtual CBrimNode* vCreateNode() = 0;
    virtual void vDeleteNode(CBrimNode* node) = 0;

    bool IsEmpty();
    void SetCurrent(CBrimNode* node);
    CBrimNode* GetCurrent();
    CBrimNode* GetHeaderNode();
    CBrimNode* GetLeftNode();
    CBrimNode* GetRightNode();
    const CBrimNode* GetNullNode();

    CBrimNode* MoveHeader();
    CBrimNode* MoveLeftNode();
    CBrimNode* MoveRightNode();
    CBrimNode* MoveParent();
    CBrimNode* MoveFirstLeftNode();
    CBrimNode* MoveLastRightNode();

    void RemoveAll();

protected:
    CBrimNode* m_pCurrent;
    CBrimNode* m_pHeader;
    CBrimNode* m_pNull;

private:
    CBrimNode* _EnsureNull();
    CBrimNode* _MakeNull();
    CBrimNode* _Insert(CBrimNode* data, bool left);
    void _RecurRemoveAll(CBrimNode* node);
};
