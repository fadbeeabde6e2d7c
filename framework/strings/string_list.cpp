#include <brim/framework.h>

#include <utility>

struct CStringList::Node {
    CStringW text;
    Node* prev;
    Node* next;
};

namespace {
[[noreturn]] void ThrowInvalidArg() { throw new CInvalidArgException(); }

template <typename NodeT>
NodeT* Checked(POSITION position) {
    if (position == nullptr) ThrowInvalidArg();
    return reinterpret_cast<NodeT*>(position);
}

POSITION PositionOf(const void* node) { return reinterpret_cast<POSITION>(const_cast<void*>(node)); }
}  // namespace

CStringList::CStringList() : m_pHead(nullptr), m_pTail(nullptr), m_nCount(0) {}

CStringList::~CStringList() { RemoveAll(); }

INT_PTR CStringList::GetCount() const noexcept { return m_nCount; }

bool CStringList::IsEmpty() const noexcept { return m_nCount == 0; }

CStringW& CStringList::GetHead() { return Checked<Node>(PositionOf(m_pHead))->text; }
const CStringW& CStringList::GetHead() const { return Checked<const Node>(PositionOf(m_pHead))->text; }
CStringW& CStringList::GetTail() { return Checked<Node>(PositionOf(m_pTail))->text; }
const CStringW& CStringList::GetTail() const { return Checked<const Node>(PositionOf(m_pTail))->text; }

CStringList::Node* CStringList::NewNode(const wchar_t* text, Node* prev, Node* next) {
    Node* node = new Node{CStringW(text), prev, next};
    if (prev != nullptr) prev->next = node; else m_pHead = node;
    if (next != nullptr) next->prev = node; else m_pTail = node;
    ++m_nCount;
    return node;
}

POSITION CStringList::AddHead(const wchar_t* text) { return PositionOf(NewNode(text, nullptr, m_pHead)); }
POSITION CStringList::AddHead(const CStringW& text) { return AddHead(text.GetString()); }
POSITION CStringList::AddTail(const wchar_t* text) { return PositionOf(NewNode(text, m_pTail, nullptr)); }
POSITION CStringList::AddTail(const CStringW& text) { return AddTail(text.GetString()); }

POSITION CStringList::InsertBefore(POSITION position, const wchar_t* text) {
    if (position == nullptr) return AddHead(text);
    Node* at = Checked<Node>(position);
    return PositionOf(NewNode(text, at->prev, at));
}

POSITION CStringList::InsertAfter(POSITION position, const wchar_t* text) {
    if (position == nullptr) return AddTail(text);
    Node* at = Checked<Node>(position);
    return PositionOf(NewNode(text, at, at->next));
}

CStringW CStringList::RemoveHead() {
    CStringW text = GetHead();
    RemoveAt(PositionOf(m_pHead));
    return text;
}

CStringW CStringList::RemoveTail() {
    CStringW text = GetTail();
    RemoveAt(PositionOf(m_pTail));
    return text;
}

void CStringList::RemoveAt(POSITION position) {
    Node* node = Checked<Node>(position);
    if (node->prev != nullptr) node->prev->next = node->next; else m_pHead = node->next;
    if (node->next != nullptr) node->next->prev = node->prev; else m_pTail = node->prev;
    --m_nCount;
    delete node;
}

void CStringList::RemoveAll() {
    for (Node* node = m_pHead; node != nullptr;) {
        Node* next = node->next;
        delete node;
        node = next;
    }
    m_pHead = m_pTail = nullptr;
    m_nCount = 0;
}

POSITION CStringList::GetHeadPosition() const noexcept { return PositionOf(m_pHead); }
POSITION CStringList::GetTailPosition() const noexcept { return PositionOf(m_pTail); }

CStringW& CStringList::GetNext(POSITION& position) {
    Node* node = Checked<Node>(position);
    position = PositionOf(node->next);
    return node->text;
}

const CStringW& CStringList::GetNext(POSITION& position) const {
    return const_cast<CStringList*>(this)->GetNext(position);
}

CStringW& CStringList::GetPrev(POSITION& position) {
    Node* node = Checked<Node>(position);
    position = PositionOf(node->prev);
    return node->text;
}

const CStringW& CStringList::GetPrev(POSITION& position) const {
    return const_cast<CStringList*>(this)->GetPrev(position);
}

CStringW& CStringList::GetAt(POSITION position) { return Checked<Node>(position)->text; }
const CStringW& CStringList::GetAt(POSITION position) const { return Checked<const Node>(position)->text; }

void CStringList::SetAt(POSITION position, const wchar_t* text) { Checked<Node>(position)->text = text; }
void CStringList::SetAt(POSITION position, const CStringW& text) { Checked<Node>(position)->text = text; }

POSITION CStringList::Find(const wchar_t* text, POSITION startAfter) const {
    const Node* node = startAfter == nullptr ? m_pHead : reinterpret_cast<const Node*>(startAfter)->next;
    for (; node != nullptr; node = node->next) {
        if (node->text.Compare(text) == 0) return PositionOf(node);
    }
    return nullptr;
}

POSITION CStringList::FindIndex(INT_PTR index) const {
    if (index < 0 || index >= m_nCount) return nullptr;
    const Node* node = m_pHead;
    while (index-- > 0) node = node->next;
    return PositionOf(node);
}
