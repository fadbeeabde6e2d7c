// Resources on POSIX: what the embedding macros of <brim/resources.h>
// registered, each entry tied to the module (load address) that holds it.

#include "framework/resources/module.h"
#include "framework/resources/string_table.h"

#include <brim/framework.h>

#include <dlfcn.h>

#include <cwchar>
#include <cwctype>
#include <mutex>
#include <string>
#include <vector>

namespace brim::platform {
namespace {

constexpr UINT kStringType = 6;
constexpr UINT kVersionType = 16;

struct Entry {
    const CResourceEntry* owner;
    HMODULE module;
    std::wstring type;   // when typeId is 0
    UINT typeId;
    std::wstring name;   // when id is 0
    UINT id;
    const void* data;
    std::size_t size;
};

struct Table {
    std::mutex mutex;
    std::vector<Entry> entries;
};

// Never destroyed: modules unregister from their static destructors, which
// may run after this library's.
Table& Resources() {
    static Table* table = new Table;
    return *table;
}

bool SameName(const std::wstring& a, const wchar_t* b) {
    std::size_t k = 0;
    for (; k < a.size() && b[k] != 0; ++k) {
        if (std::towupper(static_cast<wint_t>(a[k])) != std::towupper(static_cast<wint_t>(b[k]))) return false;
    }
    return k == a.size() && b[k] == 0;
}

bool Matches(const Entry& e, HMODULE module, const wchar_t* type, UINT typeId, const wchar_t* name, UINT id) {
    if (e.module != module) return false;
    if (typeId != 0 ? e.typeId != typeId : (e.typeId != 0 || !SameName(e.type, type))) return false;
    return id != 0 ? e.id == id : (e.id == 0 && SameName(e.name, name));
}

const Entry* Find(HMODULE module, const wchar_t* type, UINT typeId, const wchar_t* name, UINT id) {
    for (const Entry& e : Resources().entries) {
        if (Matches(e, module, type, typeId, name, id)) return &e;
    }
    return nullptr;
}

bool StringIn(HMODULE module, UINT id, std::wstring& text) {
    const Entry* e = Find(module, nullptr, kStringType, nullptr, id);
    if (e == nullptr) return false;
    text.assign(static_cast<const wchar_t*>(e->data), e->size);
    return true;
}

}  // namespace

bool FindResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name, const void** data, DWORD* size) {
    if (type == nullptr || name == nullptr) return false;
    Table& table = Resources();
    std::lock_guard<std::mutex> lock(table.mutex);
    const Entry* e = Find(module, type, 0, name, 0);
    if (e == nullptr) return false;
    *data = e->data;
    *size = static_cast<DWORD>(e->size);
    return true;
}

// The entries stay put while their module is loaded, so the entry itself
// serves as the handle of the version data.
const void* FindVersionResource(HMODULE module) {
    Table& table = Resources();
    std::lock_guard<std::mutex> lock(table.mutex);
    const Entry* e = Find(module, nullptr, kVersionType, nullptr, 1);
    return e != nullptr ? e->data : nullptr;
}

bool VersionQuery(const void* version, const wchar_t* path, const void** value, UINT* length) {
    if (version == nullptr || path == nullptr) return false;
    Table& table = Resources();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (const Entry& e : table.entries) {
        if (e.data != version || e.typeId != kVersionType) continue;
        const auto* values = static_cast<const BrimVersionValue*>(e.data);
        for (std::size_t k = 0; k < e.size / sizeof(BrimVersionValue); ++k) {
            if (values[k].path == nullptr || !SameName(values[k].path, path)) continue;
            if (values[k].text != nullptr) {
                *value = values[k].text;
                *length = static_cast<UINT>(std::wcslen(values[k].text) + 1);
            } else {
                *value = &values[k].number;
                *length = sizeof(DWORD);
            }
            return true;
        }
        return false;
    }
    return false;
}

// The resource module first, then the executable, then any other module
// that embeds the entry, in the order they registered.
bool LoadStringResource(UINT id, std::wstring& text) {
    const HMODULE first = AfxGetResourceHandle();
    const HMODULE executable = ExecutableModule();
    Table& table = Resources();
    std::lock_guard<std::mutex> lock(table.mutex);
    if (StringIn(first, id, text) || StringIn(executable, id, text)) return true;
    for (const Entry& e : table.entries) {
        if (e.typeId == kStringType && e.id == id) return StringIn(e.module, id, text);
    }
    return false;
}

}  // namespace brim::platform

CResourceEntry::CResourceEntry(const wchar_t* type, UINT typeId, const wchar_t* name, UINT id, const void* data,
                               std::size_t size) {
    using brim::platform::Entry;
    Dl_info info{};
    const HMODULE module = dladdr(this, &info) != 0 ? static_cast<HMODULE>(info.dli_fbase) : nullptr;
    if (typeId == brim::platform::kStringType && data != nullptr) {
        size = std::wcslen(static_cast<const wchar_t*>(data));
    }
    auto& table = brim::platform::Resources();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.entries.push_back(Entry{this, module, type != nullptr ? type : L"", typeId, name != nullptr ? name : L"",
                                  id, data != nullptr ? data : "", size});
}

CResourceEntry::~CResourceEntry() {
    auto& table = brim::platform::Resources();
    std::lock_guard<std::mutex> lock(table.mutex);
    std::erase_if(table.entries, [this](const brim::platform::Entry& e) { return e.owner == this; });
}
