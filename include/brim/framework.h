// BrimCommon: the framework's general classes as the host sees them.
//
// CObject, CException, CStringW, CStringList, CFile with CFileException and
// CMutex behave the same on every platform. Objects cross the library
// boundary only through out-of-line members, so memory is always allocated
// and released on the library's side.
#pragma once

#include <brim/config.h>

#include <cstdarg>

// ---------------------------------------------------------------------------
class CObject;

// Run-time class information: a class's name, size and base, so that code can
// ask what an object is (IsKindOf) and, for classes declared with
// DECLARE_DYNCREATE, make one by class (CreateObject). Each class's record is
// a static member named class<Name>; RUNTIME_CLASS(Name) gives its address.
struct BRIM_API CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;                       // 0xFFFF: not serialisable
    CObject* (*m_pfnCreateObject)();      // null: not creatable by class
    const CRuntimeClass* m_pBaseClass;    // null for CObject only
    const CRuntimeClass* m_pNextClass;    // unused, kept null

    // A new object of the class, or null when it is not creatable by class.
    CObject* CreateObject() const;
    // TRUE when this class is base or derives from it.
    BOOL IsDerivedFrom(const CRuntimeClass* base) const;
};

#define RUNTIME_CLASS(class_name) (const_cast<CRuntimeClass*>(&class_name::class##class_name))

// In a class body: the class gets its own run-time class record.
#define DECLARE_DYNAMIC(class_name)                       \
public:                                                   \
    static const CRuntimeClass class##class_name;         \
    CRuntimeClass* GetRuntimeClass() const override;

// As DECLARE_DYNAMIC, and objects can be made by class (the class needs a
// default constructor).
#define DECLARE_DYNCREATE(class_name)                     \
    DECLARE_DYNAMIC(class_name)                           \
    static CObject* CreateObject();

// In one source file: the record of class_name, derived from base_class_name.
#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, schema, create)                                  \
    const CRuntimeClass class_name::class##class_name = {#class_name, static_cast<int>(sizeof(class_name)), \
                                                         schema, create, RUNTIME_CLASS(base_class_name),    \
                                                         nullptr};                                          \
    CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFFu, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)             \
    CObject* class_name::CreateObject() { return new class_name; } \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFFu, class_name::CreateObject)

class BRIM_API CObject {
public:
    // The object's run-time class: that of the most derived class that
    // declares one (a class without its own record reports its base's).
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject();

    BOOL IsKindOf(const CRuntimeClass* cls) const;

    static const CRuntimeClass classCObject;

protected:
    CObject() = default;

public:
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

// Exceptions are thrown as pointers to heap objects; the catcher disposes of
// them with Delete(), which deletes only objects whose auto-delete flag is set.
class BRIM_API CException : public CObject {
    DECLARE_DYNAMIC(CException)
public:
    CException();                          // auto-delete set
    explicit CException(BOOL autoDelete);
    ~CException() override;

    void Delete();

    // Copies a description of the failure into a caller buffer of maxError
    // characters. The base class has none: it stores an empty text and
    // returns FALSE.
    virtual BOOL GetErrorMessage(wchar_t* error, UINT maxError, UINT* helpContext = nullptr) const;
    // Shows the failure in a message box (AfxMessageBox with type) and
    // returns the button chosen: the text GetErrorMessage gives; when it
    // gives none, the string resource messageId; when that is 0 or missing,
    // "No error message is available.".
    virtual int ReportError(UINT type = MB_OK, UINT messageId = 0);

    BOOL m_bAutoDelete;
};

// Thrown when the library cannot get memory. One preallocated object is
// thrown each time (auto-delete clear), so throwing it needs no memory.
class BRIM_API CMemoryException : public CException {
    DECLARE_DYNAMIC(CMemoryException)
public:
    CMemoryException();
    ~CMemoryException() override;
    static CMemoryException* Instance();
};

// Thrown (as a pointer) when an argument breaks a call's contract, for
// example a null list position.
class BRIM_API CInvalidArgException : public CException {
    DECLARE_DYNAMIC(CInvalidArgException)
public:
    CInvalidArgException();
    ~CInvalidArgException() override;
};

// ---------------------------------------------------------------------------
// A reference-counted wide string. Copies share the text until one of them
// changes it; copies may live on different threads.
class BRIM_API CStringW {
public:
    CStringW() noexcept;
    CStringW(const CStringW& other) noexcept;
    CStringW(CStringW&& other) noexcept;
    CStringW(const wchar_t* text);               // null gives the empty string
    CStringW(const wchar_t* text, int length);   // the first length units (no terminator needed)
    CStringW(const char* ansiText);              // converted from the ANSI code page
    CStringW(wchar_t ch, int repeat = 1);
    ~CStringW();

    CStringW& operator=(const CStringW& other) noexcept;
    CStringW& operator=(CStringW&& other) noexcept;
    CStringW& operator=(const wchar_t* text);
    CStringW& operator=(const char* ansiText);
    CStringW& operator=(wchar_t ch);

    CStringW& operator+=(const CStringW& text);
    CStringW& operator+=(const wchar_t* text);
    CStringW& operator+=(const char* ansiText);
    CStringW& operator+=(wchar_t ch);
    void Append(const wchar_t* text, int length);

    int GetLength() const noexcept;
    bool IsEmpty() const noexcept;
    const wchar_t* GetString() const noexcept { return m_pszData; }
    operator const wchar_t*() const noexcept { return m_pszData; }
    void Empty();

    // Index outside 0..GetLength()-1 throws CInvalidArgException*.
    wchar_t GetAt(int index) const;
    wchar_t operator[](int index) const { return GetAt(index); }
    void SetAt(int index, wchar_t ch);

    // Windows wide printf rules on every platform: %s and %c take wide
    // arguments, %S, %hs and %hc narrow ones (ANSI code page), %I64d is
    // 64-bit. A null format gives the empty string.
    void Format(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list args);
    void AppendFormat(const wchar_t* format, ...);
    void AppendFormatV(const wchar_t* format, va_list args);

    // Index of the first match at or after start, or -1. An empty text
    // matches at start; a start past the end gives -1.
    int Find(const wchar_t* text, int start = 0) const;
    int Find(wchar_t ch, int start = 0) const;
    int ReverseFind(wchar_t ch) const;
    int FindOneOf(const wchar_t* chars) const;

    // Replaces every occurrence; returns how many. An empty or null old text
    // replaces nothing; a null replacement counts as empty.
    int Replace(const wchar_t* oldText, const wchar_t* newText);
    int Replace(wchar_t oldCh, wchar_t newCh);
    int Remove(wchar_t ch);
    int Insert(int index, const wchar_t* text);
    int Insert(int index, wchar_t ch);
    int Delete(int index, int count = 1);

    // Without an argument, white space is removed; with a set, any of its
    // characters; with one character, that character.
    CStringW& TrimRight();
    CStringW& TrimRight(const wchar_t* chars);
    CStringW& TrimRight(wchar_t ch);
    CStringW& TrimLeft();
    CStringW& TrimLeft(const wchar_t* chars);
    CStringW& TrimLeft(wchar_t ch);
    CStringW& Trim();
    CStringW& Trim(const wchar_t* chars);
    CStringW& Trim(wchar_t ch);

    // The next token at or after start, skipping leading delimiters; start
    // moves past the delimiter that ends the token. Once the text is used up
    // the result is empty and start becomes -1. A null or empty delimiter set
    // makes the rest of the text one token.
    CStringW Tokenize(const wchar_t* delimiters, int& start) const;

    // Counts are clamped to the string: negative counts give empty strings,
    // counts past the end stop at the end.
    CStringW Left(int count) const;
    CStringW Right(int count) const;
    CStringW Mid(int first) const;
    CStringW Mid(int first, int count) const;

    // Ordinal, code unit by code unit (unsigned): <0, 0 or >0. Null counts as
    // the empty string.
    int Compare(const wchar_t* text) const;
    // Ordinal after simple lower-casing of both sides.
    int CompareNoCase(const wchar_t* text) const;

    CStringW& MakeUpper();
    CStringW& MakeLower();

    // Loads entry id of a string table (the application's first, then the
    // extension libraries'); FALSE and the string unchanged when absent.
    BOOL LoadStringW(UINT id);
#if defined(_WIN32)
    BOOL LoadStringA(UINT id) { return LoadStringW(id); }   // LoadString maps here without UNICODE
#else
    BOOL LoadString(UINT id) { return LoadStringW(id); }
#endif

    // A new BSTR holding the text; the caller frees it with SysFreeString.
    BSTR AllocSysString() const;

    // Direct access for callers that fill the text themselves: GetBuffer
    // gives room for at least minLength units plus the terminator;
    // ReleaseBuffer(-1) takes the length up to the first zero unit.
    wchar_t* GetBuffer(int minLength = 0);
    wchar_t* GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);

private:
    wchar_t* m_pszData;   // text of a shared block; the block's header sits before it
};

inline CStringW operator+(const CStringW& a, const CStringW& b) { CStringW r(a); r += b; return r; }
inline CStringW operator+(const CStringW& a, const wchar_t* b) { CStringW r(a); r += b; return r; }
inline CStringW operator+(const wchar_t* a, const CStringW& b) { CStringW r(a); r += b; return r; }
inline CStringW operator+(const CStringW& a, wchar_t b) { CStringW r(a); r += b; return r; }
inline CStringW operator+(wchar_t a, const CStringW& b) { CStringW r(a); r += b; return r; }

inline bool operator==(const CStringW& a, const CStringW& b) { return a.GetLength() == b.GetLength() && a.Compare(b) == 0; }
inline bool operator==(const CStringW& a, const wchar_t* b) { return a.Compare(b) == 0; }
inline bool operator==(const wchar_t* a, const CStringW& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CStringW& a, const CStringW& b) { return !(a == b); }
inline bool operator!=(const CStringW& a, const wchar_t* b) { return !(a == b); }
inline bool operator!=(const wchar_t* a, const CStringW& b) { return !(a == b); }
inline bool operator<(const CStringW& a, const CStringW& b) { return a.Compare(b) < 0; }
inline bool operator<(const CStringW& a, const wchar_t* b) { return a.Compare(b) < 0; }
inline bool operator<(const wchar_t* a, const CStringW& b) { return b.Compare(a) > 0; }
inline bool operator>(const CStringW& a, const CStringW& b) { return a.Compare(b) > 0; }
inline bool operator>(const CStringW& a, const wchar_t* b) { return a.Compare(b) > 0; }
inline bool operator>(const wchar_t* a, const CStringW& b) { return b.Compare(a) < 0; }
inline bool operator<=(const CStringW& a, const CStringW& b) { return a.Compare(b) <= 0; }
inline bool operator<=(const CStringW& a, const wchar_t* b) { return a.Compare(b) <= 0; }
inline bool operator<=(const wchar_t* a, const CStringW& b) { return b.Compare(a) >= 0; }
inline bool operator>=(const CStringW& a, const CStringW& b) { return a.Compare(b) >= 0; }
inline bool operator>=(const CStringW& a, const wchar_t* b) { return a.Compare(b) >= 0; }
inline bool operator>=(const wchar_t* a, const CStringW& b) { return b.Compare(a) <= 0; }

// ---------------------------------------------------------------------------
// A doubly linked list of wide strings. A POSITION names a node; it stays
// valid until that node is removed. Calls given a null position throw
// CInvalidArgException*.
class BRIM_API CStringList : public CObject {
    DECLARE_DYNAMIC(CStringList)
public:
    CStringList();
    ~CStringList() override;

    INT_PTR GetCount() const noexcept;
    INT_PTR GetSize() const noexcept { return GetCount(); }
    bool IsEmpty() const noexcept;

    // Head and tail of an empty list throw CInvalidArgException*.
    CStringW& GetHead();
    const CStringW& GetHead() const;
    CStringW& GetTail();
    const CStringW& GetTail() const;

    POSITION AddHead(const wchar_t* text);
    POSITION AddHead(const CStringW& text);
    POSITION AddTail(const wchar_t* text);
    POSITION AddTail(const CStringW& text);
    POSITION InsertBefore(POSITION position, const wchar_t* text);
    POSITION InsertAfter(POSITION position, const wchar_t* text);

    CStringW RemoveHead();
    CStringW RemoveTail();
    void RemoveAt(POSITION position);
    void RemoveAll();

    POSITION GetHeadPosition() const noexcept;
    POSITION GetTailPosition() const noexcept;
    // Return the element at position and move position to its neighbour
    // (null past the end).
    CStringW& GetNext(POSITION& position);
    const CStringW& GetNext(POSITION& position) const;
    CStringW& GetPrev(POSITION& position);
    const CStringW& GetPrev(POSITION& position) const;

    CStringW& GetAt(POSITION position);
    const CStringW& GetAt(POSITION position) const;
    void SetAt(POSITION position, const wchar_t* text);
    void SetAt(POSITION position, const CStringW& text);

    // First node after startAfter (or from the head) whose text equals text.
    POSITION Find(const wchar_t* text, POSITION startAfter = nullptr) const;
    // The node at a zero-based index, or null.
    POSITION FindIndex(INT_PTR index) const;

private:
    struct Node;
    Node* NewNode(const wchar_t* text, Node* prev, Node* next);
    Node* m_pHead;
    Node* m_pTail;
    INT_PTR m_nCount;
};

// ---------------------------------------------------------------------------
class BRIM_API CFileException : public CException {
    DECLARE_DYNAMIC(CFileException)
public:
    enum {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14
    };

    explicit CFileException(int cause = none, LONG osError = -1, const wchar_t* fileName = nullptr);
    ~CFileException() override;

    // The cause number for a Windows error code.
    static int OsErrorToException(LONG osError);
    // Throws new CFileException(OsErrorToException(osError), osError, fileName).
    [[noreturn]] static void ThrowOsError(LONG osError, const wchar_t* fileName = nullptr);

    int m_cause;
    LONG m_lOsError;
    CStringW m_strFileName;
};

// A file on disk. Open(...) without an exception object reports failure by
// returning FALSE; every other operation throws CFileException* on failure.
// The destructor closes a file still open.
class BRIM_API CFile : public CObject {
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,        // no share flag: exclusive
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,           // files are always binary: ignored
        typeBinary = 0x8000
    };
    enum SeekPosition { begin = 0x0, current = 0x1, end = 0x2 };

    CFile();
    CFile(const wchar_t* fileName, UINT openFlags);   // throws CFileException* on failure
    ~CFile() override;

    virtual BOOL Open(const wchar_t* fileName, UINT openFlags, CFileException* error = nullptr);
    virtual void Close();
    virtual void Abort();   // closes, ignoring failures

    virtual UINT Read(void* buffer, UINT count);
    virtual void Write(const void* buffer, UINT count);
    virtual void Flush();
    virtual ULONGLONG Seek(LONGLONG offset, UINT from);
    void SeekToBegin();
    ULONGLONG SeekToEnd();
    virtual ULONGLONG GetPosition() const;
    virtual ULONGLONG GetLength() const;
    virtual void SetLength(ULONGLONG length);

    CStringW GetFilePath() const;
    CStringW GetFileName() const;
    bool IsOpen() const noexcept { return m_hFile != INVALID_HANDLE_VALUE; }

    static void Remove(const wchar_t* fileName);                    // throws CFileException*
    static void Rename(const wchar_t* oldName, const wchar_t* newName);

    HANDLE m_hFile;

private:
    CStringW m_strFileName;
};

// ---------------------------------------------------------------------------
// A named mutex shared by every process of the same user that opens the same
// name (unnamed: this process only). Recursive for its owning thread; a
// holder that ends (thread or process) releases it to the next waiter.
class BRIM_API CMutex : public CObject {
    DECLARE_DYNAMIC(CMutex)
public:
    explicit CMutex(BOOL initiallyOwn = FALSE, const wchar_t* name = nullptr,
                    LPSECURITY_ATTRIBUTES attributes = nullptr);
    ~CMutex() override;

    // Waits up to timeout milliseconds (INFINITE: no limit). TRUE when the
    // calling thread owns the mutex, also when a holder died with it.
    BOOL Lock(DWORD timeout = INFINITE);
    // FALSE (last error 288) when the calling thread does not own it.
    BOOL Unlock();

private:
    struct Impl;
    Impl* m_pImpl;
};

// ---------------------------------------------------------------------------
// Message boxes. AfxMessageBox shows text with the buttons and icon of type
// (MB_...) and returns the button chosen (ID...). A host may install its own
// handler (tests do); null restores the default: on Windows MessageBoxW, on
// POSIX a dialog through zenity or kdialog when a display is present, and
// otherwise the answer of a dismissed box (IDOK, or IDCANCEL/IDNO where the
// box offers them) without showing anything. Returns the previous handler.
typedef int (*BrimMessageBoxHandler)(const wchar_t* text, UINT type);
BRIM_API BrimMessageBoxHandler BrimSetMessageBoxHandler(BrimMessageBoxHandler handler);
BRIM_API int AfxMessageBox(const wchar_t* text, UINT type = MB_OK, UINT helpId = 0);

// The framework classes of the other subsystems.
#include <brim/framework_find.h>
#include <brim/framework_app.h>
#include <brim/framework_inet.h>
