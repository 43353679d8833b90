// The registry tree and its REGEDIT4 file format (internal to hostwin).
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace hostwin::regfile {

// ASCII case-insensitive ordering of key names, folded to upper case as the
// Windows registry sorts them ("B_X" comes after "BA").
struct NoCaseLess {
    bool operator()(const std::string &a, const std::string &b) const;
};
bool EqualNoCase(const std::string &a, const std::string &b);

// Windows's bounds of the tree: a key name holds at most 256 characters
// (one more than the documentation's 255: Windows and Wine both create a
// 256-character key and refuse a 257-character one), and a key lies at
// most 512 levels below the registry's root, the predefined roots
// themselves 2 to 4 levels deep there (HKEY_LOCAL_MACHINE is
// \REGISTRY\MACHINE).
constexpr size_t kMaxNameLength = 256;
constexpr int kMaxDepth = 512;

// The largest registry file: a larger one is refused, and a change that
// would make the file larger fails.
constexpr size_t kMaxFileBytes = size_t{4} << 20;

struct Value {
    std::string name;  // "" is the default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key;
using KeyPtr = std::shared_ptr<Key>;

struct Key {
    std::string name;
    Key *parent = nullptr;  // null for roots and for deleted keys
    std::map<std::string, KeyPtr, NoCaseLess> subkeys;
    std::vector<Value> values;  // creation order
    int depth = 0;              // levels below the registry's root
    bool isVolatile = false;    // never written to the file (nor its subkeys)
    bool deleted = false;       // removed from the tree; open handles see ERROR_KEY_DELETED

    Key() = default;
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;
    // Takes the subtree apart without recursing over its depth.
    ~Key();

    Value *FindValue(const std::string &valueName);
};

// Marks a key and everything below it deleted and detaches them.
void MarkDeleted(Key &key);

// The predefined roots, in the order they are written.
constexpr int kRootCount = 4;
using Roots = std::array<KeyPtr, kRootCount>;
const char *RootName(int index);
// Empty trees, but for the volatile HKEY_LOCAL_MACHINE\HARDWARE.
Roots NewRoots();

// The whole file text for the given trees; it stops early once the text
// is longer than limit.
std::string Format(const Roots &roots, size_t limit = SIZE_MAX);

// Parses file text into fresh roots. On damage returns false and sets
// *line (1-based) and *what.
bool Parse(const std::string &text, Roots *roots, int *line, std::string *what);

enum class LoadResult { Loaded, Missing, Damaged };
// Reads and parses a file. On Damaged, *error says which file, line and
// fault; a file larger than kMaxFileBytes, or one that would be saved
// larger, is damaged too.
LoadResult Load(const std::string &path, Roots *roots, std::string *error);

enum class SaveResult { Saved, TooLarge, Failed };
// Writes the file atomically (temporary file beside it, then rename); a
// text larger than kMaxFileBytes is not written.
SaveResult Save(const std::string &path, const Roots &roots);

}  // namespace hostwin::regfile
