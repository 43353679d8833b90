// The registry: four in-memory trees behind the predefined root keys, key
// handles with the access they were opened with, and optional persistence
// in a REGEDIT4 file that is rewritten after every change.
#include "internal.h"
#include "regfile.h"

#include <cstring>
#include <map>
#include <vector>

namespace hostwin {

namespace {

using regfile::Key;
using regfile::KeyPtr;
using regfile::MarkDeleted;
using regfile::Value;

// Not in our windows.h: asks for whatever the key grants.
constexpr REGSAM kMaximumAllowed = 0x02000000;

struct OpenKey {
    KeyPtr key;
    REGSAM access = 0;
};

struct State {
    std::mutex mutex;
    regfile::Roots roots = regfile::NewRoots();
    std::map<uintptr_t, OpenKey> handles;
    uintptr_t nextHandle = 0x1000;  // handle values are never reused
    std::string file;
    bool persisting = false;
    bool damaged = false;  // the file set last could not be loaded
    std::string error;
};

// Never destroyed, so that calls made while the process exits still work.
State &TheState() {
    static State *state = new State;
    return *state;
}

int RootIndex(HKEY hKey) {
    const HKEY roots[regfile::kRootCount] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
                                             HKEY_LOCAL_MACHINE, HKEY_USERS};
    for (int i = 0; i < regfile::kRootCount; ++i) {
        if (hKey == roots[i]) return i;
    }
    return -1;
}

REGSAM MapAccess(REGSAM sam) {
    if (sam & GENERIC_READ) sam |= KEY_READ;
    if (sam & GENERIC_WRITE) sam |= KEY_WRITE;
    if (sam & GENERIC_EXECUTE) sam |= KEY_EXECUTE;
    if (sam & (GENERIC_ALL | kMaximumAllowed)) sam |= KEY_ALL_ACCESS;
    return sam;
}

// Looks up a key handle (the caller holds the lock and has checked damage).
LONG Resolve(State &s, HKEY hKey, OpenKey *out) {
    int root = RootIndex(hKey);
    if (root >= 0) {
        *out = {s.roots[root], static_cast<REGSAM>(KEY_ALL_ACCESS)};
        return ERROR_SUCCESS;
    }
    auto it = s.handles.find(reinterpret_cast<uintptr_t>(hKey));
    if (it == s.handles.end()) return ERROR_INVALID_HANDLE;
    if (it->second.key->deleted) return ERROR_KEY_DELETED;
    *out = it->second;
    return ERROR_SUCCESS;
}

// Resolves hKey and checks that it grants the needed access.
LONG ResolveFor(State &s, HKEY hKey, REGSAM needed, OpenKey *out) {
    if (s.damaged) return ERROR_BADDB;
    if (LONG e = Resolve(s, hKey, out); e != ERROR_SUCCESS) return e;
    if ((out->access & needed) != needed) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

HKEY NewHandle(State &s, KeyPtr key, REGSAM access) {
    uintptr_t value = s.nextHandle;
    s.nextHandle += 4;
    s.handles[value] = {std::move(key), access};
    return reinterpret_cast<HKEY>(value);
}

// Splits a subkey path into names: NULL or "" is no names; a leading
// backslash is refused, and runs of backslashes separate as one.
LONG SplitPath(const char *path, std::vector<std::string> *names) {
    names->clear();
    if (!path || !*path) return ERROR_SUCCESS;
    if (path[0] == '\\') return ERROR_BAD_PATHNAME;
    const std::string p(path);
    for (size_t start = 0; start < p.size();) {
        size_t slash = p.find('\\', start);
        if (slash == std::string::npos) slash = p.size();
        if (slash > start) names->push_back(p.substr(start, slash - start));
        start = slash + 1;
    }
    return ERROR_SUCCESS;
}

KeyPtr FindSubkey(const Key &key, const std::string &name) {
    auto it = key.subkeys.find(name);
    return it == key.subkeys.end() ? nullptr : it->second;
}

// Line breaks cannot be written to the file, so names never hold them.
bool IsStorableName(const char *name) { return !name || !std::strpbrk(name, "\r\n"); }

// Replaces everything below the roots with the trees of `loaded`. The root
// nodes stay, so that handles opened on a root stay valid.
void ReplaceTrees(State &s, regfile::Roots &&loaded) {
    for (int i = 0; i < regfile::kRootCount; ++i) {
        Key &root = *s.roots[i];
        for (auto &[name, sub] : root.subkeys) MarkDeleted(*sub);
        root.values = std::move(loaded[i]->values);
        root.subkeys = std::move(loaded[i]->subkeys);
        for (auto &[name, sub] : root.subkeys) sub->parent = &root;
    }
}

// Rewrites the file after a change to key. A file that would grow past
// its bound is not written: the registry is full.
LONG Persist(State &s, const Key &key) {
    if (!s.persisting || key.isVolatile) return ERROR_SUCCESS;
    switch (regfile::Save(s.file, s.roots)) {
    case regfile::SaveResult::Saved: return ERROR_SUCCESS;
    case regfile::SaveResult::TooLarge: return ERROR_NO_SYSTEM_RESOURCES;
    case regfile::SaveResult::Failed: break;
    }
    return ERROR_CANTWRITE;
}

// Finds the existing key at a path below an open key.
LONG FindLocked(State &s, HKEY hKey, LPCSTR lpSubKey, KeyPtr *found) {
    OpenKey parent;
    if (LONG e = ResolveFor(s, hKey, 0, &parent); e != ERROR_SUCCESS) return e;
    std::vector<std::string> names;
    if (LONG e = SplitPath(lpSubKey, &names); e != ERROR_SUCCESS) return e;
    KeyPtr key = parent.key;
    for (const std::string &name : names) {
        if (name.size() > regfile::kMaxNameLength) return ERROR_INVALID_PARAMETER;
        key = FindSubkey(*key, name);
        if (!key) return ERROR_FILE_NOT_FOUND;
    }
    *found = std::move(key);
    return ERROR_SUCCESS;
}

LONG OpenLocked(State &s, HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, PHKEY phkResult) {
    KeyPtr key;
    if (LONG e = FindLocked(s, hKey, lpSubKey, &key); e != ERROR_SUCCESS) return e;
    *phkResult = NewHandle(s, std::move(key), MapAccess(samDesired));
    return ERROR_SUCCESS;
}

}  // namespace

// ---- internal interface -------------------------------------------------------

namespace registry {

void Clear() {
    State &s = TheState();
    std::lock_guard lock(s.mutex);
    ReplaceTrees(s, regfile::NewRoots());
    if (s.persisting) regfile::Save(s.file, s.roots);  // an empty tree always fits
}

DWORD SetFile(const char *path) {
    State &s = TheState();
    std::lock_guard lock(s.mutex);
    s.damaged = false;
    s.error.clear();
    s.persisting = false;
    s.file.clear();
    if (!path) return ERROR_SUCCESS;
    regfile::Roots loaded;
    switch (regfile::Load(path, &loaded, &s.error)) {
    case regfile::LoadResult::Damaged:
        s.damaged = true;
        return ERROR_BADDB;
    case regfile::LoadResult::Missing:
        loaded = regfile::NewRoots();
        break;
    case regfile::LoadResult::Loaded:
        break;
    }
    ReplaceTrees(s, std::move(loaded));
    s.file = path;
    s.persisting = true;
    return ERROR_SUCCESS;
}

const char *File() {
    State &s = TheState();
    std::lock_guard lock(s.mutex);
    return s.persisting ? s.file.c_str() : nullptr;
}

const char *FileError() {
    State &s = TheState();
    std::lock_guard lock(s.mutex);
    return s.error.c_str();
}

}  // namespace registry

}  // namespace hostwin

// ---- Win32 API -------------------------------------------------------------------

using namespace hostwin;

extern "C" LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                                     PHKEY phkResult) {
    EnsureBooted();
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    State &s = TheState();
    std::lock_guard lock(s.mutex);
    return OpenLocked(s, hKey, lpSubKey, samDesired, phkResult);
}

extern "C" LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    EnsureBooted();
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    State &s = TheState();
    std::lock_guard lock(s.mutex);
    if (!lpSubKey || !*lpSubKey) {
        OpenKey key;
        if (LONG e = ResolveFor(s, hKey, 0, &key); e != ERROR_SUCCESS) return e;
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    return OpenLocked(s, hKey, lpSubKey, KEY_ALL_ACCESS, phkResult);
}

extern "C" LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/,
                                       DWORD dwOptions, REGSAM samDesired,
                                       LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                                       LPDWORD lpdwDisposition) {
    EnsureBooted();
    if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    State &s = TheState();
    std::lock_guard lock(s.mutex);
    // As on Windows, creating a key needs no access through the parent's handle.
    OpenKey parent;
    if (LONG e = ResolveFor(s, hKey, 0, &parent); e != ERROR_SUCCESS) return e;
    std::vector<std::string> names;
    if (LONG e = SplitPath(lpSubKey, &names); e != ERROR_SUCCESS) return e;
    if (!IsStorableName(lpSubKey)) return ERROR_INVALID_PARAMETER;

    KeyPtr key = parent.key;
    size_t i = 0;
    for (; i < names.size(); ++i) {
        KeyPtr sub = FindSubkey(*key, names[i]);
        if (!sub) break;
        key = std::move(sub);
    }
    // The missing keys are made one level at a time, as Windows does: a
    // name or a level beyond Windows's bounds fails the call, and the keys
    // made above it stay.
    const size_t firstNew = i;
    Key *top = key.get();
    LONG refused = ERROR_SUCCESS;
    for (; i < names.size(); ++i) {
        if (names[i].size() > regfile::kMaxNameLength || key->depth >= regfile::kMaxDepth) {
            refused = ERROR_INVALID_PARAMETER;
            break;
        }
        // The file could not hold a key without its parent.
        if (key->isVolatile && !(dwOptions & REG_OPTION_VOLATILE)) {
            refused = ERROR_CHILD_MUST_BE_VOLATILE;
            break;
        }
        auto sub = std::make_shared<Key>();
        sub->name = names[i];
        sub->parent = key.get();
        sub->depth = key->depth + 1;
        sub->isVolatile = (dwOptions & REG_OPTION_VOLATILE) != 0;
        key->subkeys[names[i]] = sub;
        key = std::move(sub);
    }
    const bool created = i > firstNew;
    if (created) {
        if (LONG e = Persist(s, *key); e != ERROR_SUCCESS) {
            // Undone: the keys made here go again.
            auto first = top->subkeys.find(names[firstNew]);
            MarkDeleted(*first->second);
            top->subkeys.erase(first);
            return e;
        }
    }
    if (refused != ERROR_SUCCESS) return refused;
    *phkResult = NewHandle(s, key, MapAccess(samDesired));
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                        LPBYTE lpData, LPDWORD lpcbData) {
    EnsureBooted();
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    State &s = TheState();
    std::lock_guard lock(s.mutex);
    OpenKey key;
    if (LONG e = ResolveFor(s, hKey, KEY_QUERY_VALUE, &key); e != ERROR_SUCCESS) return e;
    const Value *value = key.key->FindValue(lpValueName ? lpValueName : "");
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (lpType) *lpType = value->type;
    const DWORD size = static_cast<DWORD>(value->data.size());
    if (lpData) {
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (size) std::memcpy(lpData, value->data.data(), size);
    }
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                                      CONST BYTE *lpData, DWORD cbData) {
    EnsureBooted();
    if ((!lpData && cbData) || !IsStorableName(lpValueName)) return ERROR_INVALID_PARAMETER;
    // As on Windows, a string whose size leaves out its terminator gets it
    // counted when the byte after the data is one: that byte is read.
    if ((dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ) && cbData &&
        lpData[cbData - 1] && !lpData[cbData])
        ++cbData;
    State &s = TheState();
    std::lock_guard lock(s.mutex);
    OpenKey key;
    if (LONG e = ResolveFor(s, hKey, KEY_SET_VALUE, &key); e != ERROR_SUCCESS) return e;
    const std::string name = lpValueName ? lpValueName : "";
    std::vector<BYTE> data(lpData, lpData + cbData);
    Value *old = key.key->FindValue(name);
    Value undo;
    if (old) {
        undo = *old;  // a replaced value keeps its name
        old->type = dwType;
        old->data = std::move(data);
    } else {
        key.key->values.push_back({name, dwType, std::move(data)});
    }
    LONG e = Persist(s, *key.key);
    if (e != ERROR_SUCCESS) {
        // Undone: the registry stays as the file has it.
        if (old) *old = std::move(undo);
        else key.key->values.pop_back();
    }
    return e;
}

extern "C" LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                                     LPDWORD /*lpReserved*/, LPSTR lpClass, LPDWORD lpcchClass,
                                     PFILETIME lpftLastWriteTime) {
    EnsureBooted();
    if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
    State &s = TheState();
    std::lock_guard lock(s.mutex);
    OpenKey key;
    if (LONG e = ResolveFor(s, hKey, KEY_ENUMERATE_SUB_KEYS, &key); e != ERROR_SUCCESS) return e;
    if (dwIndex >= key.key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const std::string &name = std::next(key.key->subkeys.begin(), dwIndex)->first;
    if (name.size() >= *lpcchName) return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = '\0';
    if (lpcchClass) *lpcchClass = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    EnsureBooted();
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    State &s = TheState();
    std::lock_guard lock(s.mutex);
    KeyPtr key;
    if (LONG e = FindLocked(s, hKey, lpSubKey, &key); e != ERROR_SUCCESS) return e;
    // "" deletes the key hKey itself; roots have no parent and stay.
    if (!key->parent || !key->subkeys.empty()) return ERROR_ACCESS_DENIED;
    key->parent->subkeys.erase(key->name);
    MarkDeleted(*key);
    return Persist(s, *key);
}

extern "C" LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    EnsureBooted();
    State &s = TheState();
    std::lock_guard lock(s.mutex);
    OpenKey key;
    if (LONG e = ResolveFor(s, hKey, KEY_SET_VALUE, &key); e != ERROR_SUCCESS) return e;
    const Value *value = key.key->FindValue(lpValueName ? lpValueName : "");
    if (!value) return ERROR_FILE_NOT_FOUND;
    key.key->values.erase(key.key->values.begin() + (value - key.key->values.data()));
    return Persist(s, *key.key);
}

extern "C" LONG WINAPI RegCloseKey(HKEY hKey) {
    EnsureBooted();
    if (RootIndex(hKey) >= 0) return ERROR_SUCCESS;
    State &s = TheState();
    std::lock_guard lock(s.mutex);
    // Closing works even while the registry file is damaged, so that
    // callers can release what they hold.
    return s.handles.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

