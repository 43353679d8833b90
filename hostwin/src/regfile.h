// The registry tree and its REGEDIT4 file format (internal to hostwin).
#pragma once

#include <windows.h>

#include <array>
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
    bool isVolatile = false;    // never written to the file (nor its subkeys)
    bool deleted = false;       // removed from the tree; open handles see ERROR_KEY_DELETED

    Value *FindValue(const std::string &valueName);
};

// The predefined roots, in the order they are written.
constexpr int kRootCount = 4;
using Roots = std::array<KeyPtr, kRootCount>;
const char *RootName(int index);
Roots NewRoots();

// The whole file text for the given trees.
std::string Format(const Roots &roots);

// Parses file text into fresh roots. On damage returns false and sets
// *line (1-based) and *what.
bool Parse(const std::string &text, Roots *roots, int *line, std::string *what);

enum class LoadResult { Loaded, Missing, Damaged };
// Reads and parses a file. On Damaged, *error says which file, line and fault.
LoadResult Load(const std::string &path, Roots *roots, std::string *error);
// Writes the file atomically (temporary file beside it, then rename).
bool Save(const std::string &path, const Roots &roots);

}  // namespace hostwin::regfile
