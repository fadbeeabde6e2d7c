// BrimCommon text: conversions between wide text, UTF-8 and the ANSI code
// page (MBCS), encoding detection of byte buffers, the text-file reader and
// appending writer, and big-endian number decoding.
#pragma once

#include <brim/foundation.h>

// Conversions. Each count/convert pair works as: n = XCount(src); allocate n
// units; X(dst, src). Counts include the terminator. Unconvertible input is
// substituted, never refused. Failures throw CBrimException*.
class BRIM_API CBrimString {
public:
    static int Unicode2MBCSCount(const wchar_t* src);
    static void Unicode2MBCS(char* dst, const wchar_t* src);
    static int UTF82UnicodeCount(const char* src);
    static void UTF82Unicode(wchar_t* dst, const char* src);
    static int MBCS2UnicodeCount(const char* src);
    static void MBCS2Unicode(wchar_t* dst, const char* src);
    // Declares 32767 bytes to the converter whatever dst holds, and returns
    // the bytes written, terminator included. A text whose UTF-8 form needs
    // more than 32767 bytes fails with error 122 (insufficient buffer).
    static int Unicode2UTF8(char* dst, const wchar_t* src);
    // Not of the ANSI family above: length bytes (NULs included, no
    // terminator needed) in any code page the system converts, substituted as
    // MBCS2Unicode substitutes. A null src, a negative length or a code page
    // the system lacks throws CBrimException* with the error (87 for the
    // first two).
    static CStringW CodePage2Unicode(unsigned int codePage, const char* src, int length);

    // "%02x " for each of len bytes; empty for len <= 0.
    static CStringW BYTE2CString(const unsigned char* data, const int& len);
    // len letters 'a'..'z', from a generator reseeded with the tick count on
    // every call (two calls in one tick give the same name).
    static CStringW GetRandomName(const int& len);
    static CStringW BSTR2Unicode(wchar_t* bstr);           // up to the first zero unit; null gives ""
    static wchar_t* Unicode2BSTR(const wchar_t* src);      // free with SysFreeString
    // Ordinal, stable, in place: neighbouring nodes exchange their strings.
    static void BubbleSort(CStringList* list);
};

// A named text file: read whole and decoded by the detected encoding, or
// appended to as UTF-8 or UTF-16 little-endian (with a byte-order mark when
// the call creates the file).
class BRIM_API CBrimFile {
public:
    // Encoding identifiers of EncodingCheck.
    enum Encoding {
        UTF8_BOM = 0,
        UTF16_BE = 1,
        UTF16_LE = 2,
        UTF32_BE = 3,
        UTF32_LE = 4,
        SCSU = 5,
        UTF7_0 = 6,
        UTF7_1 = 7,
        UTF7_2 = 8,
        UTF7_3 = 9,
        UTF7_4 = 10,
        UTF_EBCDIC = 11,
        BOCU_1 = 12,
        ASCII = 13,
        UTF8_NOBOM = 14,
        EUCKR = 15,
        CP949 = 16,
        CANNOTFOUND = 17
    };

    CBrimFile();
    CBrimFile(const CBrimFile& other);
    CBrimFile& operator=(const CBrimFile& other);
    ~CBrimFile();

    void SetFilename(const wchar_t* name);
    CStringW GetFilename();

    // The whole file decoded; "" when it cannot be opened.
    CStringW ReadTextFile();
    // size bytes of buf decoded (UTF-8, ANSI code page or UTF-16LE by the
    // detected encoding); other encodings throw CBrimException*.
    CStringW ReadText(unsigned char* buf, unsigned int size);
    // Append text. When another opener holds the file exclusively, or the
    // file cannot be made, nothing is written and nothing is thrown.
    void WriteUTF8(const wchar_t* text);
    void WriteUnicode(const wchar_t* text);
    // Creates each folder level that "/" ends, then the whole path; failures
    // are ignored.
    static void CreateFolder(const wchar_t* path);

    // Detection: a byte-order mark first, then the first of the ASCII,
    // UTF-8, EUC-KR and CP949 probers that accepts every byte.
    static int EncodingCheck(unsigned char* buf, unsigned int size);
    // The identifier's name; "" for an identifier outside 0..17.
    static CStringW GetEncodingName(int id);

    // The detection tables and the probers' step functions (implementation
    // members, readable for inspection).
    struct BomEntry {
        int nLength;
        const unsigned char* pBom;
    };
    struct Prober {
        int bActive;
        int nState;
        void (*pfnProbe)(Prober* prober, unsigned char byte);
    };

    static const wchar_t _encodingNames[18][20];
    static const BomEntry _bomTable[13];
    static const Prober _probers[4];

    static void _probeAscii(Prober* prober, unsigned char byte);
    static void _probeUtf8(Prober* prober, unsigned char byte);
    static void _probeEucKr(Prober* prober, unsigned char byte);
    static void _probeCp949(Prober* prober, unsigned char byte);

private:
    friend struct BrimFileInspector;   // the test suites' view of the tables
    // 1 when buf begins with the mark of id (0..12); 0 for any other id.
    static int _isBomMatch(int id, unsigned char* buf);

    CStringW m_strFilename;
};

// Unsigned integers stored most significant byte first.
class BRIM_API CBrimNumber {
public:
    static unsigned int BYTE2UINT(const unsigned char* p);
    static unsigned long long BYTE2ULONGLONG(const unsigned char* p);
};
