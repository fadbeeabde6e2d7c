// The failure channel: CBrimException, its runtime class and the text of Windows error codes.
#include "tests/foundation/suite.h"

namespace {

using namespace brimtest;

TEST(BrimException, MessagesCarryThePrefixAndAreCutAt1023Characters) {
    CBrimException plain;
    EXPECT_EQ(plain.GetMessageW(), L"");
    EXPECT_EQ(Thrown([] { throw new CBrimException(L"%s has %d bytes", L"a.txt", 12); }),
              L"BrimException : a.txt has 12 bytes");
    EXPECT_EQ(Thrown([] { throw new CBrimException(0UL); }), L"BrimException : ");
    EXPECT_EQ(Thrown([] { throw new CBrimException(5UL); }), CStringW(L"BrimException : ") + CBrimUtil::MessageError(5));

    // The prefix is not counted; long arguments, long formats and wide paddings are all cut.
    const std::wstring exact(1023, L'a'), over(5000, L'b'), longFormat = std::wstring(1500, L'c') + L"%d";
    EXPECT_EQ(Thrown([&] { throw new CBrimException(L"%s", exact.c_str()); }).GetLength(), 16 + 1023);
    const CStringW cut = Thrown([&] { throw new CBrimException(L"%s", over.c_str()); });
    EXPECT_EQ(cut.GetLength(), 16 + 1023);
    EXPECT_EQ(cut.Right(3), L"bbb");
    EXPECT_EQ(Thrown([&] { throw new CBrimException(longFormat.c_str(), 1); }).GetLength(), 16 + 1023);
    EXPECT_EQ(Thrown([] { throw new CBrimException(L"%60000d", 1); }).GetLength(), 16 + 1023);

    CException onStack(FALSE);
    onStack.Delete();   // must not free a stack object; LeakSanitizer sees a heap one not freed
    (new CBrimException(L"x"))->Delete();
}

// The fallback is the signed code; internet, network-management and message-queuing texts are not loaded here.
TEST(MessageError, TextsAndFallbacksByRange) {
    const struct {
        unsigned long code;
        const wchar_t* text;
    } cases[] = {
        {0, L""},
        {0xFFFFFFFFUL, L"ERRORNUMBER ( -1 )\n"},
        {2100, L"ERRORNUMBER ( 2100 )\n"},
        {0xC00E0001UL, L"ERRORNUMBER ( -1072824319 )\n"},
        {12000, L"ERRORNUMBER ( 12000 )\n"},
        {12176, L"ERRORNUMBER ( 12176 )\n"},   // past the internet range, and no system text
#if !defined(_WIN32)
        {2, L"The system cannot find the file specified.\r\n"},
        {5, L"Access is denied.\r\n"},
        {3000, L"The specified print monitor is unknown.\r\n"},
#endif
    };
    for (const auto& c : cases) EXPECT_EQ(CBrimUtil::MessageError(c.code), c.text) << c.code;
    EXPECT_EQ(CBrimUtil::MessageError(5).Right(2), L"\r\n");
#if defined(_WIN32)
    // Windows has a system text for 3000; Wine's system table has none.
    const CStringW text3000 = CBrimUtil::MessageError(3000);
    EXPECT_TRUE(text3000.Right(2) == L"\r\n" || text3000 == L"ERRORNUMBER ( 3000 )\n");
#endif
}

// A host's own class, declared as a host declares one.
class CHostRecord : public CObject {
    DECLARE_DYNCREATE(CHostRecord)
public:
    CHostRecord() = default;
};
IMPLEMENT_DYNCREATE(CHostRecord, CObject)

TEST(RuntimeClass, TheLibraryExceptionIsACExceptionAndAHostClassIsCreatable) {
    CBrimException* e = new CBrimException(L"x");
    EXPECT_EQ(e->GetRuntimeClass(), RUNTIME_CLASS(CException));
    EXPECT_STREQ(e->GetRuntimeClass()->m_lpszClassName, "CException");
    EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(e->IsKindOf(RUNTIME_CLASS(CFileException)));
    e->Delete();
    EXPECT_EQ(RUNTIME_CLASS(CObject)->m_pBaseClass, nullptr);
    EXPECT_EQ(RUNTIME_CLASS(CException)->CreateObject(), nullptr);   // not creatable by class

    CObject* made = RUNTIME_CLASS(CHostRecord)->CreateObject();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetRuntimeClass(), RUNTIME_CLASS(CHostRecord));
    EXPECT_EQ(RUNTIME_CLASS(CHostRecord)->m_nObjectSize, static_cast<int>(sizeof(CHostRecord)));
    delete made;
    // Each framework class a host can make on its own reports its own run-time class.
    CInvalidArgException invalidArg;
    CFileException fileException;
    CInternetException internetException(12002);
    CStringList list;
    CFile file;
    CMutex mutex;
    CFileFind find;
    CWinApp app(L"classes");
    CInternetSession session(L"classes");
    const std::pair<const CObject*, const char*> objects[] = {
        {CMemoryException::Instance(), "CMemoryException"}, {&invalidArg, "CInvalidArgException"},
        {&fileException, "CFileException"}, {&internetException, "CInternetException"}, {&list, "CStringList"},
        {&file, "CFile"}, {&mutex, "CMutex"}, {&find, "CFileFind"}, {&app, "CWinApp"}, {&session, "CInternetSession"}};
    for (const auto& [object, name] : objects) EXPECT_STREQ(object->GetRuntimeClass()->m_lpszClassName, name);
}

}  // namespace
