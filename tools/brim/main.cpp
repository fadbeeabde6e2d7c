#include "tools/brim/commands.h"
#include "tools/brim/console.h"

#include <exception>
#include <new>
#include <algorithm>
#include <cwchar>

namespace brimtool {
namespace {

const Command kCommands[] = {
    {L"tour", CommandTour, L"a short look at what the library does (the default)",
     L"usage: brim [tour [--ansi] [SAMPLES]]\n\nShows what the library does, without network access: error texts, a folder walk\n"
     L"of SAMPLES (default ./samples), the encodings of the files it finds, detected and\n"
     L"decoded, and a log record. --ansi decodes EUC-KR and CP949 as 'brim cat --ansi' does.\n"},
    {L"error", CommandError, L"the library's text for a Windows error code",
     L"usage: brim error [--exception] CODE\n\nPrints the library's text for a Windows error code (decimal, negative, or 0x hex).\n"
     L"With --exception, prints the message of a CBrimException made from the code.\n"},
    {L"detect", CommandDetect, L"the encoding of each file",
     L"usage: brim detect FILE...\n\nPrints each file's encoding as the library detects it (byte-order mark, then the probers).\n"},
    {L"cat", CommandCat, L"decode files by their detected encoding, write UTF-8",
     L"usage: brim cat [--ansi] FILE...\n\nDecodes each file by its detected encoding and writes the text as UTF-8. EUC-KR and\n"
     L"CP949 decode through code page 949 whatever the locale; with --ansi through the ANSI\n"
     L"code page of the locale, as the library's reader does (949 only under a Korean locale).\n"
     L"UTF-16BE, which the reader refuses, brim decodes itself.\n"},
    {L"convert", CommandConvert, L"re-encode a text file as UTF-8 or UTF-16",
     L"usage: brim convert --to utf8|utf16 IN OUT\n\nReads IN in its detected encoding and writes OUT (which must not exist) as UTF-8 or\n"
     L"UTF-16 little-endian, each with its byte-order mark.\n"},
    {L"hexdump", CommandHexdump, L"the bytes of a file in hex",
     L"usage: brim hexdump FILE\n\nPrints the file's bytes, 16 a line, with their offsets and printable characters.\n"},
    {L"log", CommandLog, L"write one record through the global log",
     L"usage: brim log [--level N] [--folder DIR] TEXT\n\nWrites TEXT as one record of level N (0 DEBUG, 1 INFO, 2 ERROR; default 1) into the\n"
     L"day file of DIR (default ./Log/), and prints the file's name.\n"},
    {L"find", CommandFind, L"walk a folder with an extension filter",
     L"usage: brim find DIR [--ext LIST] [--recursive] [--hidden]\n\nLists the folders (D) of DIR and the files (F) whose names end in one of LIST's\n"
     L"comma-separated endings (a plain, case-sensitive suffix test: \"txt,log\"; without\n"
     L"--ext no file matches); --recursive enters subfolders, --hidden includes hidden entries.\n"},
    {L"rmdir", CommandRmdir, L"delete a folder with everything in it",
     L"usage: brim rmdir DIR\n\nDeletes DIR and everything in it. Links are removed, never followed.\n"},
    {L"rename", CommandRename, L"rename, with a fresh name if the new one is taken",
     L"usage: brim rename OLD NEW\n\nRenames OLD to NEW; when NEW is taken the item gets a fresh name instead.\n"},
    {L"get", CommandGet, L"download a URL into a file over HTTP",
     L"usage: brim get URL FILE [--limit-rate RATE] [--max-time SECONDS] [--max-size SIZE]\n\nSaves the body of URL into FILE, showing the progress (a bar on a terminal, a line a\n"
     L"second otherwise). RATE limits the speed: bytes a second, or with K, M or G.\n"
     L"The body is written to FILE.brim-part and renamed to FILE once complete (all the bytes\n"
     L"that Content-Length announced); otherwise it is removed and brim fails. --max-time ends\n"
     L"the whole transfer after SECONDS, --max-size fails a body larger than SIZE (K, M, G).\n"},
    {L"post", CommandPost, L"post a URL-encoded form and print the answer",
     L"usage: brim post HOST PORT PATH FORM [--max-time SECONDS] [--max-size SIZE]\n\nPosts FORM (for example a=1&b=2) to PATH on HOST:PORT, prints the response headers\n"
     L"(the library's message box) on standard error and the body of a 200 answer on\n"
     L"standard output. The library reads the body whole, so it must announce its length\n"
     L"(Content-Length) within SIZE (default 16M); --max-time ends the post after SECONDS.\n"},
    {L"ftp", CommandFtp, L"upload or download a file over FTP",
     L"usage: brim ftp put|get HOST[:PORT] USER LOCAL REMOTE [--active] [--text] [--limit-rate RATE]\n\n"
     L"put sends LOCAL to REMOTE, get fetches REMOTE into LOCAL, in passive mode unless --active.\n"
     L"The password comes from BRIM_FTP_PASSWORD or is asked for on the terminal, never from\n"
     L"the command line. --text opens the local file in text mode; bytes travel unchanged.\n"
     L"get writes LOCAL.brim-part and renames it to LOCAL once every byte the listing announced\n"
     L"has arrived; put checks the size the server then lists. A short transfer fails.\n"},
    {L"reg", CommandReg, L"read, write or delete registry values and keys",
     L"usage: brim reg get|set|delete ROOT\\KEY [VALUE] [DATA] [--int]\n\n"
     L"  get ROOT\\KEY VALUE          prints the value (a string; with --int a number)\n"
     L"  set ROOT\\KEY VALUE DATA     writes it, creating the keys (with --int a number)\n"
     L"  delete ROOT\\KEY             deletes the key with every key below it\n"
     L"ROOT is HKCU, HKLM, HKCR, HKU or HKCC (or their long names). On POSIX the registry is\n"
     L"the library's per-user store.\n"},
    {L"sysinfo", CommandSysinfo, L"drives, folders, volume serial and memory",
     L"usage: brim sysinfo\n\nPrints the drives, the system drive, the temporary folder, the system volume's serial,\n"
     L"the executable's folder and this process's memory figures.\n"},
    {L"version-info", CommandVersionInfo, L"a string of a file's version resource",
     L"usage: brim version-info FILE KEY\n\nPrints KEY (e.g. FileVersion) of FILE's version resource: a Windows program or\n"
     L"library, or on POSIX a shared library that embeds one (it is loaded to read it).\n"},
    {L"version", CommandVersion, L"versions of brim and the library, backend, vector paths",
     L"usage: brim version (or brim --version)\n\nPrints brim's version, the loaded library's version, its platform backend (posix or\n"
     L"win32) and the vector instructions that its UTF-8 conversion and its encoding probers\n"
     L"use on this processor.\n"},
    {L"randname", CommandRandname, L"a random lower-case name",
     L"usage: brim randname N\n\nPrints N random letters a to z.\n"},
    {L"sort", CommandSort, L"sort the lines of standard input",
     L"usage: brim sort\n\nSorts the lines of standard input (UTF-8) with the library's list sort: ordinal,\nstable, case-sensitive.\n"},
};

void Usage() {
    CStringW text = L"usage: brim [COMMAND] [ARGS...]\n\ncommands:\n";
    int width = 0;
    for (const Command& c : kCommands) width = std::max(width, static_cast<int>(std::wcslen(c.name)));
    for (const Command& c : kCommands) {
        text += CStringW(L"  ") + c.name + CStringW(L' ', width + 1 - static_cast<int>(std::wcslen(c.name))) + c.summary + L"\n";
    }
    text += L"\n'brim COMMAND --help' describes a command; 'brim --version' gives the versions.\n"
            L"Exit codes: 0 success, 1 failure (the library's message on standard error), 2 usage error.\n";
    Out(text);
}

// Any other exception of the framework: its own description, else the
// generic failure text.
CStringW ExceptionText(CException* e) {
    wchar_t text[1024] = {};
    const CStringW message = e->GetErrorMessage(text, 1024) ? CStringW(text) : CBrimUtil::MessageError(31);
    e->Delete();
    return message;
}

bool WantsHelp(const Arguments& args) {
    for (const CStringW& a : args) {
        if (a == L"--help" || a == L"-h") return true;
        if (a == L"--") break;
    }
    return false;
}

}  // namespace

const Command& CommandNamed(const wchar_t* name) {
    for (const Command& c : kCommands) {
        if (CStringW(c.name) == name) return c;
    }
    return kCommands[0];
}

int UsageError(const Command& command, const CStringW& text) {
    const CStringW usage(command.usage);
    Err(L"brim: " + text + L"\n" + usage.Left(usage.Find(L'\n') + 1));
    return kExitUsage;
}

int Failure(const CStringW& text) {
    CStringW line = text;
    line.TrimRight(L"\r\n");
    Err(L"brim: " + line + L"\n");
    return kExitFailure;
}

int WriterFailure(const CStringW& target, CBrimException* e) {
    CStringW message = e->GetMessageW();
    e->Delete();
    message.TrimRight(L"\r\n");
    // The writers pass a file error on by its cause number, which then reads
    // as the system message of that number: a full disk (cause 13) says "The
    // data is invalid.". Where the two differ, the cause is named as well.
    static const struct {
        int cause;
        const wchar_t* meaning;
    } kCauses[] = {{CFileException::genericException, L"an unspecified error"},
                   {CFileException::removeCurrentDir, L"the current folder cannot be removed"},
                   {CFileException::directoryFull, L"the folder is full"},
                   {CFileException::badSeek, L"a seek failed"},
                   {CFileException::hardIO, L"a hardware I/O error"},
                   {CFileException::sharingViolation, L"a sharing violation"},
                   {CFileException::lockViolation, L"a lock violation"},
                   {CFileException::diskFull, L"the disk is full"},
                   {CFileException::endOfFile, L"the end of the file was reached"}};
    for (const auto& c : kCauses) {
        CStringW text = CBrimUtil::MessageError(static_cast<unsigned long>(c.cause));
        text.TrimRight(L"\r\n");
        if (!text.IsEmpty() && message.Right(text.GetLength()) == text) {
            message.AppendFormat(L" (file error %d: %s)", c.cause, c.meaning);
            break;
        }
    }
    return Failure(target + L": " + message);
}

int Run(const std::vector<CStringW>& args) {
    if (args.empty()) return CommandTour(args);
    const CStringW name = args[0] == L"--version" ? CStringW(L"version") : args[0];
    if (name == L"--help" || name == L"-h" || name == L"help") {
        Usage();
        return kExitOk;
    }
    const Arguments rest(args.begin() + 1, args.end());
    for (const Command& c : kCommands) {
        if (name != c.name) continue;
        if (WantsHelp(rest)) {
            Out(c.usage);
            return kExitOk;
        }
        try {
            return c.run(rest);
        } catch (CBrimException* e) {
            const CStringW message = e->GetMessageW();
            e->Delete();
            return Failure(message);
        } catch (CFileException* e) {
            const CStringW message = CBrimUtil::MessageError(static_cast<unsigned long>(e->m_lOsError));
            e->Delete();
            return Failure(message);
        } catch (CMemoryException* e) {
            e->Delete();   // the shared instance: Delete leaves it alone
            return Failure(CBrimUtil::MessageError(8));
        } catch (CInvalidArgException* e) {
            e->Delete();
            return Failure(CBrimUtil::MessageError(87));
        } catch (CInternetException* e) {
            const CStringW message = CBrimUtil::MessageError(e->m_dwError);
            e->Delete();
            return Failure(message);
        } catch (CException* e) {
            return Failure(ExceptionText(e));
        } catch (const std::bad_alloc&) {
            return Failure(CBrimUtil::MessageError(8));
        } catch (const std::exception& e) {
            return Failure(FromUtf8(e.what()));
        } catch (...) {
            return Failure(L"an exception the library does not describe");
        }
    }
    Err(L"brim: unknown command '" + name + L"' (try 'brim --help')\n");
    return kExitUsage;
}

}  // namespace brimtool
