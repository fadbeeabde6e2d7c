#include <brim/tree.h>

CBrimNode::CBrimNode(CBrimNode* left, CBrimNode* right, CBrimNode* parent)
    : m_pLeft(left), m_pRight(right), m_pParent(parent) {}

CBrimNode::CBrimNode(const CBrimNode& other)
    : m_pLeft(other.m_pLeft), m_pRight(other.m_pRight), m_pParent(other.m_pParent) {}

CBrimNode::~CBrimNode() = default;

CBrimNode& CBrimNode::operator=(const CBrimNode&) { return *this; }

// ---------------------------------------------------------------------------
CBrimTree::CBrimTree() : m_pCurrent(nullptr), m_pHeader(nullptr), m_pNull(nullptr) {}

CBrimTree::CBrimTree(const CBrimTree& other)
    : m_pCurrent(other.m_pCurrent), m_pHeader(other.m_pHeader), m_pNull(other.m_pNull) {}

CBrimTree& CBrimTree::operator=(const CBrimTree& other) {
    m_pCurrent = other.m_pCurrent;
    m_pHeader = other.m_pHeader;
    m_pNull = other.m_pNull;
    return *this;
}

CBrimTree::~CBrimTree() = default;

CBrimNode* CBrimTree::_MakeNull() {
    if (m_pNull == nullptr) {
        CBrimNode* null = vCreateNode();
        null->m_pLeft = null->m_pRight = null->m_pParent = null;
        m_pNull = null;
    }
    return m_pNull;
}

CBrimNode* CBrimTree::_EnsureNull() {
    if (m_pNull == nullptr) m_pCurrent = _MakeNull();
    return m_pNull;
}

bool CBrimTree::IsEmpty() { return m_pHeader == nullptr; }

void CBrimTree::SetCurrent(CBrimNode* node) {
    if (node != nullptr) m_pCurrent = node;
}

CBrimNode* CBrimTree::GetCurrent() {
    _EnsureNull();
    return m_pCurrent;
}

CBrimNode* CBrimTree::GetHeaderNode() { return m_pHeader; }

CBrimNode* CBrimTree::GetLeftNode() {
    _EnsureNull();
    return m_pCurrent != nullptr ? m_pCurrent->m_pLeft : nullptr;
}

CBrimNode* CBrimTree::GetRightNode() {
    _EnsureNull();
    return m_pCurrent != nullptr ? m_pCurrent->m_pRight : nullptr;
}

const CBrimNode* CBrimTree::GetNullNode() { return _EnsureNull(); }

CBrimNode* CBrimTree::MoveHeader() {
    m_pCurrent = m_pHeader;
    return m_pHeader;
}

CBrimNode* CBrimTree::MoveLeftNode() {
    if (m_pCurrent == nullptr) return nullptr;
    CBrimNode* left = m_pCurrent->m_pLeft;
    if (left != m_pNull) m_pCurrent = left;
    return left;
}

CBrimNode* CBrimTree::MoveRightNode() {
    if (m_pCurrent == nullptr) return nullptr;
    CBrimNode* right = m_pCurrent->m_pRight;
    if (right != m_pNull) m_pCurrent = right;
    return right;
}

CBrimNode* CBrimTree::MoveParent() {
    if (m_pCurrent == nullptr) return nullptr;
    if (m_pCurrent->m_pParent == m_pNull) return m_pHeader;
    m_pCurrent = m_pCurrent->m_pParent;
    return m_pCurrent;
}

CBrimNode* CBrimTree::MoveFirstLeftNode() {
    if (m_pCurrent == nullptr) return nullptr;
    while (m_pCurrent->m_pLeft != m_pNull) m_pCurrent = m_pCurrent->m_pLeft;
    return m_pCurrent;
}

CBrimNode* CBrimTree::MoveLastRightNode() {
    if (m_pCurrent == nullptr) return nullptr;
    while (m_pCurrent->m_pRight != m_pNull) m_pCurrent = m_pCurrent->m_pRight;
    return m_pCurrent;
}

CBrimNode* CBrimTree::vInsertLeft(CBrimNode* data) { return _Insert(data, true); }

CBrimNode* CBrimTree::vInsertRight(CBrimNode* data) { return _Insert(data, false); }

CBrimNode* CBrimTree::_Insert(CBrimNode* data, bool left) {
    CBrimNode* null = _MakeNull();   // the cursor stays where it is
    CBrimNode* parent = null;
    if (m_pHeader != nullptr) {
        // The null node's links are itself: hanging a node there would break them.
        if (m_pCurrent == nullptr || m_pCurrent == null) throw new CBrimException(L"%s", L"현재 노드가 없습니다.");
        if (left && m_pCurrent->m_pLeft != null) throw new CBrimException(L"%s", L"왼쪽 노드가 없습니다.");
        if (!left && m_pCurrent->m_pRight != null) throw new CBrimException(L"%s", L"오른쪽 노드가 없습니다.");
        parent = m_pCurrent;
    }
    CBrimNode* node = vCreateNode();
    node->m_pLeft = node->m_pRight = null;
    node->m_pParent = parent;
    try {
        *node = *data;
    } catch (...) {
        vDeleteNode(node);   // not linked yet: the tree stays as it was
        throw;
    }
    if (parent == null) m_pHeader = node;
    else if (left) parent->m_pLeft = node;
    else parent->m_pRight = node;
    m_pCurrent = node;
    return node;
}

void CBrimTree::RemoveAll() {
    MoveHeader();
    if (m_pHeader != nullptr) _RecurRemoveAll(m_pHeader);
    if (m_pNull != nullptr) vDeleteNode(m_pNull);
    m_pCurrent = m_pHeader = m_pNull = nullptr;
}

// Post-order release without a stack: go down to a node without children,
// unhook it from its parent, release it, and continue from the parent. The
// parent links make the way back up, so memory use is constant at any depth.
void CBrimTree::_RecurRemoveAll(CBrimNode* node) {
    CBrimNode* const null = m_pNull;
    if (node == null) return;
    CBrimNode* const top = node;
    for (;;) {
        while (node->m_pLeft != null || node->m_pRight != null)
            node = node->m_pLeft != null ? node->m_pLeft : node->m_pRight;
        CBrimNode* const parent = node->m_pParent;
        const bool isTop = node == top;
        if (!isTop) {
            if (parent->m_pLeft == node) parent->m_pLeft = null;
            else parent->m_pRight = null;
        }
        vDeleteNode(node);
        if (isTop) return;
        node = parent;
    }
}
