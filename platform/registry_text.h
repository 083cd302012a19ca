#pragma once
// The text of the registry store's file, held as the lines it was read as and
// edited value by value: what an edit does not touch is written back byte for
// byte (comments, blank lines, a byte-order mark, keys and values of other
// writers, values of other types, lines it cannot make sense of).
//
// The text is "REGEDIT4" or "Windows Registry Editor Version 5.00" after any
// number of blank and comment lines (a UTF-8 byte-order mark before them),
// then keys and values:
//   [HKEY_CURRENT_USER\SOFTWARE\Key]
//   "Name"=dword:0000002a
//   "Other"="text with \" and \\"
// Key paths and value names compare with only the letters a to z folded.
// Parsing and every lookup are linear in the text: one pass, hashed names.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace platform {

using RegistryValue = std::variant<int32_t, std::string>;

class RegistryText {
 public:
  enum class Form {
    Empty,    // no header: nothing, or nothing but blank and comment lines
    Sound,    // the header, then anything (lines it cannot read are kept)
    Foreign,  // something other than a header, a blank or a comment comes first
  };

  explicit RegistryText(std::string text = {});

  Form form() const { return m_form; }
  // Foreign: the 1-based number of the line that is not a header.
  size_t foreignLine() const { return m_foreignLine; }

  bool hasKey(const std::string& keyPath) const;
  // The value as the key holds it (the last of one name wins); nothing when
  // it is missing, of another type (hex, ...) or written in a way not read.
  const RegistryValue* find(const std::string& keyPath, const std::string& name) const;

  // Edits, refused (false) on a foreign text. A value set to what it holds
  // already leaves its line as it is written; a new one goes after the key's
  // last value, a new key at the end (with the header first in an empty text).
  bool set(const std::string& keyPath, const std::string& name, const RegistryValue& value);
  bool remove(const std::string& keyPath, const std::string& name);
  bool addKey(const std::string& keyPath);

  // Whether an edit changed anything since the text was read.
  bool changed() const { return m_changed; }
  std::string text() const;

 private:
  enum class Kind : uint8_t { Kept, Header, Section, Value };
  // One line of the text, or a value with the lines it continues on; or a
  // line an edit added (no bytes of the text, its own in `own`).
  struct Line {
    size_t begin = 0, end = 0;    // the bytes of the text, line ends included
    size_t valueAt = 0;           // Value: where the value's text begins
    int32_t key = -1;             // Section, Value: index into m_keys
    int32_t earlier = -1;         // Value: the key's previous line of the same name
    Kind kind = Kind::Kept;
    bool added = false, removed = false, rewritten = false;
    bool readable = false;        // Value: a dword or a closed string
    uint32_t stringLength = 0;    // a string read from the text: its quoted length
    // A string of the text is unquoted when first asked for: most values of
    // a large file belong to keys nobody reads.
    mutable std::optional<RegistryValue> value;
    std::string own;              // added or rewritten: the text written
    std::vector<int32_t> after;   // lines added after this one, in order
  };
  struct Key {
    std::string path;
    std::unordered_map<std::string, int32_t> lastOfName;  // by folded name
    int32_t insertAfter = -1;  // its last value or section line
  };

  void parse();
  int32_t keyIndex(const std::string& keyPath) const;
  int32_t ensureKey(const std::string& keyPath);
  int32_t addLine(Line line, int32_t after);
  void writeLine(const Line& line, std::string& out) const;
  std::string lineEnd(const Line& line) const;

  std::string m_text;
  Form m_form = Form::Empty;
  size_t m_foreignLine = 0;
  std::string m_eol = "\n";  // the header's line end, for the lines edits add
  std::vector<Line> m_lines;
  size_t m_readLines = 0;       // m_lines from the text; added ones follow
  std::vector<int32_t> m_tail;  // lines added at the end of the text
  std::vector<Key> m_keys;
  std::unordered_map<std::string, int32_t> m_keyByPath;  // by folded path
  bool m_changed = false;
};

}  // namespace platform
