#include <brim/framework.h>

#include "framework/errors/error_codes.h"
#include "framework/files/file_platform.h"

namespace {
[[noreturn]] void ThrowLastError(const CStringW& name) {
    CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), name);
}
}  // namespace

// ---------------------------------------------------------------------------
CFileException::CFileException(int cause, LONG osError, const wchar_t* fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}

CFileException::~CFileException() = default;

int CFileException::OsErrorToException(LONG osError) {
    // The framework's mapping of Windows error codes to cause numbers.
    switch (osError) {
    case 0:
        return none;
    case 2: case 6: case 18: case 107:
        return fileNotFound;
    case 3: case 15: case 17: case 34: case 52: case 53: case 55: case 67: case 70: case 85:
    case 111: case 123: case 124: case 125: case 144: case 154: case 161: case 206: case 208: case 267:
        return badPath;
    case 4: case 36: case 68: case 113:
        return tooManyOpenFiles;
    case 5: case 12: case 19: case 29: case 54: case 58: case 64: case 65: case 71: case 80:
    case 82: case 86: case 170: case 183: case 999:
        return accessDenied;
    case 11: case 26: case 60: case 66: case 114: case 182: case 191: case 193:
        return invalidFile;
    case 16: case 145:
        return removeCurrentDir;
    case 62:
        return directoryFull;
    case 24: case 25: case 27: case 30: case 131: case 132:
        return badSeek;
    case 20: case 21: case 22: case 23: case 57: case 59: case 88: case 117: case 995: case 996: case 997:
        return hardIO;
    case 32:
        return sharingViolation;
    case 33: case 108: case 167:
        return lockViolation;
    case 39: case 112:
        return diskFull;
    case 38:
        return endOfFile;
    default:
        return genericException;
    }
}

void CFileException::ThrowOsError(LONG osError, const wchar_t* fileName) {
    // A failure that left no code still has to be reported as one.
    if (osError == 0) throw new CFileException(genericException, 0, fileName);
    throw new CFileException(OsErrorToException(osError), osError, fileName);
}

// ---------------------------------------------------------------------------
CFile::CFile() : m_hFile(INVALID_HANDLE_VALUE) {}

CFile::CFile(const wchar_t* fileName, UINT openFlags) : m_hFile(INVALID_HANDLE_VALUE) {
    CFileException error;
    if (!Open(fileName, openFlags, &error)) {
        throw new CFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
    }
}

CFile::~CFile() {
    if (IsOpen()) Abort();
}

BOOL CFile::Open(const wchar_t* fileName, UINT openFlags, CFileException* error) {
    if (IsOpen()) Abort();
    m_strFileName = fileName;
    if (fileName == nullptr || *fileName == 0) {
        SetLastError(brim::err::kFileNotFound);
    } else {
        m_hFile = brim::platform::FileOpen(fileName, openFlags);
        if (m_hFile != INVALID_HANDLE_VALUE) return TRUE;
    }
    if (error != nullptr) {
        const LONG code = static_cast<LONG>(GetLastError());
        error->m_cause = CFileException::OsErrorToException(code);
        error->m_lOsError = code;
        error->m_strFileName = fileName;
    }
    return FALSE;
}

void CFile::Close() {
    if (!IsOpen()) return;
    HANDLE handle = m_hFile;
    m_hFile = INVALID_HANDLE_VALUE;
    if (!brim::platform::FileClose(handle)) ThrowLastError(m_strFileName);
}

void CFile::Abort() {
    if (!IsOpen()) return;
    brim::platform::FileClose(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

UINT CFile::Read(void* buffer, UINT count) {
    UINT done = 0;
    if (count == 0) return 0;
    if (!brim::platform::FileRead(m_hFile, buffer, count, &done)) ThrowLastError(m_strFileName);
    return done;
}

void CFile::Write(const void* buffer, UINT count) {
    if (count == 0) return;
    if (!brim::platform::FileWrite(m_hFile, buffer, count)) ThrowLastError(m_strFileName);
}

void CFile::Flush() {
    if (!IsOpen()) return;
    if (!brim::platform::FileFlush(m_hFile)) ThrowLastError(m_strFileName);
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from) {
    ULONGLONG position = 0;
    if (!brim::platform::FileSeek(m_hFile, offset, from, &position)) ThrowLastError(m_strFileName);
    return position;
}

void CFile::SeekToBegin() { Seek(0, begin); }

ULONGLONG CFile::SeekToEnd() { return Seek(0, end); }

ULONGLONG CFile::GetPosition() const {
    ULONGLONG position = 0;
    if (!brim::platform::FileSeek(m_hFile, 0, current, &position)) ThrowLastError(m_strFileName);
    return position;
}

ULONGLONG CFile::GetLength() const {
    ULONGLONG length = 0;
    if (!brim::platform::FileLength(m_hFile, &length)) ThrowLastError(m_strFileName);
    return length;
}

void CFile::SetLength(ULONGLONG length) {
    if (!brim::platform::FileSetLength(m_hFile, length)) ThrowLastError(m_strFileName);
}

CStringW CFile::GetFilePath() const { return m_strFileName; }

CStringW CFile::GetFileName() const {
    int cut = -1;
    for (int k = 0; k < m_strFileName.GetLength(); ++k) {
        const wchar_t ch = m_strFileName[k];
        if (ch == L'/' || ch == L'\\' || ch == L':') cut = k;
    }
    return m_strFileName.Mid(cut + 1);
}

void CFile::Remove(const wchar_t* fileName) {
    if (!brim::platform::FileRemove(fileName)) ThrowLastError(fileName);
}

void CFile::Rename(const wchar_t* oldName, const wchar_t* newName) {
    if (!brim::platform::FileRename(oldName, newName)) ThrowLastError(oldName);
}
