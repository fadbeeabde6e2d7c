#include <brim/net.h>

#include "net/transfer.h"

#include <memory>

namespace bd = brim::detail;

namespace {
constexpr UINT kBlockSize = bd::kTransferBlockSize;

// The part of a remote path before its last "/"; empty when there is none or
// when the only one starts the path.
CStringW RemoteFolder(const wchar_t* remotePath) {
    const CStringW path(remotePath);
    const int slash = path.ReverseFind(L'/');
    return slash > 0 ? path.Left(slash) : CStringW();
}

// Closes what a transfer holds, on every way out of it.
struct TransferFiles {
    CInternetFile* remote = nullptr;
    CFile local;
    std::unique_ptr<CFtpFileFind> finder;
    ~TransferFiles() {
        if (finder) finder->Close();
        if (remote != nullptr) {
            remote->Abort();
            delete remote;
        }
    }
};
}  // namespace

CBrimFTP::CBrimFTP() : m_pSession(nullptr), m_pConnection(nullptr) {
    m_pSession = new CInternetSession(nullptr, 1, PRE_CONFIG_INTERNET_ACCESS, nullptr, nullptr, 0);
}

CBrimFTP::~CBrimFTP() {
    Close();
    delete m_pSession;
}

void CBrimFTP::vWaitForSpeedBalance() { bd::PauseOneMillisecond(); }

void CBrimFTP::Connection(const wchar_t* server, const wchar_t* user, const wchar_t* password, const int& port,
                          int passive) {
    // A connection still held is closed first rather than leaked.
    Close();
    try {
        m_pConnection = m_pSession->GetFtpConnection(server, user, password, static_cast<INTERNET_PORT>(port & 0xFFFF),
                                                     passive != 0 ? TRUE : FALSE);
    } catch (CInternetException* e) {
        m_pConnection = nullptr;
        bd::ThrowInternetFailure(e);
    }
}

void CBrimFTP::Close() { bd::CloseAndRelease(m_pConnection); }

void CBrimFTP::Upload(const wchar_t* localPath, const wchar_t* remotePath, const int& mode) {
    if (m_pConnection == nullptr) bd::ThrowNoConnection();
    try {
        TransferFiles files;
        const CStringW folder = RemoteFolder(remotePath);
        if (!m_pConnection->SetCurrentDirectory(folder)) m_pConnection->CreateDirectory(folder);
        files.remote = m_pConnection->OpenFile(remotePath, GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 1);
        if (mode == 2) {
            files.local.Open(localPath, CFile::modeRead | CFile::typeBinary);
        } else if (mode == 1) {
            files.local.Open(localPath, CFile::modeRead | CFile::typeText);
        }
        ULONGLONG total = files.local.GetLength();
        bd::LocalBlocks local(files.local);
        BYTE block[kBlockSize];
        int index = 0;
        for (;;) {
            vWaitForSpeedBalance();
            DWORD bytes = local.Read(block, kBlockSize);
            if (bytes == 0) break;
            files.remote->Write(block, bytes);
            files.remote->Flush();
            vUploadProgress(bytes, index, total, localPath, remotePath);
            ++index;
        }
        files.remote->Close();
        files.local.Close();
    } catch (CInternetException* e) {
        // An internet failure forgets the connection.
        Close();
        bd::ThrowInternetFailure(e);
    }
}

void CBrimFTP::Download(const wchar_t* remotePath, const wchar_t* localPath, const int& mode) {
    if (m_pConnection == nullptr) bd::ThrowNoConnection();
    try {
        TransferFiles files;
        files.finder = std::make_unique<CFtpFileFind>(m_pConnection, 1);
        ULONGLONG total = 0;
        if (files.finder->FindFile(remotePath, INTERNET_FLAG_RELOAD)) {
            files.finder->FindNextFile();
            total = files.finder->GetLength();
        }
        files.remote = m_pConnection->OpenFile(remotePath, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 1);
        files.remote->SetReadBufferSize(kBlockSize);
        if (mode == 2) {
            files.local.Open(localPath, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
        } else if (mode == 1) {
            files.local.Open(localPath, CFile::modeCreate | CFile::modeWrite | CFile::typeText);
        }
        BYTE block[kBlockSize];
        int index = 0;
        for (;;) {
            vWaitForSpeedBalance();
            DWORD bytes = files.remote->Read(block, kBlockSize);
            if (bytes == 0) break;
            files.local.Write(block, bytes);
            vDownloadProgress(bytes, index, total, remotePath, localPath);
            ++index;
        }
        files.finder->Close();
        files.finder.reset();
        files.remote->Close();
        files.local.Close();
    } catch (CInternetException* e) {
        // An internet failure forgets the connection.
        Close();
        bd::ThrowInternetFailure(e);
    }
}
